// Submodule physics: black-body radiation laws.
#include "physics/blackbody.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_physics_module(py::module_& physics) {
    namespace o = orvanalysis::physics;
    physics.def("planks_law_sr", &o::planks_law_sr, "T"_a, "wl"_a,
                R"doc(Calculate the spectral radiance using Planck's Law for a black body.

The spectral radiance of a black body at temperature T (K) and wavelength wl (m), in W/(sr m²)/m.

Parameters
----------
T : float
    Temperature (K).
wl : float
    Wavelength (m).

Returns
-------
float
    Spectral radiance (W/(sr m²)/m).
)doc");
    physics.def("planks_law_sr_um", &o::planks_law_sr_um, "T"_a, "wl"_a,
                R"doc(Calculate the spectral radiance using Planck's Law for a black body.

The spectral radiance of a black body at temperature T (K) and wavelength wl (µm), in W/(sr m²)/µm.

Parameters
----------
T : float
    Temperature (K).
wl : float
    Wavelength (µm).

Returns
-------
float
    Spectral radiance (W/(sr m²)/µm).
)doc");
    physics.def("planks_law_sr_nm", &o::planks_law_sr_nm, "T"_a, "wl"_a,
                R"doc(Calculate the spectral radiance using Planck's Law for a black body.

The spectral radiance of a black body at temperature T (K) and wavelength wl (nm), in W/(sr m²)/nm.

Parameters
----------
T : float
    Temperature (K).
wl : float
    Wavelength (nm).

Returns
-------
float
    Spectral radiance (W/(sr m²)/nm).
)doc");
    physics.def("planks_law_sr_deriv_T", &o::planks_law_sr_deriv_T, "T"_a, "wl"_a,
                R"doc(Compute the partial derivative of Planck's Law w.r.t. temperature.

The derivative of the spectral radiance (W/(sr m²)/m) with respect to the temperature, in
W/(sr m²)/m/K.

Parameters
----------
T : float
    Temperature (K).
wl : float
    Wavelength (m).

Returns
-------
float
    The derivative (W/(sr m²)/m/K).
)doc");
    physics.def("planks_law_sr_deriv_wl", &o::planks_law_sr_deriv_wl, "T"_a, "wl"_a,
                R"doc(Compute the partial derivative of Planck's Law w.r.t. wavelength.

The derivative of the spectral radiance (W/(sr m²)/m) with respect to the wavelength, in
W/(sr m²)/m².

Parameters
----------
T : float
    Temperature (K).
wl : float
    Wavelength (m).

Returns
-------
float
    The derivative (W/(sr m²)/m²).
)doc");
    physics.def("wiens_displacement_law_T", &o::wiens_displacement_law_T, "wl"_a,
                R"doc(Apply Wien's displacement law to compute temperature from wavelength.

The temperature (K) of the black body whose spectral radiance peaks at wl (m).

Parameters
----------
wl : float
    Peak wavelength (m).

Returns
-------
float
    Temperature (K).
)doc");
    physics.def("wiens_displacement_law_wl", &o::wiens_displacement_law_wl, "T"_a,
                R"doc(Apply Wien's displacement law to compute wavelength from temperature.

The wavelength (m) at which the spectral radiance of a black body at T (K) peaks.

Parameters
----------
T : float
    Temperature (K).

Returns
-------
float
    Peak wavelength (m).
)doc");
    physics.def("stefan_boltzmann_law", &o::stefan_boltzmann_law, "T"_a,
                R"doc(Apply the Stefan-Boltzmann law to compute energy radiated per unit area.

The radiant exitance of a black body at T (K), in W/m².

Parameters
----------
T : float
    Temperature (K).

Returns
-------
float
    Radiant exitance (W/m²).
)doc");
    physics.def("stefan_boltzmann_law_surface", &o::stefan_boltzmann_law_surface, "T"_a, "A"_a, "epsilon"_a,
                R"doc(Apply the Stefan-Boltzmann law to compute energy radiated from a surface.

The power (W) radiated by a surface of area A (m²) and emissivity epsilon at T (K).

Parameters
----------
T : float
    Temperature (K).
A : float
    Area (m²).
epsilon : float
    Emissivity, 0 to 1.

Returns
-------
float
    Radiated power (W).
)doc");
}

}  // namespace orvpy
