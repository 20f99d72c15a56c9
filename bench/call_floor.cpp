// The floor of a call from Python: a registered function taking and returning a double.
#include <pybind11/pybind11.h>

PYBIND11_MODULE(_orvpy_bench, m) {
    m.def(
        "identity", [](double wavelength) { return wavelength; }, pybind11::arg("wavelength"));
}
