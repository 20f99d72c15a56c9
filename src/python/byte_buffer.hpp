// Conversion of a Python sequence of byte values (a list, a tuple, a bytearray) to a byte
// vector. Objects exposing a one-dimensional buffer of unsigned bytes are copied as one block;
// bytes and str objects are refused, as the standard sequence conversion refuses them.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace orvpy {

struct ByteBuffer {
    std::vector<std::uint8_t> bytes;
};

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::ByteBuffer> {
    PYBIND11_TYPE_CASTER(orvpy::ByteBuffer, const_name("List[int]"));

    bool load(handle src, bool convert) {
        if (PyBytes_Check(src.ptr()) || PyUnicode_Check(src.ptr())) {
            return false;
        }
        if (load_byte_buffer(src)) {
            return true;
        }
        make_caster<std::vector<std::uint8_t>> sequence;
        if (!sequence.load(src, convert)) {
            return false;
        }
        value.bytes = cast_op<std::vector<std::uint8_t>&&>(std::move(sequence));
        return true;
    }

    static handle cast(const orvpy::ByteBuffer& src, return_value_policy policy, handle parent) {
        return make_caster<std::vector<std::uint8_t>>::cast(src.bytes, policy, parent);
    }

private:
    // Every element of such a buffer is an integer from 0 to 255, exactly what the sequence
    // conversion would accept one item at a time.
    bool load_byte_buffer(handle src) {
        if (!PyObject_CheckBuffer(src.ptr())) {
            return false;
        }
        Py_buffer view;
        if (PyObject_GetBuffer(src.ptr(), &view, PyBUF_RECORDS_RO) != 0) {
            PyErr_Clear();
            return false;
        }
        const bool usable = view.ndim == 1 && view.itemsize == 1 && view.format != nullptr &&
                            (std::strcmp(view.format, "B") == 0 || std::strcmp(view.format, "@B") == 0 ||
                             std::strcmp(view.format, "=B") == 0 || std::strcmp(view.format, "<B") == 0);
        if (usable) {
            const auto n = static_cast<std::size_t>(view.shape[0]);
            const Py_ssize_t stride = view.strides[0];
            const auto* base = static_cast<const std::uint8_t*>(view.buf);
            if (stride == 1) {
                value.bytes.assign(base, base + n);
            } else {
                value.bytes.resize(n);
                for (std::size_t i = 0; i < n; ++i) {
                    value.bytes[i] = base[static_cast<Py_ssize_t>(i) * stride];
                }
            }
        }
        PyBuffer_Release(&view);
        return usable;
    }
};

}  // namespace pybind11::detail
