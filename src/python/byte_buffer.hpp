// Conversion of the bytes of a data file: any object exposing a C-contiguous buffer of unsigned
// bytes (bytes, bytearray, memoryview, a numpy uint8 array) is read in place for the duration of
// the call (a bytearray cannot be resized while its buffer is held, even by another thread while
// the call runs without the interpreter lock); any other sequence of byte values (a list, a
// tuple) is converted item by item. str is refused. A writable buffer is not copied: as with
// hashlib or zlib, a thread that writes into it during the call gets unspecified values, while
// every read stays within the buffer, whose reader checks each offset against its size.
#pragma once

#include "python/buffer_format.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvpy {

class ByteBuffer {
public:
    const std::uint8_t* data() const noexcept {
        return view_ ? static_cast<const std::uint8_t*>(view_->buf) : owned_.data();
    }
    std::size_t size() const noexcept { return view_ ? static_cast<std::size_t>(view_->len) : owned_.size(); }

    // Holds a contiguous buffer of unsigned bytes; false (and nothing held) for any other object.
    bool borrow(PyObject* object) {
        auto view = std::unique_ptr<Py_buffer, Release>(new Py_buffer());
        if (!PyObject_CheckBuffer(object) ||
            PyObject_GetBuffer(object, view.get(), PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
            PyErr_Clear();
            return false;
        }
        const bool bytes = view->itemsize == 1 && is_native_format(view->format, 'B');
        if (!bytes) {
            PyBuffer_Release(view.get());
            return false;
        }
        view_ = std::move(view);
        return true;
    }
    void own(std::vector<std::uint8_t> bytes) { owned_ = std::move(bytes); }

private:
    struct Release {
        void operator()(Py_buffer* view) const {
            if (view->obj != nullptr) {
                PyBuffer_Release(view);
            }
            delete view;
        }
    };
    std::shared_ptr<Py_buffer> view_;
    std::vector<std::uint8_t> owned_;
};

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::ByteBuffer> {
    PYBIND11_TYPE_CASTER(orvpy::ByteBuffer, const_name("List[int]"));

    bool load(handle src, bool convert) {
        if (PyUnicode_Check(src.ptr())) {
            return false;
        }
        if (value.borrow(src.ptr())) {
            return true;
        }
        make_caster<std::vector<std::uint8_t>> sequence;
        if (!sequence.load(src, convert)) {
            return false;
        }
        value.own(cast_op<std::vector<std::uint8_t>&&>(std::move(sequence)));
        return true;
    }

    static handle cast(const orvpy::ByteBuffer& src, return_value_policy policy, handle parent) {
        return make_caster<std::vector<std::uint8_t>>::cast(
            std::vector<std::uint8_t>(src.data(), src.data() + src.size()), policy, parent);
    }
};

}  // namespace pybind11::detail
