// Submodule curves: synthetic filter and lognormal curves.
#include "curves/synthetic.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_curves_module(py::module_& curves) {
    curves.def("longpass_filter", &orvanalysis::curves::longpass_filter, "center_wl"_a, "bandwidth"_a, "min_wl"_a,
               "max_wl"_a, "step_wl"_a,
               "Generates a long-pass filter scan: transmission values from 0 to 1 rising across center_wl, the "
               "bandwidth being the wavelength range over which the transmission rises from 5 % to 95 %.\n\n"
               ":param center_wl: centre wavelength, where the transmission is 0.5 (nm)\n"
               ":param bandwidth: width of the rise from 5 % to 95 % (nm)\n"
               ":param min_wl: minimum wavelength, the first grid point (nm)\n"
               ":param max_wl: maximum wavelength (nm); a grid point only when it falls on the grid\n"
               ":param step_wl: wavelength step (nm)\n"
               ":return: a Scan\n"
               ":raises ValueError: for min_wl >= max_wl, step_wl > (max_wl - min_wl), step_wl <= 0, or a grid that is "
               "not finite or too long to count");
    curves.def("shortpass_filter", &orvanalysis::curves::shortpass_filter, "center_wl"_a, "bandwidth"_a, "min_wl"_a,
               "max_wl"_a, "step_wl"_a,
               "Generates a short-pass filter scan: transmission values from 1 to 0 falling across center_wl, the "
               "bandwidth being the wavelength range over which the transmission falls from 95 % to 5 %.\n\n"
               ":param center_wl: centre wavelength, where the transmission is 0.5 (nm)\n"
               ":param bandwidth: width of the fall from 95 % to 5 % (nm)\n"
               ":param min_wl: minimum wavelength, the first grid point (nm)\n"
               ":param max_wl: maximum wavelength (nm); a grid point only when it falls on the grid\n"
               ":param step_wl: wavelength step (nm)\n"
               ":return: a Scan\n"
               ":raises ValueError: for min_wl >= max_wl, step_wl > (max_wl - min_wl), step_wl <= 0, or a grid that is "
               "not finite or too long to count");
    curves.def("lognormal", &orvanalysis::curves::lognormal, "peak_wl"_a, "fwhm"_a, "min_wl"_a, "max_wl"_a, "step_wl"_a,
               "Generates a lognormal scan over the wavelength range, characterised by its peak wavelength and its "
               "full width at half maximum, normalised to 1 at the peak.\n\n"
               ":param peak_wl: peak wavelength, greater than 0 (nm)\n"
               ":param fwhm: full width at half maximum, greater than 0 (nm)\n"
               ":param min_wl: minimum wavelength, less than max_wl (nm)\n"
               ":param max_wl: maximum wavelength (nm)\n"
               ":param step_wl: wavelength step, positive and at most max_wl - min_wl (nm)\n"
               ":return: a Scan\n"
               ":raises ValueError: for peak_wl <= 0 or fwhm <= 0, then as the filters");
}

}  // namespace orvpy
