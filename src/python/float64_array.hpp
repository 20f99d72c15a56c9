// New numpy arrays of float64, made through numpy's Python interface. pybind11's C-level numpy
// access sets up a static on first use while the caller holds the interpreter lock, and two
// threads reaching it first together deadlock; a Python-level import has no such guard. Without
// numpy installed the module still works: only these arrays raise ImportError.
#pragma once

#include <pybind11/pybind11.h>

namespace orvpy {

// An array of the shape, its values written by fill(double* first) in C order.
template <class Fill>
pybind11::object float64_array(const pybind11::tuple& shape, Fill&& fill) {
    pybind11::object array = pybind11::module_::import("numpy").attr("empty")(shape, "float64");
    Py_buffer view;
    if (PyObject_GetBuffer(array.ptr(), &view, PyBUF_C_CONTIGUOUS | PyBUF_WRITABLE) != 0) {
        throw pybind11::error_already_set();
    }
    try {
        fill(static_cast<double*>(view.buf));
    } catch (...) {
        PyBuffer_Release(&view);
        throw;
    }
    PyBuffer_Release(&view);
    return array;
}

}  // namespace orvpy
