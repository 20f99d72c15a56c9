// numpy arrays of float64 in and out, through numpy's Python interface. pybind11's C-level numpy
// access sets up a static on first use while the caller holds the interpreter lock, and two
// threads reaching it first together deadlock; a Python-level import has no such guard. Without
// numpy installed the module still works: only these arrays raise ImportError.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>

namespace orvpy {

// An array of the shape, its values written by fill(double* first) in C order.
template <class Fill>
pybind11::object float64_array(const pybind11::object& shape, Fill&& fill) {
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

// Any array-like of real numbers (a numpy array of a boolean, integer or floating dtype, a
// sequence of numbers) as a C-contiguous float64 array of the same shape (0-d for a scalar),
// converted as numpy converts it, whose elements are read in C order. Text, bytes, complex and
// object arrays raise TypeError, as the scalar call does for anything but a real number.
class Float64Input {
public:
    explicit Float64Input(const pybind11::handle& values) {
        const pybind11::object numpy = pybind11::module_::import("numpy");
        const pybind11::object given = numpy.attr("asarray")(values);
        const auto kind = given.attr("dtype").attr("kind").cast<std::string>();
        if (kind != "b" && kind != "i" && kind != "u" && kind != "f") {
            throw pybind11::type_error("expected real numbers, not an array of " +
                                       pybind11::str(given.attr("dtype")).cast<std::string>());
        }
        array_ = numpy.attr("asarray")(given, "float64", pybind11::arg("order") = "C");
        if (PyObject_GetBuffer(array_.ptr(), &view_, PyBUF_C_CONTIGUOUS) != 0) {
            throw pybind11::error_already_set();
        }
    }
    Float64Input(const Float64Input&) = delete;
    Float64Input& operator=(const Float64Input&) = delete;
    ~Float64Input() { PyBuffer_Release(&view_); }

    const double* data() const { return static_cast<const double*>(view_.buf); }
    std::size_t size() const { return static_cast<std::size_t>(view_.len) / sizeof(double); }
    int ndim() const { return view_.ndim; }
    pybind11::object shape() const { return array_.attr("shape"); }
    const pybind11::object& array() const { return array_; }

private:
    pybind11::object array_;
    Py_buffer view_{};
};

}  // namespace orvpy
