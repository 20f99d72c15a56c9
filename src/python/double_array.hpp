// Conversion of a Python sequence of numbers to doubles: objects that expose a one-dimensional
// float64 buffer (numpy arrays, array.array('d')) are read in place, anything else is copied
// element by element into a vector.
#pragma once

#include "core/columns.hpp"
#include "python/buffer_format.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace orvpy {

using orvanalysis::advise_huge_pages;

// A sequence's values, copied, or a float64 buffer, held (its exporter alive and, for
// array.array, unable to resize) until the call that took it returns.
class DoubleArray {
public:
    DoubleArray() = default;

    // The value at i of a held buffer.
    double operator()(std::size_t i) const {
        double x;
        std::memcpy(&x, first_ + static_cast<std::ptrdiff_t>(i) * stride_, sizeof(double));
        return x;
    }
    // The held buffer's values when they lie side by side, else null.
    const double* contiguous() const {
        return stride_ == static_cast<std::ptrdiff_t>(sizeof(double)) ? reinterpret_cast<const double*>(first_)
                                                                      : nullptr;
    }
    bool is_buffer() const { return buffer_ != nullptr; }
    std::size_t size() const { return is_buffer() ? size_ : values_.size(); }
    // The values as a vector, copied from a held buffer: exactly the values the sequence
    // conversion would give, as every element of such a buffer converts to the double it holds.
    std::vector<double> take() && {
        if (!is_buffer()) {
            return std::move(values_);
        }
        std::vector<double> out;
        out.reserve(size_);
        advise_huge_pages(out.data(), size_ * sizeof(double));
        orvanalysis::append_values(out, 0, size_, *this);
        return out;
    }

private:
    friend struct pybind11::detail::type_caster<DoubleArray>;
    struct Release {
        void operator()(Py_buffer* view) const {
            PyBuffer_Release(view);
            delete view;
        }
    };

    std::vector<double> values_;
    std::unique_ptr<Py_buffer, Release> buffer_;
    const char* first_ = nullptr;
    std::ptrdiff_t stride_ = 0;
    std::size_t size_ = 0;
};

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::DoubleArray> {
    PYBIND11_TYPE_CASTER(orvpy::DoubleArray, const_name("List[float]"));

    bool load(handle src, bool convert) {
        if (hold_float64_buffer(src)) {
            return true;
        }
        make_caster<std::vector<double>> sequence;
        if (!sequence.load(src, convert)) {
            return false;
        }
        value.values_ = cast_op<std::vector<double>&&>(std::move(sequence));
        return true;
    }

    static handle cast(const orvpy::DoubleArray& src, return_value_policy /*policy*/, handle /*parent*/) {
        list out(src.size());
        for (std::size_t i = 0; i < src.size(); ++i) {
            out[i] = float_(src.is_buffer() ? src(i) : src.values_[i]);
        }
        return out.release();
    }

private:
    bool hold_float64_buffer(handle src) {
        if (!PyObject_CheckBuffer(src.ptr())) {
            return false;
        }
        auto view = std::make_unique<Py_buffer>();
        if (PyObject_GetBuffer(src.ptr(), view.get(), PyBUF_RECORDS_RO) != 0) {
            PyErr_Clear();
            return false;
        }
        std::unique_ptr<Py_buffer, orvpy::DoubleArray::Release> held(view.release());
        if (held->ndim != 1 || held->itemsize != sizeof(double) || !orvpy::is_native_format(held->format, 'd')) {
            return false;
        }
        value.first_ = static_cast<const char*>(held->buf);
        value.stride_ = held->strides[0];
        value.size_ = static_cast<std::size_t>(held->shape[0]);
        value.buffer_ = std::move(held);
        return true;
    }
};

}  // namespace pybind11::detail
