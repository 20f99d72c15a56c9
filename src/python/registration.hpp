// Registration functions, one per area of the Python surface, called by the module body.
#pragma once

#include <pybind11/pybind11.h>

namespace orvpy {

// The Interpolation enumeration (with its members exported to m), then the Scan class.
void add_scan_class(pybind11::module_& m);

}  // namespace orvpy
