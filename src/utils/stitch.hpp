// Stitching of two scans that overlap over [min_wl, max_wl].
#pragma once

#include "core/record_fields.hpp"
#include "core/scan.hpp"

#include <cstdint>
#include <tuple>

namespace orvanalysis::utils {

// What stitching found; fields_of says what each field holds.
struct StitchResults {
    bool success = false;
    std::uint32_t n = 0;
    double k = 0.0;
    double error = 0.0;
    double average = 0.0;
    double percent_error_rms = 0.0;
    double stitch_point = 0.0;
    Scan stitch_scan;
};

constexpr auto fields_of(const StitchResults*) {
    using R = StitchResults;
    return std::make_tuple(
        field("success", &R::success,
              "True when the match error is below the target error; only then is a stitched scan built."),
        field("n", &R::n, "Number of entries of scan_1 in the overlap [min_wl, max_wl], both ends included."),
        field("k", &R::k, "Least-squares scale factor applied to scan_2."),
        field("error", &R::error, "Sum over the overlap of the squared differences between scan_1 and k * scan_2."),
        field("average", &R::average, "Mean over the overlap of the average of scan_1 and k * scan_2."),
        field("percent_error_rms", &R::percent_error_rms,
              "The relative root-mean-square mismatch over the overlap, a fraction (no factor 100): "
              "sqrt(error / n) / |average|, the same for the same relative mismatch at any sampling."),
        field("stitch_point", &R::stitch_point, "Key at which the stitched scan passes from scan_1 to k * scan_2."),
        field("stitch_scan", &R::stitch_scan,
              "The stitched scan (epsilon 1e-20, Akima); the record's own scan, not a copy."));
}

// Scales scan_2 by the least-squares factor that matches it to scan_1 over the overlap keys of
// scan_1 and, when the match error is below target_error, joins scan_1 up to the point where
// the two cross with the scaled scan_2 after it. Throws std::out_of_range when min_wl > max_wl,
// when min_wl or max_wl is not a key of scan_1, when scan_2 does not cover [min_wl, max_wl] or
// when no crossing is found, and std::invalid_argument when scan_2 is zero over the overlap.
StitchResults stitch_scans(const Scan& scan_1, const Scan& scan_2, double min_wl, double max_wl, double target_error);

}  // namespace orvanalysis::utils
