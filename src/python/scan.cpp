// Python face of the Scan: the Interpolation enumeration, the Scan class and its iterators.
#include "core/scan.hpp"
#include "core/scan_arithmetic.hpp"
#include "python/double_array.hpp"
#include "python/float64_array.hpp"
#include "python/registration.hpp"
#include "python/scan_repr.hpp"

#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

// An argument of the vectorised calls: an array-like (an object with the buffer protocol, such
// as a numpy array, or a list or tuple), or any other number.
struct ArrayArgument {
    py::object object;
    bool array = false;
    double number = 0;
};

}  // namespace orvpy

namespace pybind11::detail {

template <>
struct type_caster<orvpy::ArrayArgument> {
    PYBIND11_TYPE_CASTER(orvpy::ArrayArgument, const_name("numpy.typing.ArrayLike"));

    bool load(handle src, bool /*convert*/) {
        value.object = reinterpret_borrow<object>(src);
        value.array = PyObject_CheckBuffer(src.ptr()) || PyList_Check(src.ptr()) || PyTuple_Check(src.ptr());
        if (!value.array) {
            value.number = PyFloat_AsDouble(src.ptr());
            if (value.number == -1.0 && PyErr_Occurred()) {
                PyErr_Clear();
                return false;
            }
        }
        return true;
    }
};

}  // namespace pybind11::detail

namespace orvpy {

namespace {

using orvanalysis::binary_operation;
using orvanalysis::Scan;
using orvanalysis::spline::Type;

// Iterators walk a copy of the points taken when iteration starts, so re-keying, cropping
// or reassigning the scan meanwhile cannot pull memory from under them.
struct WavelengthIterator {
    std::vector<double> wavelengths;
    std::size_t next = 0;
};

struct ItemIterator {
    std::vector<double> wavelengths;
    std::vector<double> values;
    std::size_t next = 0;
};

std::ostringstream classic_stream() {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    return os;
}

std::string scan_str(const Scan& s) {
    std::ostringstream os = classic_stream();
    os << s;
    return os.str();
}

double stored_value(const Scan& s, double wavelength) {
    const auto it = s.find(wavelength);
    if (it == s.end()) {
        std::ostringstream os = classic_stream();
        os.setf(std::ios::fixed, std::ios::floatfield);
        os.precision(6);
        os << "key '" << wavelength << "' does not exist";
        throw py::key_error(os.str());
    }
    return it->second;
}

py::object to_numpy(const Scan& s) {
    const std::size_t n = s.size();
    return float64_array(py::make_tuple(2, n), [&](double* data) {
        if (n != 0) {
            std::memcpy(data, s.wavelengths().data(), n * sizeof(double));
            std::memcpy(data + n, s.values().data(), n * sizeof(double));
        }
    });
}

// s(x) for every element of x, in an array of x's shape; a float for a number or a 0-d array.
py::object evaluate(const Scan& s, const ArrayArgument& x) {
    if (!x.array) {
        return py::float_(s(x.number));
    }
    const Float64Input in(x.object);
    if (in.ndim() == 0) {
        return py::float_(s(in.data()[0]));
    }
    return float64_array(in.shape(), [&](double* out) {
        const double* w = in.data();
        for (std::size_t i = 0, n = in.size(); i < n; ++i) {
            out[i] = s(w[i]);
        }
    });
}

// The integral over [lo, hi] for every pair of the broadcast arrays, in an array of their shape.
py::object integrate(const Scan& s, const ArrayArgument& lo, const ArrayArgument& hi) {
    if (!lo.array && !hi.array) {
        return py::float_(s.integral(lo.number, hi.number));
    }
    const py::tuple both = py::module_::import("numpy").attr("broadcast_arrays")(lo.object, hi.object);
    const Float64Input from(both[0]);
    const Float64Input to(both[1]);
    if (from.ndim() == 0) {
        return py::float_(s.integral(from.data()[0], to.data()[0]));
    }
    return float64_array(from.shape(), [&](double* out) {
        for (std::size_t i = 0, n = from.size(); i < n; ++i) {
            out[i] = s.integral(from.data()[i], to.data()[i]);
        }
    });
}

// The in-place operators change the scan they are called on and give Python a copy of it,
// to which the left-hand name is rebound; other references keep seeing the changed scan.
template <class Operand, Scan& (*Op)(Scan&, Operand)>
Scan in_place(Scan& self, Operand other) {
    return Op(self, other);
}

// What every in-place operator's docstring says: numpy users expect an alias to follow.
constexpr const char* scan_operator_doc = R"doc(Combine two scans point by point into a new scan.

The result's wavelengths (nm) are the keys of each scan inside the other's range where either is
interpolated (a key of this scan dropped when one of the other's is the same within the smaller
epsilon), or the keys the two share when neither is (kind NONE). Each scan is evaluated at those
wavelengths; the result takes the smaller epsilon and the interpolated scan's kind.

Parameters
----------
other : Scan
    The other operand.

Returns
-------
Scan
    A new scan.
)doc";

constexpr const char* number_operator_doc = R"doc(Combine every value of the scan with a number into a new scan.

The reflected forms (``2 * s``, ``1 / s``, ``1 - s``, ``2 ** s``) put the number first.

Parameters
----------
other : float
    The number.

Returns
-------
Scan
    A new scan with this scan's wavelengths (nm), epsilon and kind.
)doc";

constexpr const char* in_place_doc = R"doc(Change this scan in place and return a new scan equal to it.

``b += x`` changes the scan ``b`` named (any other name for it sees the change)
and then rebinds ``b`` to a new scan equal to it: after ``b = a; b += 1``,
``a`` holds the new values and ``b is a`` is False, unlike a numpy array.

Parameters
----------
other : Scan or float
    A scan, evaluated at this scan's wavelengths (nm), or a number.

Returns
-------
Scan
    A new scan equal to the changed one.

Raises
------
RuntimeError
    When the other scan cannot be evaluated; this scan is then unchanged.
)doc";

double power(const double& a, const double& b) { return std::pow(a, b); }

// The type's call slot as registered: pybind11's dispatch over the __call__ overloads.
ternaryfunc registered_call = nullptr;

// s(w) with one float is the innermost operation of users' loops, so the call slot answers it
// directly; every other call (keywords, two bounds, other argument types, a failing
// evaluation) goes to the registered overloads, which convert and translate as usual.
PyObject* call_slot(PyObject* self, PyObject* args, PyObject* kwargs) {
    if (kwargs == nullptr && PyTuple_GET_SIZE(args) == 1 && PyFloat_Check(PyTuple_GET_ITEM(args, 0))) {
        try {
            py::detail::make_caster<Scan> scan;
            if (scan.load(self, false)) {
                const Scan& s = py::detail::cast_op<const Scan&>(scan);
                return PyFloat_FromDouble(s(PyFloat_AS_DOUBLE(PyTuple_GET_ITEM(args, 0))));
            }
        } catch (const std::exception&) {
            // Done again below, where the error reaches Python translated.
        }
    }
    return registered_call(self, args, kwargs);
}

constexpr const char* scan_doc = R"doc(A tool to manipulate spectral data made of (wavelength, value) pairs.

A Scan holds its points in ascending wavelength order (nm, or any other key
such as a motor micro-step) and evaluates and integrates them between points
through a spline. Two wavelengths closer than the scan's epsilon are one key.

Attributes
----------
interpolation : Interpolation
    The interpolation kind used to evaluate and integrate between points.
epsilon : float
    The wavelength epsilon (nm).
x : Scan
    Scan(self.wavelengths(), self.wavelengths()).
integral : float
    The integral of the Scan over the entire wavelength domain.
Default_Wavelength_Epsilon : float
    The epsilon a Scan has unless told otherwise, 1e-20 (nm).

Examples
--------
>>> s = Scan()
>>> s[400] = 1.0
>>> s[400]
1.0
>>> s = Scan([400, 405, 410, 415, 420], [1.0, 2.0, 3.0, 2.0, 1.0])  # lists or numpy arrays
>>> s(402.5)       # interpolated value (Akima by default)
1.5
>>> s(430)         # no extrapolation: 0.0 outside the data
0.0
>>> s(400, 420)    # integral over [400, 420] nm
40.0
>>> (s * s + 1.0).values()
[2.0, 5.0, 10.0, 5.0, 2.0]
>>> t = utils.log(s) / s.integral  # element-wise functions are in the utils submodule
>>> s
Scan(400→420[5])
>>> s.to_numpy()   # row 0 the wavelengths, row 1 the values
array([[400., 405., 410., 415., 420.],
       [  1.,   2.,   3.,   2.,   1.]])
)doc";

}  // namespace

std::string scan_repr(const Scan& s) {
    std::ostringstream os = classic_stream();
    os << "Scan(";
    if (s.empty()) {
        os << "empty";
    } else {
        os << s.min_wavelength() << "\u2192" << s.max_wavelength() << "[" << s.size() << "]";
    }
    if (s.epsilon() != Scan::Default_Wavelength_Epsilon) {
        os << ", epsilon=" << s.epsilon();
    }
    if (s.interpolation() != Scan::Default_Interpolation) {
        os << ", interpolation=" << orvanalysis::spline::to_string(s.interpolation());
    }
    os << ")";
    return os.str();
}

// An Interpolation from its integer value, or ValueError: no other value may exist.
Type interpolation_from(int value) {
    if (value < static_cast<int>(Type::NONE) || value > static_cast<int>(Type::STEFFEN)) {
        throw py::value_error(std::to_string(value) + " is not a valid Interpolation");
    }
    return static_cast<Type>(value);
}

void add_scan_class(py::module_& m) {
    py::enum_<Type> interpolation(
        m, "Interpolation", "The interpolation kind of a Scan: how it evaluates and integrates between its points.");
    interpolation.value(orvanalysis::spline::to_string(Type::NONE).c_str(), Type::NONE)
        .value(orvanalysis::spline::to_string(Type::AKIMA).c_str(), Type::AKIMA)
        .value(orvanalysis::spline::to_string(Type::CUBIC).c_str(), Type::CUBIC)
        .value(orvanalysis::spline::to_string(Type::LINEAR).c_str(), Type::LINEAR)
        .value(orvanalysis::spline::to_string(Type::POLYNOMIAL).c_str(), Type::POLYNOMIAL)
        .value(orvanalysis::spline::to_string(Type::STEFFEN).c_str(), Type::STEFFEN)
        .export_values()
        // Ahead of the enumeration's own conversion, which takes any integer.
        .def(py::init(&interpolation_from), "value"_a, py::prepend())
        // Pickled by value, for every protocol (the default reduction of protocols 0 and 1
        // cannot make an instance of a pybind11 class).
        .def("__reduce__", [](const py::object& self) {
            return py::make_tuple(py::type::of(self), py::make_tuple(static_cast<int>(self.cast<Type>())));
        });
    // The enumeration's own __setstate__ takes any integer too.
    interpolation.attr("__setstate__") = py::cpp_function(
        [](py::detail::value_and_holder& v_h, int state) {
            py::detail::initimpl::setstate<py::class_<Type>>(v_h, interpolation_from(state),
                                                             Py_TYPE(v_h.inst) != v_h.type->type);
        },
        py::detail::is_new_style_constructor(), py::name("__setstate__"), py::is_method(interpolation), "state"_a);

    py::class_<Scan> scan(m, "Scan", scan_doc);

    py::class_<WavelengthIterator>(scan, "_WavelengthIterator", py::module_local())
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](WavelengthIterator& it) {
            if (it.next >= it.wavelengths.size()) {
                throw py::stop_iteration();
            }
            return it.wavelengths[it.next++];
        });
    py::class_<ItemIterator>(scan, "_ItemIterator", py::module_local())
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](ItemIterator& it) {
            if (it.next >= it.wavelengths.size()) {
                throw py::stop_iteration();
            }
            const std::size_t i = it.next++;
            return py::make_tuple(it.wavelengths[i], it.values[i]);
        });

    scan.def(py::init<double, Type>(), "epsilon"_a = Scan::Default_Wavelength_Epsilon,
             "interpolation"_a = Scan::Default_Interpolation,
             R"doc(Initialise an empty Scan storing epsilon and interpolation.

Parameters
----------
epsilon : float
    The wavelength epsilon (nm), by default Scan.Default_Wavelength_Epsilon (1e-20): two
    wavelengths a and b are the same key unless a + epsilon < b or b + epsilon < a.
interpolation : Interpolation
    The interpolation kind, by default Akima.

Raises
------
ValueError
    For a negative or NaN epsilon.
)doc")
        .def(py::init([](DoubleArray wavelength_array, DoubleArray value_array, double epsilon, Type interpolation) {
                 if (wavelength_array.is_buffer() && value_array.is_buffer() &&
                     wavelength_array.size() == value_array.size()) {
                     return Scan::copied(wavelength_array.size(), wavelength_array, value_array, epsilon,
                                         interpolation);
                 }
                 return Scan(std::move(wavelength_array).take(), std::move(value_array).take(), epsilon, interpolation);
             }),
             "wavelength_array"_a, "value_array"_a, "epsilon"_a = Scan::Default_Wavelength_Epsilon,
             "interpolation"_a = Scan::Default_Interpolation,
             R"doc(Initialise a Scan from a list of wavelengths and a list of values.

A later wavelength equal to an earlier one within epsilon replaces its value.

Parameters
----------
wavelength_array : array_like
    The wavelengths (nm): a list, a sequence or a numpy array.
value_array : array_like
    The values, as many as the wavelengths: a list, a sequence or a numpy array.
epsilon : float
    The wavelength epsilon (nm), by default Scan.Default_Wavelength_Epsilon (1e-20).
interpolation : Interpolation
    The interpolation kind, by default Akima.

Raises
------
RuntimeError
    When the two arrays differ in length.
ValueError
    For a NaN wavelength, or a negative or NaN epsilon.
)doc")
        .def_property("interpolation", &Scan::interpolation, &Scan::set_interpolation,
                      "The interpolation kind used to evaluate and integrate between points.")
        .def_property("epsilon", &Scan::epsilon, &Scan::set_epsilon,
                      "The wavelength epsilon (nm).\n\n"
                      "Setting it re-keys the scan: of wavelengths closer than the new epsilon the lowest is\n"
                      "kept. A negative or NaN epsilon raises ValueError.")
        .def_property_readonly(
            "x",
            [](const Scan& s) { return orvanalysis::transform(s, [](const double& k, const double&) { return k; }); },
            "Scan(self.wavelengths(), self.wavelengths()): each wavelength as its own value.")
        .def_property_readonly(
            "integral", [](const Scan& s) { return s.integral(); },
            "The integral of the Scan over the entire wavelength domain.\n\n"
            "It is 0 for fewer than two points; reading it raises RuntimeError when the scan's\n"
            "interpolation cannot be built.")
        // Registered as operators: an operand no overload takes gives NotImplemented.
        .def("__imul__", &in_place < const Scan&, orvanalysis::operator*=>, py::is_operator(), in_place_doc)
        .def("__imul__", &in_place < double, orvanalysis::operator*=>, py::is_operator())
        .def("__itruediv__", &in_place < const Scan&, orvanalysis::operator/=>, py::is_operator(), in_place_doc)
        .def("__itruediv__", &in_place < double, orvanalysis::operator/=>, py::is_operator())
        .def("__iadd__", &in_place < const Scan&, orvanalysis::operator+=>, py::is_operator(), in_place_doc)
        .def("__iadd__", &in_place < double, orvanalysis::operator+=>, py::is_operator())
        .def("__isub__", &in_place < const Scan&, orvanalysis::operator-=>, py::is_operator(), in_place_doc)
        .def("__isub__", &in_place < double, orvanalysis::operator-=>, py::is_operator())
        .def(py::self + py::self, scan_operator_doc)
        .def(py::self + double(), number_operator_doc)
        .def(py::self - py::self, scan_operator_doc)
        .def(py::self - double(), number_operator_doc)
        .def(py::self / py::self, scan_operator_doc)
        .def(py::self / double(), number_operator_doc)
        .def(py::self * py::self, scan_operator_doc)
        .def(py::self * double(), number_operator_doc)
        // Ordinary methods: an operand no overload takes raises TypeError.
        .def(
            "__rmul__", [](const Scan& s, double x) { return x * s; }, number_operator_doc)
        .def(
            "__rtruediv__", [](const Scan& s, double x) { return x / s; }, number_operator_doc)
        .def(
            "__radd__", [](const Scan& s, double x) { return x + s; }, number_operator_doc)
        .def(
            "__rsub__", [](const Scan& s, double x) { return x - s; }, number_operator_doc)
        .def(
            "__neg__", [](const Scan& s) { return -s; },
            R"doc(Return -s: every value negated; the wavelengths (nm), epsilon and kind kept.)doc")
        .def(
            "__pow__", [](const Scan& s, double x) { return binary_operation(s, x, power); }, number_operator_doc)
        .def(
            "__pow__", [](const Scan& a, const Scan& b) { return binary_operation(a, b, power); }, scan_operator_doc)
        .def(
            "__rpow__", [](const Scan& s, double x) { return binary_operation(x, s, power); }, number_operator_doc)
        .def(py::self == py::self,
             R"doc(Return s == other: the same epsilon, and point for point keys within it and equal values.

The interpolation kind is not compared.
)doc")
        .def("to_lists", &Scan::to_lists,
             R"doc(Convert the Scan to a pair of lists: [wavelengths, values], in ascending wavelength order.

Returns
-------
list of list of float
    [wavelengths, values].
)doc")
        .def(
            "wavelengths", [](const Scan& s) { return s.wavelengths(); },
            R"doc(Return the wavelengths (nm) of the Scan in ascending order.

Returns
-------
list of float
    The wavelengths (nm).
)doc")
        .def(
            "values", [](const Scan& s) { return s.values(); },
            R"doc(Return the values of the Scan in ascending wavelength order.

Returns
-------
list of float
    The values.
)doc")
        .def("to_numpy", &to_numpy,
             R"doc(Convert the Scan to a 2-D numpy array of float64 with shape (2, n).

Returns
-------
numpy.ndarray
    Index 0 holds the wavelengths and index 1 the values. The array is a copy.
)doc")
        .def("__str__", &scan_str)
        .def("__repr__", &scan_repr)
        .def("is_interpolated", &Scan::is_interpolated,
             R"doc(Tell whether the Scan uses interpolation, that is an interpolation kind other than NONE.

Returns
-------
bool
    True for a kind other than NONE.
)doc")
        .def("min_wavelength", &Scan::min_wavelength,
             R"doc(Return the minimum wavelength (nm) of the Scan.

Returns
-------
float
    The first wavelength (nm).

Raises
------
RuntimeError
    On an empty Scan.
)doc")
        .def("max_wavelength", &Scan::max_wavelength,
             R"doc(Return the maximum wavelength (nm) of the Scan.

Returns
-------
float
    The last wavelength (nm).

Raises
------
RuntimeError
    On an empty Scan.
)doc")
        .def(
            "__call__", [](const Scan& s, double wavelength) { return s(wavelength); }, "wavelength"_a,
            R"doc(Return the value at a wavelength: indirect access to the data allowing interpolation.

The stored value at a stored wavelength, the interpolated value between points. It does not
extrapolate: out of bounds it returns zero.

Parameters
----------
wavelength : float
    The wavelength (nm).

Returns
-------
float
    The value there.

Raises
------
RuntimeError
    When a value between points is needed and the scan's interpolation cannot be built: kind
    NONE, or too few points for its kind.
)doc")
        .def(
            "__call__",
            [](const Scan& s, double wavelength_from, double wavelength_to) {
                return s.integral(wavelength_from, wavelength_to);
            },
            "wavelength_from"_a, "wavelength_to"_a,
            R"doc(Return the numerical integral of the interpolated function over [wavelength_from, wavelength_to].

The interval is clipped to the data; the bounds may come in either order.

Parameters
----------
wavelength_from, wavelength_to : float
    The bounds (nm).

Returns
-------
float
    The integral.

Raises
------
RuntimeError
    When a value between points is needed and the scan's interpolation cannot be built: kind
    NONE, or too few points for its kind.
)doc")
        // After the float forms, which keep their speed: arrays (of any shape and real dtype) and
        // lists give float64 arrays of their (broadcast) shape, element for element as the float
        // forms give them; other numbers give floats.
        .def("__call__", &evaluate, "wavelength"_a,
             R"doc(Return the values at every element of an array-like of wavelengths.

Parameters
----------
wavelength : array_like
    The wavelengths (nm): an array of any shape and real dtype, a list or a tuple.

Returns
-------
numpy.ndarray
    The values, as a float64 array of its shape.

Raises
------
RuntimeError
    When a value between points is needed and the scan's interpolation cannot be built: kind
    NONE, or too few points for its kind.
)doc")
        .def("__call__", &integrate, "wavelength_from"_a, "wavelength_to"_a,
             R"doc(Return the integrals over the intervals of two array-likes of bounds.

Parameters
----------
wavelength_from, wavelength_to : array_like
    The bounds (nm), broadcast together.

Returns
-------
numpy.ndarray
    The integrals, as a float64 array of the broadcast shape.

Raises
------
RuntimeError
    When a value between points is needed and the scan's interpolation cannot be built: kind
    NONE, or too few points for its kind.
)doc")
        .def("__len__", &Scan::size, "Return the number of points.")
        .def(
            "__array__",
            [](const Scan& s, const py::object& dtype, const py::object& copy) {
                // Always a new array: numpy 2 asks for an error when copy=False forbids one.
                if (!copy.is_none() && !copy.cast<bool>()) {
                    throw py::value_error("a Scan's values are always copied into a new array");
                }
                const py::object array = to_numpy(s);
                return dtype.is_none() ? array : array.attr("astype")(dtype, "copy"_a = false);
            },
            "dtype"_a = py::none(), "copy"_a = py::none(),
            R"doc(Return the Scan as a numpy array: numpy.asarray(scan) gives scan.to_numpy().

Parameters
----------
dtype : data-type, optional
    The array's dtype; by default float64.
copy : bool, optional
    Always a new array; False, which forbids one, is refused.

Returns
-------
numpy.ndarray
    Shape (2, n): index 0 holds the wavelengths and index 1 the values.

Raises
------
ValueError
    For copy=False.
)doc")
        .def("add", &Scan::add, "wavelength"_a, "value"_a, R"doc(Add a wavelength, value point to the scan.

Parameters
----------
wavelength : float
    The wavelength (nm).
value : float
    The value.

Raises
------
ValueError
    For a NaN wavelength.
)doc")
        .def("__getitem__", &stored_value, R"doc(Return s[wavelength]: the value stored at a wavelength (nm).

The wavelength matches a stored key within the scan's epsilon; nothing is interpolated (``s(w)``
interpolates).

Raises
------
KeyError
    When no point lies within epsilon of the wavelength.
)doc")
        .def("__setitem__", &Scan::add, R"doc(Set s[wavelength] = value: store a point, as ``add`` does.

A wavelength within epsilon of a stored key replaces that point's value.

Raises
------
ValueError
    For a NaN wavelength.
)doc")
        .def(
            "__iter__",
            [](const Scan& s) {
                return WavelengthIterator{s.wavelengths(), 0};
            },
            py::keep_alive<0, 1>(),
            R"doc(Return an iterator over the wavelengths (nm) in ascending order, as a dict iterates its keys.

The iterator walks a copy of the keys taken when it is made.
)doc")
        .def(
            "items",
            [](const Scan& s) {
                return ItemIterator{s.wavelengths(), s.values(), 0};
            },
            py::keep_alive<0, 1>(),
            R"doc(Return an iterator over the (wavelength, value) pairs in ascending wavelength order.

The iterator walks a copy of the points taken when it is made.

Returns
-------
iterator of (float, float)
    The (wavelength, value) pairs.
)doc");

    scan.attr("Default_Wavelength_Epsilon") = Scan::Default_Wavelength_Epsilon;
    // numpy's operators give way to the Scan's, which refuse arrays: no object arrays of scans.
    scan.attr("__array_ufunc__") = py::none();
    pickle_by_state<4>(
        scan, [](const Scan& s) { return py::make_tuple(s.wavelengths(), s.values(), s.epsilon(), s.interpolation()); },
        [](const py::tuple& state) {
            return Scan(state[0].cast<std::vector<double>>(), state[1].cast<std::vector<double>>(),
                        state[2].cast<double>(), state[3].cast<Type>());
        });
    refuse_uninitialised<Type>();
    refuse_uninitialised<Scan>();
    refuse_uninitialised<WavelengthIterator>();
    refuse_uninitialised<ItemIterator>();
}

void install_scan_call_slot(py::module_& m) {
    auto* type = reinterpret_cast<PyTypeObject*>(m.attr("Scan").ptr());
    registered_call = type->tp_call;
    type->tp_call = &call_slot;
}

}  // namespace orvpy
