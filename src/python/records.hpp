// Binding of records: those that declare their fields (core/record_fields.hpp) get their
// attributes, pickled state and repr from that one list; plain records of doubles bound with
// bind_record get a default and a value constructor, one read-write attribute per field, and the
// text forms "<Tag label:value ...>" and "label:value ...".
#pragma once

#include "core/record_fields.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace orvpy {

// The record's fields as a tuple of Python values (copies), in field order.
template <class Record>
pybind11::tuple state_of(const Record& record) {
    pybind11::list state;
    orvanalysis::for_each_field<Record>(
        [&](const auto& f) { state.append(pybind11::cast(record.*(f.member), pybind11::return_value_policy::copy)); });
    return pybind11::tuple(state);
}

template <class Record>
Record from_state(const pybind11::tuple& state) {
    Record record;
    std::size_t i = 0;
    orvanalysis::for_each_field<Record>([&](const auto& f) {
        using Member = typename std::decay_t<decltype(f)>::member_type;
        record.*(f.member) = state[i++].template cast<Member>();
    });
    return record;
}

// One attribute per field (read-only, or read-write), except those named in skip, and pickling
// by the fields' values.
template <class Record>
void def_fields(pybind11::class_<Record>& cls, bool writable, std::initializer_list<std::string> skip = {}) {
    orvanalysis::for_each_field<Record>([&](const auto& f) {
        if (std::find(skip.begin(), skip.end(), f.name) != skip.end()) {
            return;
        }
        if (writable) {
            cls.def_readwrite(f.name, f.member, f.doc);
        } else {
            cls.def_readonly(f.name, f.member, f.doc);
        }
    });
    pickle_by_state<orvanalysis::field_count<Record>>(cls, &state_of<Record>, &from_state<Record>);
}

// "<Name field=value, ...>" with each value's Python repr.
template <class Record>
std::string fields_repr(const char* name, const Record& record) {
    std::string text = std::string("<") + name;
    const char* separator = " ";
    orvanalysis::for_each_field<Record>([&](const auto& f) {
        text += separator + std::string(f.name) + "=" +
                pybind11::repr(pybind11::cast(record.*(f.member), pybind11::return_value_policy::copy))
                    .template cast<std::string>();
        separator = ", ";
    });
    return text + ">";
}

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
