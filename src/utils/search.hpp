// Searches on a scan's interpolated curve: the key of a value, peaks, peak widths and the
// crossing of two scans. A search that can find nothing returns an empty optional then.
#pragma once

#include "core/scan.hpp"

#include <optional>

namespace orvanalysis::utils {

// A key in [lo, hi] where the curve takes value.
std::optional<double> find_key(const Scan& scan, double lo, double hi, double value);

// The refined extremum next to the entry it (a maximum unless minimum is true): first between
// its neighbours, then between it and the next entry, then between the previous entry and it.
std::optional<double> find_turning_point(const Scan& scan, Scan::const_iterator it, bool minimum);

// The refined key of the global maximum, starting from the greatest stored value (the first
// in key order of equal ones).
std::optional<double> find_peak(const Scan& scan);

// Every refined local maximum with the curve's value there, as a scan (epsilon 1e-20, Akima).
Scan find_peaks(const Scan& scan);

// The width of the scan's single peak at height times its maximum (0.5: the full width at half
// maximum).
std::optional<double> peak_width(const Scan& scan, double height);

// The key in [lo, hi] where the curves of scan_1 and scan_2 cross: the first key of scan_1 in
// that range where they agree within five units in the last place, or the root between the
// keys where they change sides. Throws std::out_of_range when lo or hi is not a key of scan_1,
// or when no crossing is found.
double find_crossing(const Scan& scan_1, const Scan& scan_2, double lo, double hi);

}  // namespace orvanalysis::utils
