// Signatures that inspect can read for every method of every class of the module. pybind11 states
// a method's signature only as the first line of its docstring, which inspect.signature cannot
// parse; CPython reads a builtin's signature from a first docstring line of the form
// "name(params)\n--\n\n". Each method's docstring gets that line in front, built from pybind11's
// own: parameter names and defaults (annotations stay in the docstring, which the stubs type).
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace orvpy {

namespace {

// The comma-separated parts of text, brackets and quotes kept together.
std::vector<std::string> split_parameters(const std::string& text) {
    std::vector<std::string> parts;
    int depth = 0;
    char quote = 0;
    std::string part;
    for (const char c : text) {
        if (quote != 0) {
            quote = c == quote ? '\0' : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(' || c == '[' || c == '{' || c == '<') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}' || c == '>') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts.push_back(part);
            part.clear();
            continue;
        }
        part += c;
    }
    if (part.find_first_not_of(' ') != std::string::npos) {
        parts.push_back(part);
    }
    return parts;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A default inspect can rebuild from text: a number, a quoted string, None, True or False.
bool is_literal(const std::string& text) {
    if (text == "None" || text == "True" || text == "False") {
        return true;
    }
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front()) {
        return true;
    }
    char* end = nullptr;
    (void)std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

// The text signature of a method from pybind11's first docstring line, or nothing when that line
// is not one signature (an overloaded method) or has a default inspect could not rebuild.
std::optional<std::string> text_signature(const std::string& name, const std::string& doc, bool method) {
    const std::string first = doc.substr(0, doc.find('\n'));
    const std::size_t close = first.rfind(") -> ");
    if (first.compare(0, name.size() + 1, name + "(") != 0 || close == std::string::npos ||
        doc.find("Overloaded function.") != std::string::npos) {
        return std::nullopt;
    }
    // (text, passed by position only): pybind11 names the parameters it was given no name for
    // arg0, arg1, ..., and those can only be passed by position.
    std::vector<std::pair<std::string, bool>> entries;
    for (const std::string& raw : split_parameters(first.substr(name.size() + 1, close - name.size() - 1))) {
        const std::string part = trimmed(raw);
        const std::size_t equals = part.find(" = ");
        const std::string declared = part.substr(0, equals);
        const std::string parameter = trimmed(declared.substr(0, declared.find(':')));
        if (parameter.empty() || parameter[0] == '*') {
            return std::nullopt;
        }
        const bool unnamed = parameter.size() > 3 && parameter.compare(0, 3, "arg") == 0 &&
                             std::isdigit(static_cast<unsigned char>(parameter[3])) != 0;
        // The instance is written plain, not as "$self": pybind11's functions have a __self__ (their
        // record), so inspect would drop a "$self" from every method and then drop the next
        // parameter of a bound one too.
        std::string entry = parameter;
        if (equals != std::string::npos) {
            const std::string value = trimmed(part.substr(equals + 3));
            if (!is_literal(value)) {
                return std::nullopt;
            }
            entry += "=" + value;
        }
        entries.emplace_back(entry, unnamed || (entries.empty() && method));
    }
    std::size_t positional = 0;  // how many lead the list passed by position only
    while (positional < entries.size() && entries[positional].second) {
        ++positional;
    }
    for (std::size_t i = positional; i < entries.size(); ++i) {
        if (entries[i].second) {
            return std::nullopt;  // a parameter without a name after one with a name
        }
    }
    std::string signature;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        signature += (i == 0 ? "" : ", ") + entries[i].first;
        // Only the instance leading: nothing to mark. Unnamed ones: they end at "/".
        if (i + 1 == positional && (positional > 1 || !method)) {
            signature += ", /";
        }
    }
    return signature;
}

// Puts "name(signature)\n--\n\n" in front of the docstring of a function pybind11 made.
void add_signature(PyObject* function, bool method) {
    auto* cfunction = reinterpret_cast<PyCFunctionObject*>(function);
    PyMethodDef* definition = cfunction->m_ml;
    const std::string name = definition->ml_name;
    const std::string doc = definition->ml_doc != nullptr ? definition->ml_doc : "";
    if (doc.find("\n--\n\n") != std::string::npos) {
        return;  // a function reached twice
    }
    const std::string fallback = method ? "self, /, *args, **kwargs" : "*args, **kwargs";
    const std::string text = name + "(" + text_signature(name, doc, method).value_or(fallback) + ")\n--\n\n" + doc;
    // pybind11 allocated the old text with malloc and frees whatever the definition holds when
    // the function goes: the new text is allocated the same way.
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    std::free(const_cast<char*>(definition->ml_doc));
    definition->ml_doc = copy;
}

// A class without a constructor of its own (one the reader alone makes) gets its signature in the
// text its type keeps for inspect; its __doc__ was taken from that text before, without it.
void sign_class_without_constructor(PyTypeObject* type) {
    const char* doc = type->tp_doc != nullptr ? type->tp_doc : "";
    const char* dot = std::strrchr(type->tp_name, '.');
    const std::string name = dot != nullptr ? dot + 1 : type->tp_name;
    if (std::strstr(doc, "\n--\n\n") != nullptr) {
        return;
    }
    const std::string text = name + "(*args, **kwargs)\n--\n\n" + doc;
    // The type frees its text with PyObject_Free, as pybind11 allocated it.
    auto* copy = static_cast<char*>(PyObject_Malloc(text.size() + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    PyObject_Free(const_cast<char*>(type->tp_doc));
    type->tp_doc = copy;
}

void sign_classes(const py::module_& m) {
    for (const auto& item : m.attr("__dict__").cast<py::dict>()) {
        const py::handle value = item.second;
        if (PyModule_Check(value.ptr())) {
            sign_classes(py::reinterpret_borrow<py::module_>(value));
            continue;
        }
        if (!PyType_Check(value.ptr()) ||
            py::detail::get_type_info(reinterpret_cast<PyTypeObject*>(value.ptr())) == nullptr) {
            continue;
        }
        const py::dict own = value.attr("__dict__").cast<py::dict>();
        if (!own.contains("__init__") || PyObject_TypeCheck(own["__init__"].ptr(), &PyInstanceMethod_Type) == 0) {
            sign_class_without_constructor(reinterpret_cast<PyTypeObject*>(value.ptr()));
        }
        for (const auto& member : own) {
            const py::handle attribute = member.second;
            const bool is_static = PyObject_TypeCheck(attribute.ptr(), &PyStaticMethod_Type) != 0;
            if (!is_static && PyObject_TypeCheck(attribute.ptr(), &PyInstanceMethod_Type) == 0) {
                continue;
            }
            const py::object function = attribute.attr("__func__");
            if (PyCFunction_Check(function.ptr())) {
                add_signature(function.ptr(), !is_static);
            }
        }
    }
}

}  // namespace

void add_method_signatures(py::module_& m) { sign_classes(m); }

}  // namespace orvpy
