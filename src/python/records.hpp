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
#include <typeinfo>
#include <vector>

namespace orvpy {

// A field's line as a docstring sentence: ending in a period.
inline std::string sentence(const std::string& text) { return text.empty() || text.back() == '.' ? text : text + "."; }

template <class T>
struct is_vector : std::false_type {};

template <class T, class Allocator>
struct is_vector<std::vector<T, Allocator>> : std::true_type {};

// The Python type a member arrives as, named as a numpy docstring names it; a record type is
// named by its Python class, which must be registered before.
template <class T>
std::string python_type_name() {
    if constexpr (std::is_same_v<T, bool>) {
        return "bool";
    } else if constexpr (std::is_integral_v<T>) {
        return "int";
    } else if constexpr (std::is_floating_point_v<T>) {
        return "float";
    } else if constexpr (std::is_same_v<T, std::string>) {
        return "str";
    } else if constexpr (is_vector<T>::value) {
        return "list of " + python_type_name<typename T::value_type>();
    } else {
        const auto* info = pybind11::detail::get_type_info(typeid(T));
        return info == nullptr ? "object"
                               : pybind11::handle(reinterpret_cast<PyObject*>(info->type))
                                     .attr("__name__")
                                     .template cast<std::string>();
    }
}

// A record's class docstring in numpy's style: the summary (and description) given, then an
// Attributes section made from the record's field table.
template <class Record>
std::string record_doc(const std::string& summary) {
    std::string doc = summary + "\n\nAttributes\n----------\n";
    orvanalysis::for_each_field<Record>([&](const auto& f) {
        using Member = typename std::decay_t<decltype(f)>::member_type;
        doc += std::string(f.name) + " : " + python_type_name<Member>() + "\n    " + sentence(f.doc) + "\n";
    });
    return wrapped(doc);
}

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
            cls.def_readwrite(f.name, f.member, sentence(f.doc).c_str());
        } else {
            cls.def_readonly(f.name, f.member, sentence(f.doc).c_str());
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
    const char* doc;  // what it holds, a sentence
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
    const std::string repr_doc = "Return <" + std::string(tag) + " " + fields_doc + ">.";
    const std::string str_doc = "Return " + fields_doc + ".";
    std::string class_doc = std::string(doc) + "\n\nAttributes\n----------\n";
    ((class_doc += std::string(fields.name) + " : float\n    " + fields.doc + "\n"), ...);
    std::string init_doc = "Make a record from its fields' values.\n\nParameters\n----------\n";
    ((init_doc += std::string(fields.name) + " : float\n    " + fields.doc + "\n"), ...);

    py::class_<T> cls(scope, name, wrapped(class_doc).c_str());
    cls.def(py::init<>(), "Make a record with all fields 0.");
    cls.def(py::init([](decltype((void)fields, double())... values) { return T{values...}; }), py::arg(fields.name)...,
            init_doc.c_str());
    (cls.def_readwrite(fields.name, fields.member, fields.doc), ...);
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
