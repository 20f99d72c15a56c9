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

    bind_record<ChromaticityPoint>(chromaticity, "CIExy", "A point in the two-dimensional CIE 1931 chromaticity space.",
                                   "Chromaticity", RecordField<ChromaticityPoint>{"x", "x", &ChromaticityPoint::x},
                                   RecordField<ChromaticityPoint>{"y", "y", &ChromaticityPoint::y});

    chromaticity.def("CIE_1931_chromaticity", &colorimetry::CIE_1931_chromaticity, "scan"_a,
                     "Calculates the CIE 1931 (x, y) chromaticity from transmission scan data (wavelength in nm) "
                     "with the CIE 1931 2° observer over 380-780 nm and returns a ChromaticityPoint (CIExy).");
    const auto def_lens = [&chromaticity](const char* name,
                                          ChromaticityPoint (*f)(const orvanalysis::Scan&, colorimetry::Method),
                                          const char* doc) {
        chromaticity.def(
            name,
            [f](const orvanalysis::Scan& scan, const std::string& method) {
                return f(scan, colorimetry::method_from_string(method));
            },
            "scan"_a, "method"_a = "integral",
            (std::string(doc) +
             " method is 'integral' (the default: the tristimulus integrals of the scan's own curve) or 'sum' (sums at "
             "the tables' 5 nm wavelengths).")
                .c_str());
    };
    def_lens("ANSI_Z80_3_daylight_chromaticity", &colorimetry::ANSI_Z80_3_daylight_chromaticity,
             "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan in daylight, CIE illuminant D65.");
    def_lens("ANSI_Z80_3_yellow_chromaticity", &colorimetry::ANSI_Z80_3_yellow_chromaticity,
             "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan for the yellow traffic signal: the "
             "yellow signal lens transmittance under CIE illuminant A.");
    def_lens("ANSI_Z80_3_green_chromaticity", &colorimetry::ANSI_Z80_3_green_chromaticity,
             "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan for the green traffic signal: the "
             "green signal lens transmittance under CIE illuminant A.");
}

}  // namespace orvpy
