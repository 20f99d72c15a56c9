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
                "Calculates the spectral radiance using Planck's Law for a black body.\n\n"
                "The spectral radiance of a black body at temperature T (K) and wavelength wl (m), in W/(sr m²)/m.\n\n"
                ":param T: temperature in K\n:param wl: wavelength in m\n:return: spectral radiance in W/(sr m²)/m");
    physics.def("planks_law_sr_um", &o::planks_law_sr_um, "T"_a, "wl"_a,
                "Calculates the spectral radiance using Planck's Law for a black body.\n\n"
                "The spectral radiance of a black body at temperature T (K) and wavelength wl (µm), in "
                "W/(sr m²)/µm.\n\n"
                ":param T: temperature in K\n:param wl: wavelength in µm\n:return: spectral radiance in W/(sr m²)/µm");
    physics.def("planks_law_sr_nm", &o::planks_law_sr_nm, "T"_a, "wl"_a,
                "Calculates the spectral radiance using Planck's Law for a black body.\n\n"
                "The spectral radiance of a black body at temperature T (K) and wavelength wl (nm), in "
                "W/(sr m²)/nm.\n\n"
                ":param T: temperature in K\n:param wl: wavelength in nm\n:return: spectral radiance in W/(sr m²)/nm");
    physics.def("planks_law_sr_deriv_T", &o::planks_law_sr_deriv_T, "T"_a, "wl"_a,
                "Computes the partial derivative of Planck's Law w.r.t. temperature.\n\n"
                "The derivative of the spectral radiance (W/(sr m²)/m) with respect to the temperature, in "
                "W/(sr m²)/m/K.\n\n"
                ":param T: temperature in K\n:param wl: wavelength in m\n:return: derivative in W/(sr m²)/m/K");
    physics.def("planks_law_sr_deriv_wl", &o::planks_law_sr_deriv_wl, "T"_a, "wl"_a,
                "Computes the partial derivative of Planck's Law w.r.t. wavelength.\n\n"
                "The derivative of the spectral radiance (W/(sr m²)/m) with respect to the wavelength, in "
                "W/(sr m²)/m².\n\n"
                ":param T: temperature in K\n:param wl: wavelength in m\n:return: derivative in W/(sr m²)/m²");
    physics.def("wiens_displacement_law_T", &o::wiens_displacement_law_T, "wl"_a,
                "Applies Wien's displacement law to compute temperature from wavelength.\n\n"
                "The temperature (K) of the black body whose spectral radiance peaks at wl (m).\n\n"
                ":param wl: peak wavelength in m\n:return: temperature in K");
    physics.def("wiens_displacement_law_wl", &o::wiens_displacement_law_wl, "T"_a,
                "Applies Wien's displacement law to compute wavelength from temperature.\n\n"
                "The wavelength (m) at which the spectral radiance of a black body at T (K) peaks.\n\n"
                ":param T: temperature in K\n:return: peak wavelength in m");
    physics.def("stefan_boltzmann_law", &o::stefan_boltzmann_law, "T"_a,
                "Applies the Stefan-Boltzmann law to compute energy radiated per unit area.\n\n"
                "The radiant exitance of a black body at T (K), in W/m².\n\n"
                ":param T: temperature in K\n:return: radiant exitance in W/m²");
    physics.def("stefan_boltzmann_law_surface", &o::stefan_boltzmann_law_surface, "T"_a, "A"_a, "epsilon"_a,
                "Applies the Stefan-Boltzmann law to compute energy radiated from a surface.\n\n"
                "The power (W) radiated by a surface of area A (m²) and emissivity epsilon at T (K).\n\n"
                ":param T: temperature in K\n:param A: area in m²\n:param epsilon: emissivity, 0 to 1\n"
                ":return: radiated power in W");
}

}  // namespace orvpy
