// Submodule radiometry: illuminance.
#include "colorimetry/photometry.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_radiometry_module(py::module_& radiometry) {
    radiometry.def("illuminance", &orvanalysis::colorimetry::illuminance, "spectral_irradiance"_a,
                   R"doc(Compute the illuminance in lux (lm/m²) of a spectral irradiance.

The illuminance is 683.002 lm/W times the integral over 380 to 780 nm of the irradiance weighted
by the CIE 1931 ȳ(λ) data.

Parameters
----------
spectral_irradiance : Scan
    Spectral irradiance in W·nm⁻¹·m⁻² over wavelength (nm).

Returns
-------
float
    Illuminance (lx, lm/m²).

Raises
------
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.
)doc");
}

}  // namespace orvpy
