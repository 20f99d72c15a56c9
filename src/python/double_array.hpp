// Conversion of a Python sequence of numbers to a vector of doubles, with a block copy for
// objects that expose a one-dimensional float64 buffer (numpy arrays, array.array('d')).
#pragma once

#include "python/buffer_format.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace orvpy {

struct DoubleArray {
    std::vector<double> values;
};

// Asks the kernel to back a large, not yet touched block with huge pages: filling millions of
// doubles otherwise costs one page fault per 4 KiB, which dominates the copy itself.
inline void advise_huge_pages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t skip = (huge_page - address % huge_page) % huge_page;
    if (bytes > skip) {
        const std::size_t length = (bytes - skip) / huge_page * huge_page;
        if (length != 0) {
            // Advice only: a kernel without transparent huge pages refuses it and nothing changes.
            (void)madvise(static_cast<char*>(data) + skip, length, MADV_HUGEPAGE);
        }
    }
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::DoubleArray> {
    PYBIND11_TYPE_CASTER(orvpy::DoubleArray, const_name("List[float]"));

    bool load(handle src, bool convert) {
        if (load_float64_buffer(src)) {
            return true;
        }
        make_caster<std::vector<double>> sequence;
        if (!sequence.load(src, convert)) {
            return false;
        }
        value.values = cast_op<std::vector<double>&&>(std::move(sequence));
        return true;
    }

    static handle cast(const orvpy::DoubleArray& src, return_value_policy policy, handle parent) {
        return make_caster<std::vector<double>>::cast(src.values, policy, parent);
    }

private:
    // Yields exactly the values the sequence conversion would, as every element of such a
    // buffer converts to the double it holds.
    bool load_float64_buffer(handle src) {
        if (!PyObject_CheckBuffer(src.ptr())) {
            return false;
        }
        Py_buffer view;
        if (PyObject_GetBuffer(src.ptr(), &view, PyBUF_RECORDS_RO) != 0) {
            PyErr_Clear();
            return false;
        }
        // Released on every path, a failed allocation of the copy included: a held buffer
        // keeps its exporter alive and, for array.array, unable to resize.
        const std::unique_ptr<Py_buffer, void (*)(Py_buffer*)> held(&view, PyBuffer_Release);
        const bool usable =
            view.ndim == 1 && view.itemsize == sizeof(double) && orvpy::is_native_format(view.format, 'd');
        if (usable) {
            const auto n = static_cast<std::size_t>(view.shape[0]);
            const Py_ssize_t stride = view.strides[0];
            std::vector<double>& out = value.values;
            out.reserve(n);
            orvpy::advise_huge_pages(out.data(), n * sizeof(double));
            if (stride == static_cast<Py_ssize_t>(sizeof(double))) {
                const auto* first = static_cast<const double*>(view.buf);
                out.assign(first, first + n);
            } else {
                const auto* base = static_cast<const char*>(view.buf);
                for (std::size_t i = 0; i < n; ++i) {
                    double x;
                    std::memcpy(&x, base + static_cast<Py_ssize_t>(i) * stride, sizeof(double));
                    out.push_back(x);
                }
            }
        }
        return usable;
    }
};

}  // namespace pybind11::detail
