#include "utils/search.hpp"

#include "utils/solver.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace orvanalysis::utils {

namespace {

// The entry with the greatest stored value over the whole key range.
Scan::const_iterator greatest_entry(const Scan& scan) {
    return scan.max_in_range(scan.min_wavelength(), scan.max_wavelength());
}

}  // namespace

std::optional<double> find_key(const Scan& scan, double lo, double hi, double value) {
    if (scan.empty()) {
        return std::nullopt;
    }
    Solver1D solver;
    return solver.find_root(lo, hi, [&scan, value](double x) { return scan(x) - value; });
}

std::optional<double> find_turning_point(const Scan& scan, Scan::const_iterator it, bool minimum) {
    if (scan.empty()) {
        return std::nullopt;
    }
    const double sign = minimum ? 1.0 : -1.0;
    const auto f = [&scan, sign](double x) { return sign * scan(x); };
    const bool has_previous = it != scan.begin();
    const bool has_next = it + 1 != scan.end();
    Solver1D solver;
    if (has_previous && has_next) {
        if (const auto x = solver.find_minimum((it - 1)->first, (it + 1)->first, it->first, f)) {
            return x;
        }
    }
    if (has_next) {
        if (const auto x = solver.find_minimum(it->first, (it + 1)->first, 0.5 * (it->first + (it + 1)->first), f)) {
            return x;
        }
    }
    if (has_previous) {
        return solver.find_minimum((it - 1)->first, it->first, 0.5 * ((it - 1)->first + it->first), f);
    }
    return std::nullopt;
}

std::optional<double> find_peak(const Scan& scan) {
    if (scan.empty()) {
        return std::nullopt;
    }
    const auto peak = greatest_entry(scan);
    return peak != scan.end() ? find_turning_point(scan, peak, false) : std::nullopt;
}

Scan find_peaks(const Scan& scan) {
    Scan peaks;
    for (auto it = scan.begin(); it != scan.end(); ++it) {
        if (const auto x = find_turning_point(scan, it, false)) {
            peaks.add(*x, scan(*x));
            if (it + 1 != scan.end()) {
                ++it;  // the next entry lies on the same peak
            }
        }
    }
    return peaks;
}

std::optional<double> peak_width(const Scan& scan, double height) {
    if (scan.empty() || !scan.is_interpolated()) {
        return std::nullopt;
    }
    const auto peak = greatest_entry(scan);
    const auto x_peak = peak != scan.end() ? find_turning_point(scan, peak, false) : std::nullopt;
    if (!x_peak) {
        return std::nullopt;
    }
    const double level = height * scan(*x_peak);
    const auto x_left = find_key(scan, scan.min_wavelength(), *x_peak, level);
    const auto x_right = find_key(scan, *x_peak, scan.max_wavelength(), level);
    if (!x_left || !x_right) {
        return std::nullopt;
    }
    return *x_right - *x_left;
}

double find_crossing(const Scan& scan_1, const Scan& scan_2, double lo, double hi) {
    const auto first = scan_1.find(lo);
    const auto last = scan_1.find(hi);
    if (first == scan_1.end() || last == scan_1.end()) {
        throw std::out_of_range("scan_1 must contain keys lo and hi");
    }
    const bool first_above = first->second > scan_2(first->first);
    for (auto it = first; it <= last; ++it) {
        const double k = it->first;
        const double y1 = it->second;
        const double y2 = scan_2(k);
        const double tolerance = 5.0 * (std::nextafter(y1, std::numeric_limits<double>::infinity()) - y1);
        if (y1 - tolerance <= y2 && y2 <= y1 + tolerance) {
            return k;
        }
        if ((y1 > y2) != first_above) {
            // The curves changed sides since the previous entry.
            Solver1D solver;
            const auto root = solver.find_root((it - 1)->first, k, [&](double x) { return scan_1(x) - scan_2(x); });
            if (!root) {
                throw std::out_of_range("root finding failed");
            }
            return *root;
        }
    }
    throw std::out_of_range("failed to bracket the root");
}

}  // namespace orvanalysis::utils
