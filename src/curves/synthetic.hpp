// Model spectra on a regular wavelength grid: logistic long-pass and short-pass filters and a
// lognormal peak. The grid is min_wl, then i · step_wl + min_wl for i = 1, 2, ... while it does
// not exceed max_wl (max_wl itself only when it falls on the grid). Results have epsilon 1e-20
// and Akima interpolation.
#pragma once

#include "core/scan.hpp"

namespace orvanalysis::curves {

// Transmission from 0 to 1 rising (long-pass) or falling (short-pass) across center_wl; the
// bandwidth is the range over which it passes from 5 % to 95 %. Throws std::invalid_argument
// for a bandwidth that is not finite and positive, then for min_wl >= max_wl,
// step_wl > (max_wl - min_wl), step_wl <= 0, or a grid that is not finite or has more than
// Scan::Max_Generated_Points points.
Scan longpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl);
Scan shortpass_filter(double center_wl, double bandwidth, double min_wl, double max_wl, double step_wl);

// A lognormal peak with its mode at peak_wl and the given full width at half maximum,
// normalised to 1 at peak_wl. Throws std::invalid_argument for peak_wl or fwhm <= 0, then for
// min_wl <= 0, then as the filters do for the grid.
Scan lognormal(double peak_wl, double fwhm, double min_wl, double max_wl, double step_wl);

}  // namespace orvanalysis::curves
