// Binding of plain records of doubles: a default and a value constructor, one read-write
// attribute per field, and the text forms "<Tag label:value ...>" and "label:value ...".
#pragma once

#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <cstddef>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>

namespace orvpy {

template <class T>
struct RecordField {
    const char* name;   // Python attribute and keyword name
    const char* label;  // label in the text forms
    double T::*member;
};

template <class T, class... Fields>
pybind11::class_<T> bind_record(pybind11::handle scope, const char* name, const char* doc, const char* tag,
                                Fields... fields) {
    namespace py = pybind11;
    const auto text = [fields...](const T& record) {
        std::ostringstream os;
        os.imbue(std::locale::classic());
        const char* separator = "";
        ((os << separator << fields.label << ':' << record.*(fields.member), separator = " "), ...);
        return os.str();
    };
    std::string fields_doc;
    ((fields_doc += std::string(fields_doc.empty() ? "" : " ") + fields.label + ": " + fields.name), ...);
    const std::string repr_doc = "Returns <" + std::string(tag) + " " + fields_doc + ">";
    const std::string str_doc = "Returns " + fields_doc;

    py::class_<T> cls(scope, name, doc);
    cls.def(py::init<>(), "All fields 0.");
    cls.def(py::init([](decltype((void)fields, double())... values) { return T{values...}; }), py::arg(fields.name)...);
    (cls.def_readwrite(fields.name, fields.member), ...);
    cls.def(
        "__repr__", [text, tag = std::string(tag)](const T& record) { return "<" + tag + " " + text(record) + ">"; },
        repr_doc.c_str());
    cls.def("__str__", text, str_doc.c_str());
    pickle_by_state<sizeof...(Fields)>(
        cls, [fields...](const T& record) { return py::make_tuple(record.*(fields.member)...); },
        [](const py::tuple& state) {
            std::size_t i = 0;
            return T{state[i++].cast<decltype((void)fields, double())>()...};
        });
    refuse_uninitialised<T>();
    return cls;
}

}  // namespace orvpy
