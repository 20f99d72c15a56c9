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
               R"doc(Generate a long-pass filter scan.

The transmission values go from 0 to 1, rising across center_wl; the bandwidth is the
wavelength range over which the transmission rises from 5 % to 95 %.

Parameters
----------
center_wl : float
    Centre wavelength, where the transmission is 0.5 (nm).
bandwidth : float
    Width of the rise from 5 % to 95 % (nm), finite and greater than 0.
min_wl : float
    Minimum wavelength, the first grid point (nm).
max_wl : float
    Maximum wavelength (nm); a grid point only when it falls on the grid.
step_wl : float
    Wavelength step (nm).

Returns
-------
Scan
    The filter's transmission on the grid.

Raises
------
ValueError
    For min_wl >= max_wl, step_wl > (max_wl - min_wl), step_wl <= 0, a grid that is not finite or
    too long to count, or a bandwidth that is not finite and greater than 0.
)doc");
    curves.def("shortpass_filter", &orvanalysis::curves::shortpass_filter, "center_wl"_a, "bandwidth"_a, "min_wl"_a,
               "max_wl"_a, "step_wl"_a,
               R"doc(Generate a short-pass filter scan.

The transmission values go from 1 to 0, falling across center_wl; the bandwidth is the
wavelength range over which the transmission falls from 95 % to 5 %.

Parameters
----------
center_wl : float
    Centre wavelength, where the transmission is 0.5 (nm).
bandwidth : float
    Width of the fall from 95 % to 5 % (nm), finite and greater than 0.
min_wl : float
    Minimum wavelength, the first grid point (nm).
max_wl : float
    Maximum wavelength (nm); a grid point only when it falls on the grid.
step_wl : float
    Wavelength step (nm).

Returns
-------
Scan
    The filter's transmission on the grid.

Raises
------
ValueError
    For min_wl >= max_wl, step_wl > (max_wl - min_wl), step_wl <= 0, a grid that is not finite or
    too long to count, or a bandwidth that is not finite and greater than 0.
)doc");
    curves.def("lognormal", &orvanalysis::curves::lognormal, "peak_wl"_a, "fwhm"_a, "min_wl"_a, "max_wl"_a, "step_wl"_a,
               R"doc(Generate a lognormal scan over the wavelength range.

The curve is characterised by its peak wavelength and its full width at half maximum, and
normalised to 1 at the peak.

Parameters
----------
peak_wl : float
    Peak wavelength, greater than 0 (nm).
fwhm : float
    Full width at half maximum, greater than 0 (nm).
min_wl : float
    Minimum wavelength, greater than 0 and less than max_wl (nm).
max_wl : float
    Maximum wavelength (nm).
step_wl : float
    Wavelength step, positive and at most max_wl - min_wl (nm).

Returns
-------
Scan
    The curve on the grid.

Raises
------
ValueError
    For peak_wl <= 0 or fwhm <= 0, for min_wl <= 0, then as the filters.
)doc");
}

}  // namespace orvpy
