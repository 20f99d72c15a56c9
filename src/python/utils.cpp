// Submodule utils: searches, stitching and element-wise functions.
#include "core/scan_arithmetic.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"
#include "utils/elementwise.hpp"
#include "utils/search.hpp"
#include "utils/stitch.hpp"

#include <pybind11/functional.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

using orvanalysis::Scan;
namespace utils = orvanalysis::utils;

double divided(const double& a, const double& b) { return a / b; }

void add_searches(py::module_& m) {
    m.def(
        "find_key",
        [](const Scan& scan, double lo, double hi, double value) {
            const auto key = utils::find_key(scan, lo, hi, value);
            if (!key) {
                throw py::value_error("Key not found.");
            }
            return *key;
        },
        "scan"_a, "lo"_a, "hi"_a, "value"_a,
        R"doc(Find the key between lo and hi that gives a value of the specified value.

The key is sought on the scan's interpolated curve.

Parameters
----------
scan : Scan
    The scan searched.
lo, hi : float
    The bounds of the search, in the scan's keys (nm for a spectrum).
value : float
    The value sought.

Returns
-------
float
    A key in [lo, hi] where the curve takes the value.

Raises
------
ValueError
    When no such key is found ("Key not found.").
)doc");
    m.def(
        "find_peak",
        [](const Scan& scan) {
            const auto key = utils::find_peak(scan);
            if (!key) {
                throw py::value_error("No peak found.");
            }
            return *key;
        },
        "scan"_a,
        R"doc(Find the global peak of the scan on its interpolated curve.

The search starts from the greatest stored value (the first in key order of equal ones).

Parameters
----------
scan : Scan
    The scan searched.

Returns
-------
float
    The found (interpolated) key.

Raises
------
ValueError
    When no peak is found ("No peak found.").
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.
)doc");
    m.def("find_peaks", &utils::find_peaks, "scan"_a,
          R"doc(Find all the peaks of the scan on its interpolated curve.

Parameters
----------
scan : Scan
    The scan searched.

Returns
-------
Scan
    A new Scan containing the found points: the refined keys and the curve's values there
    (epsilon 1e-20, Akima).

Raises
------
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.
)doc");
    m.def(
        "peak_width",
        [](const Scan& scan, double height) {
            const auto width = utils::peak_width(scan, height);
            if (!width) {
                throw py::value_error("Unable to calculate peak width.");
            }
            return *width;
        },
        "scan"_a, "height"_a,
        R"doc(Find the width of a peak at a specified fractional height from the maximum.

Assumes the scan contains a single peak.

Parameters
----------
scan : Scan
    The scan, holding a single peak.
height : float
    The height as a fraction of the maximum (0.5: the full width at half maximum).

Returns
-------
float
    The width, in the scan's keys (nm for a spectrum).

Raises
------
ValueError
    When the width cannot be calculated ("Unable to calculate peak width.").
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.
)doc");
}

void add_stitching(py::module_& m) {
    py::class_<utils::StitchResults> results(
        m, "StitchResults",
        record_doc<utils::StitchResults>("Results of a scan stitching operation.\n\n"
                                         "Whether it succeeded, the scaling factor, the error metrics and the stitched "
                                         "scan.")
            .c_str());
    results.def(py::init<>(), "Make a record with every field zero, False or empty.");
    def_fields(results, false);
    refuse_uninitialised<utils::StitchResults>();
    m.def("stitch_scans", &utils::stitch_scans, "scan_1"_a, "scan_2"_a, "min_wl"_a, "max_wl"_a, "target_error"_a,
          R"doc(Stitch two scans that overlap over [min_wl, max_wl].

The scans are typically one spectrum measured in two ranges with different sensitivities. scan_2
is scaled by the least-squares factor k that best matches it to scan_1 at the keys of scan_1 in
the overlap; if the match error percent_error_rms is below target_error, the stitched scan is
scan_1 up to the point where scan_1 and k * scan_2 cross, and k * scan_2 after it.

Parameters
----------
scan_1 : Scan
    The first scan; min_wl and max_wl must be among its keys.
scan_2 : Scan
    The second scan, defined over [min_wl, max_wl].
min_wl : float
    Start of the overlap (nm).
max_wl : float
    End of the overlap (nm).
target_error : float
    The largest acceptable percent_error_rms (a fraction).

Returns
-------
StitchResults
    The scale factor, the error metrics and, on success, the stitched scan.

Raises
------
IndexError
    When max_wl < min_wl, when scan_1 lacks min_wl or max_wl as keys, when scan_2 does not cover
    the overlap, or when no crossing is found.
ValueError
    When scan_2 is zero across the overlap.
)doc");
}

void add_elementwise(py::module_& m) {
    m.def("log10", &utils::log10, "scan"_a, R"doc(Compute logarithm base 10 of scan [Scan].

Parameters
----------
scan : Scan
    The scan; its values are the arguments.

Returns
-------
Scan
    The logarithms, at the scan's keys.
)doc");
    m.def(
        "log", [](const Scan& scan) { return utils::log(scan); }, "scan"_a,
        R"doc(Compute natural logarithm of scan [Scan].

Parameters
----------
scan : Scan
    The scan; its values are the arguments.

Returns
-------
Scan
    The logarithms, at the scan's keys.
)doc");
    m.def(
        "log",
        [](const Scan& scan, const Scan& base) {
            return binary_operation(utils::log(scan), utils::log(base), divided);
        },
        "scan"_a, "base"_a, R"doc(Compute logarithm base [Scan] of scan [Scan].

Parameters
----------
scan : Scan
    The arguments.
base : Scan
    The bases, combined with the arguments as the division of two Scans combines them.

Returns
-------
Scan
    log(scan) / log(base).
)doc");
    m.def(
        "log",
        [](const Scan& scan, double base) { return binary_operation(utils::log(scan), std::log(base), divided); },
        "scan"_a, "base"_a, R"doc(Compute logarithm base [float] of scan [Scan].

Parameters
----------
scan : Scan
    The arguments.
base : float
    The base.

Returns
-------
Scan
    log(scan) / log(base), at the scan's keys.
)doc");
    m.def(
        "log", [](double x, const Scan& base) { return binary_operation(std::log(x), utils::log(base), divided); },
        "x"_a, "base"_a, R"doc(Compute logarithm base [Scan] of x [float].

Parameters
----------
x : float
    The argument.
base : Scan
    The bases.

Returns
-------
Scan
    log(x) / log(base), at the keys of base.
)doc");
    m.def(
        "transform",
        [](const Scan& scan, const std::function<double(double, double)>& binary_operation) {
            return orvanalysis::transform(scan,
                                          [&](const double& k, const double& v) { return binary_operation(k, v); });
        },
        "scan"_a, "binary_operation"_a,
        R"doc(Return a new Scan with entries {key, binary_operation(key, value)}.

One entry for each {key, value} in the given scan; the keys, epsilon and interpolation are the
scan's.

Parameters
----------
scan : Scan
    The scan transformed.
binary_operation : callable
    Called as binary_operation(key, value) for each point, returning the new value (a float).

Returns
-------
Scan
    The transformed scan.

Raises
------
Exception
    Whatever binary_operation raises, as it raised it.
)doc");
}

}  // namespace

void add_utils_module(py::module_& m) {
    add_searches(m);
    add_stitching(m);
    add_elementwise(m);
}

}  // namespace orvpy
