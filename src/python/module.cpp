// The extension module: its initialiser and the body that registers every area in order.
#include "python/registration.hpp"

PYBIND11_MODULE(_orvpy_core, m) {
    m.doc() = "Orvane Instruments spectral analysis package.";
    orvpy::add_scan_class(m);
}
