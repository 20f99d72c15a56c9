// Stitching of two scans that overlap over [min_wl, max_wl].
#pragma once

#include "core/scan.hpp"

#include <cstdint>

namespace orvanalysis::utils {

struct StitchResults {
    bool success = false;            // the match error is below the target; only then is a scan built
    std::uint32_t n = 0;             // entries of scan_1 in the overlap, both ends included
    double k = 0.0;                  // least-squares factor applied to scan_2
    double error = 0.0;              // sum over the overlap of (scan_1 - k scan_2)²
    double average = 0.0;            // mean over the overlap of the average of scan_1 and k scan_2
    double percent_error_rms = 0.0;  // sqrt(error / n) / |average|: relative RMS mismatch, a fraction
    double stitch_point = 0.0;       // key where the stitched scan passes from scan_1 to k scan_2
    Scan stitch_scan;                // epsilon 1e-20, Akima
};

// Scales scan_2 by the least-squares factor that matches it to scan_1 over the overlap keys of
// scan_1 and, when the match error is below target_error, joins scan_1 up to the point where
// the two cross with the scaled scan_2 after it. Throws std::out_of_range when min_wl > max_wl,
// when min_wl or max_wl is not a key of scan_1, when scan_2 does not cover [min_wl, max_wl] or
// when no crossing is found, and std::invalid_argument when scan_2 is zero over the overlap.
StitchResults stitch_scans(const Scan& scan_1, const Scan& scan_2, double min_wl, double max_wl, double target_error);

}  // namespace orvanalysis::utils
