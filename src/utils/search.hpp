// Searches on a scan's interpolated curve: the key of a value, peaks, peak widths and the
// crossing of two scans. A search that finds nothing returns false and leaves its output alone.
#pragma once

#include "core/scan.hpp"

namespace orvanalysis::utils {

// A key in [lo, hi] where the curve takes value.
bool find_key(const Scan& scan, double lo, double hi, double value, double* key);

// The refined extremum next to the entry it (a maximum unless minimum is true): first between
// its neighbours, then between it and the next entry, then between the previous entry and it.
bool find_turning_point(const Scan& scan, Scan::const_iterator it, bool minimum, double* key);

// The refined key of the global maximum, starting from the greatest stored value (the first
// in key order of equal ones).
bool find_peak(const Scan& scan, double* key);

// Every refined local maximum with the curve's value there, as a scan (epsilon 1e-20, Akima).
Scan find_peaks(const Scan& scan);

// The width of the scan's single peak at height times its maximum (0.5: the full width at half
// maximum).
bool peak_width(const Scan& scan, double height, double* width);

// The key in [lo, hi] where the curves of scan_1 and scan_2 cross: the first key of scan_1 in
// that range where they agree within five units in the last place, or the root between the
// keys where they change sides. Throws std::out_of_range when lo or hi is not a key of scan_1,
// or when no crossing is found.
double find_crossing(const Scan& scan_1, const Scan& scan_2, double lo, double hi);

}  // namespace orvanalysis::utils
