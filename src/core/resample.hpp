// Scans on new grids, evaluation with a stated policy outside the data, and normalisation.
#pragma once

#include "core/scan.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanalysis {

// What evaluation gives outside a scan's data, that is below its first key or above its last by
// more than its epsilon (a NaN wavelength is outside too):
//  - Zero: 0.0, as Scan::operator() gives;
//  - Constant: the value stored at the nearer end (NaN for a NaN wavelength, 0.0 for an empty scan);
//  - Raise: std::domain_error naming the wavelength and the range of the data;
//  - NaN: NaN, as tables (pandas, scipy's interpolators) mark where there is no data.
enum class Extrapolation : std::int32_t { Zero = 0, Constant = 1, Raise = 2, NaN = 3 };

// "zero", "constant", "raise" or "nan"; std::invalid_argument naming the four for any other text.
Extrapolation extrapolation_from_string(const std::string& name);

// The scan at w: its own value inside its data, the policy's outside. Throws std::runtime_error
// when interpolation is needed and cannot be built.
double evaluate(const Scan& s, double w, Extrapolation policy);

// The scan evaluated at each wavelength of the grid, with its epsilon and kind: the grid's points
// as the array constructor stores them. Throws as evaluate does, and std::invalid_argument for a
// NaN wavelength in the grid.
Scan resample(const Scan& s, std::vector<double> grid, Extrapolation policy);

// start, start + step, ... up to stop, stop included when it falls on the grid within a millionth
// of a step. Throws std::invalid_argument for bounds or a step that are not finite, a step that
// is not positive, stop below start, or more than Scan::Max_Generated_Points wavelengths.
std::vector<double> regular_grid(double start, double stop, double step);

// What a scan is divided by to normalise it.
enum class Normalisation : std::int32_t { Max = 0, Area = 1, Wavelength = 2 };

// The scan divided by its largest value, by its integral over its data, or by its value at
// wavelength, keeping its keys, epsilon and kind. Throws std::invalid_argument for an empty scan,
// a wavelength outside the data, or a divisor that is 0, NaN or infinite.
Scan normalised(const Scan& s, Normalisation to, double wavelength = 0.0);

}  // namespace orvanalysis
