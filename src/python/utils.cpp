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
        "Find the key between lo and hi that gives a value of the specified value.");
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
        "Finds the global peak of the scan on its interpolated curve and returns the found (interpolated) key.");
    m.def("find_peaks", &utils::find_peaks, "scan"_a,
          "Finds all the peaks of the scan on its interpolated curve and returns a new Scan containing the found "
          "points: the refined keys and the curve's values there.");
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
        "Finds the width of a peak at a specified fractional height from the maximum (0.5: the full width at half "
        "maximum). Assumes the scan contains a single peak.");
}

void add_stitching(py::module_& m) {
    py::class_<utils::StitchResults> results(
        m, "StitchResults",
        "Results of a scan stitching operation: whether it succeeded, the scaling factor, "
        "the error metrics and the stitched scan.");
    results.def(py::init<>());
    def_fields(results, false);
    refuse_uninitialised<utils::StitchResults>();
    m.def("stitch_scans", &utils::stitch_scans, "scan_1"_a, "scan_2"_a, "min_wl"_a, "max_wl"_a, "target_error"_a,
          "Stitches two scans that overlap over [min_wl, max_wl], typically one spectrum measured in two ranges "
          "with different sensitivities. scan_2 is scaled by the least-squares factor k that best matches it to "
          "scan_1 at the keys of scan_1 in the overlap; if the match error percent_error_rms is below target_error, "
          "the stitched scan is scan_1 up to the point where scan_1 and k * scan_2 cross, and k * scan_2 after it.\n\n"
          ":param scan_1: the first scan; min_wl and max_wl must be among its keys\n"
          ":param scan_2: the second scan, defined over [min_wl, max_wl]\n"
          ":param min_wl: start of the overlap (nm)\n"
          ":param max_wl: end of the overlap (nm)\n"
          ":param target_error: the largest acceptable percent_error_rms (a fraction)\n"
          ":return: a StitchResults\n"
          ":raises IndexError: when max_wl < min_wl, when scan_1 lacks min_wl or max_wl as keys, when scan_2 does "
          "not cover the overlap, or when no crossing is found\n"
          ":raises ValueError: when scan_2 is zero across the overlap");
}

void add_elementwise(py::module_& m) {
    m.def("log10", &utils::log10, "scan"_a, "Compute logarithm base 10 of scan [Scan].");
    m.def(
        "log", [](const Scan& scan) { return utils::log(scan); }, "scan"_a,
        "Compute natural logarithm of scan [Scan].");
    m.def(
        "log",
        [](const Scan& scan, const Scan& base) {
            return binary_operation(utils::log(scan), utils::log(base), divided);
        },
        "scan"_a, "base"_a, "Compute logarithm base [Scan] of scan [Scan].");
    m.def(
        "log",
        [](const Scan& scan, double base) { return binary_operation(utils::log(scan), std::log(base), divided); },
        "scan"_a, "base"_a, "Compute logarithm base [float] of scan [Scan].");
    m.def(
        "log", [](double x, const Scan& base) { return binary_operation(std::log(x), utils::log(base), divided); },
        "x"_a, "base"_a, "Compute logarithm base [Scan] of x [float].");
    m.def(
        "transform",
        [](const Scan& scan, const std::function<double(double, double)>& binary_operation) {
            return orvanalysis::transform(scan,
                                          [&](const double& k, const double& v) { return binary_operation(k, v); });
        },
        "scan"_a, "binary_operation"_a,
        "Returns a new Scan with entries {key, binary_operation(key, value)} for each {key, value} in the given "
        "scan; the keys, epsilon and interpolation are the scan's.");
}

}  // namespace

void add_utils_module(py::module_& m) {
    add_searches(m);
    add_stitching(m);
    add_elementwise(m);
}

}  // namespace orvpy
