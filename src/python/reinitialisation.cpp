// A second __init__ or __setstate__ on an object that already holds a value raises TypeError:
// pybind11 would return None and leave the object as it was, so that a caller believes it
// changed.
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <list>
#include <string>

namespace py = pybind11;

namespace orvpy {

namespace {

bool holds_value(PyObject* self) {
    if (py::detail::get_type_info(Py_TYPE(self)) == nullptr) {
        return false;
    }
    auto* instance = reinterpret_cast<py::detail::instance*>(self);
    for (const auto& value_and_holder : py::detail::values_and_holders(instance)) {
        if (value_and_holder.holder_constructed() || value_and_holder.instance_registered()) {
            return true;
        }
    }
    return false;
}

// self is the wrapped method; args begin with the instance.
PyObject* guarded_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    if (PyTuple_GET_SIZE(args) > 0 && holds_value(PyTuple_GET_ITEM(args, 0))) {
        PyErr_Format(PyExc_TypeError, "%s object is already initialised: make a new one instead",
                     Py_TYPE(PyTuple_GET_ITEM(args, 0))->tp_name);
        return nullptr;
    }
    return PyObject_Call(self, args, kwargs);
}

// A method that checks before calling original, with its name and docstring. The method
// definition lives as long as the module: the function object refers to it.
py::object guarded(const char* name, const py::object& original) {
    static std::list<std::string> docs;  // a list: its strings never move
    // The original's own text, its signature line for inspect included.
    const char* doc = reinterpret_cast<PyCFunctionObject*>(original.ptr())->m_ml->ml_doc;
    docs.emplace_back(doc != nullptr ? doc : "");
    auto* definition = new PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded_call)),
                                       METH_VARARGS | METH_KEYWORDS, docs.back().c_str()};
    const py::object function =
        py::reinterpret_steal<py::object>(PyCFunction_NewEx(definition, original.ptr(), nullptr));
    if (!function) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
}

void guard_classes(const py::module_& m) {
    for (const auto& item : m.attr("__dict__").cast<py::dict>()) {
        const py::handle value = item.second;
        if (PyModule_Check(value.ptr())) {
            guard_classes(py::reinterpret_borrow<py::module_>(value));
            continue;
        }
        if (!PyType_Check(value.ptr()) ||
            py::detail::get_type_info(reinterpret_cast<PyTypeObject*>(value.ptr())) == nullptr) {
            continue;
        }
        const py::dict own = value.attr("__dict__").cast<py::dict>();
        for (const char* name : {"__init__", "__setstate__"}) {
            if (!own.contains(name)) {
                continue;
            }
            // pybind11 keeps its methods as instance methods over functions; a class reached
            // twice is guarded once.
            const py::object method = own[name];
            const py::object function = py::hasattr(method, "__func__") ? method.attr("__func__") : method;
            // Only pybind11's own functions ignore a second call; a slot wrapper (the constructor
            // of a class made by the reader alone) refuses every call already.
            if (!PyCFunction_Check(function.ptr()) ||
                PyCFunction_GET_FUNCTION(function.ptr()) ==
                    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded_call))) {
                continue;
            }
            value.attr(name) = guarded(name, function);
        }
    }
}

}  // namespace

void refuse_reinitialisation(py::module_& m) { guard_classes(m); }

}  // namespace orvpy
