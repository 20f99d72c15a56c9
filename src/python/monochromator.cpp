// Submodule monochromator.slit_function: fibre slit functions.
#include "monochromator/slit_function.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_slit_function_module(py::module_& slit_function) {
    slit_function.def("uniform_fibres_value", &orvanalysis::monochromator::uniform_fibres_value, "central_wavelength"_a,
                      "bandwidth"_a, "wavelength"_a,
                      R"doc(Return the normalised slit function (1 at the centre) at the given wavelength.

The slit function is that of the perfect image of a uniform circular input fibre passing across
a circular exit fibre of equal diameter.

Parameters
----------
central_wavelength : float
    The wavelength the monochromator is set to (nm).
bandwidth : float
    The bandwidth of the fibre system, the slit function's full width at half maximum (nm).
wavelength : float
    The wavelength at which to evaluate (nm).

Returns
-------
float
    The slit function, 0 beyond bandwidth / 0.80794550659902 from the centre.
)doc");
    slit_function.def("uniform_fibres", &orvanalysis::monochromator::uniform_fibres, "central_wavelength"_a,
                      "bandwidth"_a, "points"_a,
                      R"doc(Return the normalised slit function (1 at the centre) as a Scan.

The slit function is that of the perfect image of a uniform circular input fibre passing across
a circular exit fibre of equal diameter, generated over the given number of points spread evenly
across its base.

Parameters
----------
central_wavelength : float
    The wavelength the monochromator is set to (nm).
bandwidth : float
    The bandwidth of the fibre system, the slit function's full width at half maximum (nm),
    finite and greater than 0.
points : int
    The number of points, at least 2.

Returns
-------
Scan
    The slit function, symmetric about the central wavelength.

Raises
------
ValueError
    For fewer than 2 points or more than 67108864 (2**26), or a bandwidth that is not finite
    and greater than 0.
)doc");
}

}  // namespace orvpy
