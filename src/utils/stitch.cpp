#include "utils/stitch.hpp"

#include "core/scan_arithmetic.hpp"
#include "utils/search.hpp"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace orvanalysis::utils {

StitchResults stitch_scans(const Scan& scan_1, const Scan& scan_2, double min_wl, double max_wl, double target_error) {
    if (min_wl > max_wl) {
        throw std::out_of_range("domain error, max_wl < min_wl");
    }
    const auto first = scan_1.find(min_wl);
    const auto last = scan_1.find(max_wl);
    if (first == scan_1.end() || last == scan_1.end()) {
        throw std::out_of_range("scan_1 must contain keys min_wl and max_wl");
    }
    if (scan_2.min_wavelength() > min_wl || max_wl > scan_2.max_wavelength()) {
        throw std::out_of_range("scan_2 must be defined over the domain [min_wl, max_wl]");
    }

    StitchResults result;
    double a = 0.0;
    double b = 0.0;
    for (auto it = first; it <= last; ++it) {
        const double s2 = scan_2(it->first);
        a += it->second * s2;
        b += s2 * s2;
        ++result.n;
    }
    if (b == 0.0) {
        throw std::invalid_argument("Division by zero. scan_2(wl) is zero across [min_wl, max_wl]");
    }
    result.k = a / b;
    for (auto it = first; it <= last; ++it) {
        const double s1 = it->second;
        const double s2 = scan_2(it->first);
        result.average += 0.5 * (result.k * s2 + s1);
        result.error += std::pow(s1 - result.k * s2, 2.0);
    }
    result.average = result.average / static_cast<double>(result.n);
    // The root-mean-square mismatch relative to the size of the signal, so the same relative
    // mismatch reads the same at any sampling; scans of negative values match as well as their
    // negation.
    result.percent_error_rms = std::sqrt(result.error / result.n) / std::abs(result.average);
    result.success = target_error > result.percent_error_rms;
    if (!result.success) {
        return result;
    }

    const Scan scaled = scan_2 * result.k;
    result.stitch_point = find_crossing(scan_1, scaled, min_wl, max_wl);
    // scan_1 below the stitch point, the point itself, the scaled scan_2 above it: ascending
    // keys, stored at once.
    std::vector<double> keys;
    std::vector<double> values;
    for (auto it = scan_1.begin(); it != scan_1.end() && it->first < result.stitch_point; ++it) {
        keys.push_back(it->first);
        values.push_back(it->second);
    }
    keys.push_back(result.stitch_point);
    values.push_back(scan_1(result.stitch_point));
    auto above = scaled.end();
    while (above != scaled.begin() && (above - 1)->first > result.stitch_point) {
        --above;
    }
    for (auto it = above; it != scaled.end(); ++it) {
        keys.push_back(it->first);
        values.push_back(it->second);
    }
    result.stitch_scan =
        Scan(std::move(keys), std::move(values), Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
    return result;
}

}  // namespace orvanalysis::utils
