// Submodule monochromator.slit_function: fibre slit functions.
#include "monochromator/slit_function.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_slit_function_module(py::module_& slit_function) {
    slit_function.def(
        "uniform_fibres_value", &orvanalysis::monochromator::uniform_fibres_value, "central_wavelength"_a,
        "bandwidth"_a, "wavelength"_a,
        "Returns the normalised slit function (1 at the centre) for the perfect image of a uniform circular input "
        "fibre passing across a circular exit fibre of equal diameter, at the given wavelength.\n\n"
        ":param central_wavelength: the wavelength the monochromator is set to (nm)\n"
        ":param bandwidth: the bandwidth of the fibre system, the slit function's full width at half maximum (nm)\n"
        ":param wavelength: the wavelength at which to evaluate (nm)\n"
        ":return: the slit function, 0 beyond bandwidth / 0.80794550659902 from the centre");
    slit_function.def(
        "uniform_fibres", &orvanalysis::monochromator::uniform_fibres, "central_wavelength"_a, "bandwidth"_a,
        "points"_a,
        "Returns the normalised slit function (1 at the centre) for the perfect image of a uniform circular input "
        "fibre passing across a circular exit fibre of equal diameter, generated over the given number of points "
        "spread evenly across its base.\n\n"
        ":param central_wavelength: the wavelength the monochromator is set to (nm)\n"
        ":param bandwidth: the bandwidth of the fibre system, the slit function's full width at half maximum (nm)\n"
        ":param points: the number of points, at least 2\n"
        ":return: a Scan symmetric about the central wavelength\n"
        ":raises ValueError: for fewer than 2 points");
}

}  // namespace orvpy
