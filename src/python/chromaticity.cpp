// Submodule chromaticity: the CIExy record and the chromaticity functions.
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/tristimulus.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

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
    chromaticity.def("ANSI_Z80_3_daylight_chromaticity", &colorimetry::ANSI_Z80_3_daylight_chromaticity, "scan"_a,
                     "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan in daylight, CIE "
                     "illuminant D65.");
    chromaticity.def("ANSI_Z80_3_yellow_chromaticity", &colorimetry::ANSI_Z80_3_yellow_chromaticity, "scan"_a,
                     "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan for the yellow traffic "
                     "signal: the yellow signal lens transmittance under CIE illuminant A.");
    chromaticity.def("ANSI_Z80_3_green_chromaticity", &colorimetry::ANSI_Z80_3_green_chromaticity, "scan"_a,
                     "ANSI Z80.3: the CIE 1931 (x, y) chromaticity of the transmission scan for the green traffic "
                     "signal: the green signal lens transmittance under CIE illuminant A.");
}

}  // namespace orvpy
