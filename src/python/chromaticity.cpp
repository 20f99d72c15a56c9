// Submodule chromaticity: the CIExy record and the chromaticity functions.
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/tristimulus.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <string>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_chromaticity_module(py::module_& chromaticity) {
    using orvanalysis::ChromaticityPoint;
    namespace colorimetry = orvanalysis::colorimetry;

    bind_record<ChromaticityPoint>(
        chromaticity, "CIExy", "A point in the two-dimensional CIE 1931 chromaticity space.", "Chromaticity",
        RecordField<ChromaticityPoint>{"x", "x", &ChromaticityPoint::x, "Chromaticity coordinate x = X / (X + Y + Z)."},
        RecordField<ChromaticityPoint>{"y", "y", &ChromaticityPoint::y,
                                       "Chromaticity coordinate y = Y / (X + Y + Z)."});

    chromaticity.def("CIE_1931_chromaticity", &colorimetry::CIE_1931_chromaticity, "scan"_a,
                     R"doc(Calculate the CIE 1931 (x, y) chromaticity of transmission scan data.

The chromaticity is worked out with the CIE 1931 2° observer over 380-780 nm.

Parameters
----------
scan : Scan
    Transmission over wavelength (nm).

Returns
-------
CIExy
    The chromaticity point (a ChromaticityPoint); NaN for a scan with no width of data in the band.

Raises
------
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.

References
----------
CIE 15:2004.
)doc");
    const auto def_lens = [&chromaticity](const char* name,
                                          ChromaticityPoint (*f)(const orvanalysis::Scan&, colorimetry::Method),
                                          const char* doc, const char* light) {
        chromaticity.def(
            name,
            [f](const orvanalysis::Scan& scan, const std::string& method) {
                return f(scan, colorimetry::method_from_string(method));
            },
            "scan"_a, "method"_a = "integral",
            wrapped(std::string(doc) + R"doc(

Parameters
----------
scan : Scan
    Transmission of the lens over wavelength (nm), as a fraction.
method : {'integral', 'sum'}
    'integral' (the default: the tristimulus integrals of the scan's own curve) or 'sum' (sums at
    the tables' 5 nm wavelengths).

Returns
-------
CIExy
    The chromaticity point )doc" +
                    light +
                    R"doc(; NaN for an opaque lens.

Raises
------
ValueError
    For a method other than 'integral' or 'sum'.
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.

References
----------
ANSI Z80.3-2015; CIE 15:2004.
)doc")
                .c_str());
    };
    def_lens("ANSI_Z80_3_daylight_chromaticity", &colorimetry::ANSI_Z80_3_daylight_chromaticity,
             "Return the CIE 1931 (x, y) chromaticity of a lens in daylight (ANSI Z80.3).\n\n"
             "The chromaticity of the transmission scan in daylight, CIE illuminant D65.",
             "of the lens under D65");
    def_lens("ANSI_Z80_3_yellow_chromaticity", &colorimetry::ANSI_Z80_3_yellow_chromaticity,
             "Return the CIE 1931 (x, y) chromaticity of a lens for the yellow traffic signal (ANSI Z80.3).\n\n"
             "The chromaticity of the transmission scan for the yellow traffic signal: the yellow signal lens "
             "transmittance under CIE illuminant A.",
             "of the yellow signal's light through the lens");
    def_lens("ANSI_Z80_3_green_chromaticity", &colorimetry::ANSI_Z80_3_green_chromaticity,
             "Return the CIE 1931 (x, y) chromaticity of a lens for the green traffic signal (ANSI Z80.3).\n\n"
             "The chromaticity of the transmission scan for the green traffic signal: the green signal lens "
             "transmittance under CIE illuminant A.",
             "of the green signal's light through the lens");
}

}  // namespace orvpy
