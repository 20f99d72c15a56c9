// The Scan's methods for everyday work in a notebook: new grids, a policy outside the data,
// normalisation, absolute values, cropping by slicing and pandas Series both ways.
#include "core/resample.hpp"
#include "core/scan.hpp"
#include "python/double_array.hpp"
#include "python/float64_array.hpp"
#include "python/registration.hpp"
#include "utils/elementwise.hpp"

#include <pybind11/pybind11.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

using orvanalysis::Extrapolation;
using orvanalysis::Scan;

// pandas, or ModuleNotFoundError naming the Debian package that brings it: the module itself
// works without pandas, as on interpreters Debian builds no pandas for.
py::module_ pandas_for(const char* what) {
    try {
        return py::module_::import("pandas");
    } catch (py::error_already_set&) {
        const std::string version = py::module_::import("sys").attr("version").cast<std::string>();
        const std::string message = std::string(what) + " needs pandas, which this Python (" +
                                    version.substr(0, version.find(' ')) +
                                    ") cannot import; on Debian or Ubuntu it comes with the package python3-pandas, "
                                    "for the system python3";
        PyErr_SetString(PyExc_ModuleNotFoundError, message.c_str());
        throw py::error_already_set();
    }
}

py::object values_at(const Scan& s, const py::object& x, const std::string& extrapolation) {
    const Extrapolation policy = orvanalysis::extrapolation_from_string(extrapolation);
    if (PyObject_CheckBuffer(x.ptr()) == 0 && !PyList_Check(x.ptr()) && !PyTuple_Check(x.ptr())) {
        const double w = PyFloat_AsDouble(x.ptr());
        if (w == -1.0 && PyErr_Occurred() != nullptr) {
            throw py::error_already_set();
        }
        return py::float_(orvanalysis::evaluate(s, w, policy));
    }
    const Float64Input in(x);
    if (in.ndim() == 0) {
        return py::float_(orvanalysis::evaluate(s, in.data()[0], policy));
    }
    return float64_array(in.shape(), [&](double* out) {
        const double* w = in.data();
        for (std::size_t i = 0, n = in.size(); i < n; ++i) {
            out[i] = orvanalysis::evaluate(s, w[i], policy);
        }
    });
}

Scan normalised(const Scan& s, const py::object& to) {
    if (py::isinstance<py::str>(to)) {
        const auto name = to.cast<std::string>();
        if (name == "max" || name == "area") {
            return orvanalysis::normalised(
                s, name == "max" ? orvanalysis::Normalisation::Max : orvanalysis::Normalisation::Area);
        }
    } else if (PyNumber_Check(to.ptr()) != 0 && !py::isinstance<py::bool_>(to)) {
        return orvanalysis::normalised(s, orvanalysis::Normalisation::Wavelength, to.cast<double>());
    }
    throw py::value_error("to must be 'max', 'area' or a wavelength (nm), not " + py::repr(to).cast<std::string>());
}

Scan cropped(const Scan& s, const py::slice& range) {
    if (!range.attr("step").is_none()) {
        throw py::value_error(
            "a scan is sliced by wavelength, without a step: s[lo:hi] keeps lo <= wavelength <= hi; "
            "resample(start, stop, step) gives a new grid");
    }
    const auto bound = [](const py::object& value, double open) {
        return value.is_none() ? open : value.cast<double>();
    };
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const double lo = bound(range.attr("start"), -infinity);
    const double hi = bound(range.attr("stop"), infinity);
    if (std::isnan(lo) || std::isnan(hi)) {
        throw py::value_error("a slice of a scan needs wavelengths, not NaN");
    }
    Scan result = s;
    result.crop(lo, hi);
    return result;
}

py::object to_series(const Scan& s, const py::object& name) {
    const py::module_ pandas = pandas_for("Scan.to_series");
    const std::size_t n = s.size();
    const auto copy_of = [n](const std::vector<double>& from) {
        return float64_array(py::make_tuple(n), [&](double* out) {
            if (n != 0) {
                std::memcpy(out, from.data(), n * sizeof(double));
            }
        });
    };
    const py::object index = pandas.attr("Index")(copy_of(s.wavelengths()), "name"_a = "wavelength");
    return pandas.attr("Series")(copy_of(s.values()), "index"_a = index, "name"_a = name);
}

Scan from_series(const py::object& series, double epsilon, const py::object& interpolation) {
    if (!py::hasattr(series, "index") || !py::hasattr(series, "to_numpy")) {
        throw py::type_error("from_series takes a pandas Series, not " +
                             py::str(py::type::of(series).attr("__name__")).cast<std::string>());
    }
    const Float64Input keys(series.attr("index"));
    const Float64Input values(series.attr("to_numpy")());
    if (keys.ndim() != 1 || values.ndim() != 1) {
        throw py::value_error("from_series takes a Series with one index level");
    }
    return Scan(
        std::vector<double>(keys.data(), keys.data() + keys.size()),
        std::vector<double>(values.data(), values.data() + values.size()), epsilon,
        interpolation.is_none() ? Scan::Default_Interpolation : interpolation.cast<orvanalysis::spline::Type>());
}

constexpr const char* extrapolation_doc = R"doc(Evaluate the scan at wavelengths, with a stated policy outside the data.

Parameters
----------
wavelength : float or array_like
    Wavelengths (nm): a number, or an array or list of any shape.
extrapolation : {"zero", "constant", "raise", "nan"}
    Outside the data (beyond the first or last point by more than the
    epsilon; a NaN wavelength too): "zero" gives 0.0, as ``s(x)`` does;
    "constant" holds the value of the nearer end point (NaN for a NaN
    wavelength); "raise" raises ValueError; "nan" gives NaN, as tables
    mark a missing value.

Returns
-------
float or numpy.ndarray
    A float for a number, else a float64 array of the wavelengths' shape.

Raises
------
ValueError
    For another policy, or with "raise" for a wavelength outside the data.
RuntimeError
    When the scan's kind cannot interpolate its points.
)doc";

constexpr const char* resample_doc =
    R"doc(Resample the scan on another grid, keeping its epsilon and interpolation kind.

Parameters
----------
grid : array_like
    The new wavelengths (nm), in any order; or, in place of the grid:
start, stop, step : float
    The grid start, start + step, ... up to stop (nm), stop included when it
    falls on the grid within a millionth of a step.
extrapolation : {"zero", "constant", "raise", "nan"}
    What the new points take outside the data: 0.0 (the default, as ``s(x)``
    gives), the value of the nearer end point, ValueError, or NaN.

Returns
-------
Scan
    The values at the grid's wavelengths, interpolated as ``s(x)`` does.

Raises
------
ValueError
    For a NaN wavelength, a step that is not positive, stop below start, an
    unknown policy, or with "raise" a wavelength outside the data.
RuntimeError
    When the scan's kind cannot interpolate its points.

Examples
--------
>>> s = Scan([400, 405, 410, 415, 420], [1.0, 2.0, 3.0, 2.0, 1.0])
>>> s.resample(400, 420, 10).to_lists()
[[400.0, 410.0, 420.0], [1.0, 3.0, 1.0]]
>>> s.resample([390, 400], extrapolation="constant").values()
[1.0, 1.0]
)doc";

constexpr const char* normalised_doc =
    R"doc(Divide the scan by its largest value, its area or its value at a wavelength.

Parameters
----------
to : {"max", "area"} or float
    "max": the largest stored value; "area": the integral over the data (in
    the value's unit times nm); a number: the interpolated value at that
    wavelength (nm), which must lie within the data.

Returns
-------
Scan
    The same points and kind, each value divided.

Raises
------
ValueError
    For an empty scan, a wavelength outside the data, or a divisor that is 0,
    NaN or infinite.
)doc";

constexpr const char* to_series_doc =
    R"doc(Convert the scan to a pandas Series: the values over an index of the wavelengths.

Parameters
----------
name : hashable, optional
    The Series' name (a column's name in a DataFrame).

Returns
-------
pandas.Series
    float64 values, indexed by a float64 Index named "wavelength" (nm).

Raises
------
ModuleNotFoundError
    Without pandas (Debian: python3-pandas).
)doc";

constexpr const char* from_series_doc = R"doc(Make a scan from a pandas Series of values indexed by wavelength.

Parameters
----------
series : pandas.Series
    Real values over an index of wavelengths (nm), in any order.
epsilon : float
    The wavelength epsilon (nm), by default Scan.Default_Wavelength_Epsilon.
interpolation : Interpolation, optional
    The interpolation kind; Akima by default.

Returns
-------
Scan
    One point per row; of repeated wavelengths the later value wins.

Raises
------
ValueError
    For a NaN wavelength or a MultiIndex.
TypeError
    For an object that is not a Series, or values that are not real numbers.
)doc";

}  // namespace

void add_scan_methods(py::module_& m) {
    auto scan = py::reinterpret_borrow<py::class_<Scan>>(m.attr("Scan"));
    // After the __call__ forms of the class, which calls without the keyword reach first.
    scan.def("__call__", &values_at, "wavelength"_a, py::kw_only(), "extrapolation"_a, extrapolation_doc)
        .def(
            "resample",
            [](const Scan& s, DoubleArray grid, const std::string& extrapolation) {
                return orvanalysis::resample(s, std::move(grid).take(),
                                             orvanalysis::extrapolation_from_string(extrapolation));
            },
            "grid"_a, py::kw_only(), "extrapolation"_a = "zero", resample_doc)
        .def(
            "resample",
            [](const Scan& s, double start, double stop, double step, const std::string& extrapolation) {
                return orvanalysis::resample(s, orvanalysis::regular_grid(start, stop, step),
                                             orvanalysis::extrapolation_from_string(extrapolation));
            },
            "start"_a, "stop"_a, "step"_a, py::kw_only(), "extrapolation"_a = "zero")
        .def("normalised", &normalised, "to"_a = "max", normalised_doc)
        .def(
            "__abs__",
            [](const Scan& s) {
                Scan result = s;
                orvanalysis::utils::abs(result);
                return result;
            },
            "Return abs(s): every value v replaced by -v where v < 0, as utils.abs does; the keys, epsilon and kind "
            "kept.")
        .def("__getitem__", &cropped, "range"_a,
             "Return s[lo:hi], a copy holding the points with lo <= wavelength <= hi (nm); an open end keeps every "
             "point on "
             "its side. A slice with a step raises ValueError.")
        .def("to_series", &to_series, "name"_a = py::none(), to_series_doc)
        .def_static("from_series", &from_series, "series"_a, "epsilon"_a = Scan::Default_Wavelength_Epsilon,
                    "interpolation"_a = py::none(), from_series_doc);
}

}  // namespace orvpy
