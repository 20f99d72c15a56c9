// Conversion of a file path argument: a str, bytes or any os.PathLike object, passed on as the
// bytes the file system uses for it (a str is encoded as os.fsencode encodes it).
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace orvpy {

struct FilePath {
    std::string bytes;
};

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::FilePath> {
    PYBIND11_TYPE_CASTER(orvpy::FilePath, const_name("Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]"));

    bool load(handle src, bool /*convert*/) {
        object path = reinterpret_steal<object>(PyOS_FSPath(src.ptr()));
        if (path && PyUnicode_Check(path.ptr())) {
            path = reinterpret_steal<object>(PyUnicode_EncodeFSDefault(path.ptr()));
        }
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (!path || PyBytes_AsStringAndSize(path.ptr(), &data, &size) != 0) {
            PyErr_Clear();
            return false;
        }
        value.bytes.assign(data, static_cast<std::size_t>(size));
        return true;
    }
};

}  // namespace pybind11::detail
