#include "core/scan_arithmetic.hpp"
#include "test_support.hpp"
#include "utils/search.hpp"
#include "utils/solver.hpp"
#include "utils/stitch.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using orvanalysis::Scan;
using orvanalysis::spline::Type;
namespace utils = orvanalysis::utils;

namespace {

Scan sampled(double from, double to, double step, double (*f)(double), Type kind = Type::AKIMA) {
    std::vector<double> w;
    std::vector<double> v;
    for (double x = from; x <= to + 1e-9; x += step) {
        w.push_back(x);
        v.push_back(f(x));
    }
    return Scan(w, v, Scan::Default_Wavelength_Epsilon, kind);
}

double gaussian(double x) { return std::exp(-(x - 500.0) * (x - 500.0) / (2.0 * 10.0 * 10.0)); }

struct Thrown : std::exception {};

}  // namespace

TEST(Solver1D, SettingsAndRootOfAClosedForm) {
    utils::Solver1D solver;
    EXPECT_EQ(solver.max_iterations, 100u);
    EXPECT_EQ(solver.epsabs, 0.0);
    EXPECT_EQ(solver.epsrel, 1e-4);
    double x = -1;
    ASSERT_TRUE(solver.find_root(
        0, 3, [](double t) { return t * t - 2; }, &x));
    EXPECT_NEAR(x, std::sqrt(2.0), 1e-4 * std::sqrt(2.0));
    ASSERT_TRUE(solver.find_minimum(
        0, 4, 1, [](double t) { return (t - 2) * (t - 2); }, &x));
    EXPECT_NEAR(x, 2.0, 2e-4);
}

TEST(Solver1D, RefusesBadBracketsWithoutWritingTheResult) {
    utils::Solver1D solver;
    double x = -1;
    EXPECT_FALSE(solver.find_root(
        3, 0, [](double t) { return t - 1; }, &x))
        << "reversed";
    EXPECT_FALSE(solver.find_root(
        2, 3, [](double t) { return t - 1; }, &x))
        << "no sign change";
    EXPECT_FALSE(solver.find_root(
        0, 3, [](double t) { return t < 0.5 ? NAN : t - 1; }, &x))
        << "not finite";
    EXPECT_FALSE(solver.find_minimum(
        0, 3, 3, [](double t) { return t * t; }, &x))
        << "guess on the edge";
    EXPECT_FALSE(solver.find_minimum(
        0, 3, 1, [](double t) { return t; }, &x))
        << "no enclosed minimum";
    EXPECT_FALSE(solver.find_minimum(
        0, 3, 1, [](double t) { return t > 2.5 ? INFINITY : t * t; }, &x));
    EXPECT_EQ(x, -1.0);
}

TEST(Solver1D, ExceptionsOfTheFunctionReachTheCallerUnchanged) {
    utils::Solver1D solver;
    double x = 0;
    int calls = 0;
    // Thrown in the set-up, and in the middle of the iterations.
    EXPECT_THROW(solver.find_root(
                     0, 3, [](double) -> double { throw Thrown(); }, &x),
                 Thrown);
    EXPECT_THROW(solver.find_root(
                     0, 3,
                     [&calls](double t) {
                         if (++calls > 4) {  // two calls set the solver up; the rest iterate
                             throw Thrown();
                         }
                         return t * t * t - 2.0;
                     },
                     &x),
                 Thrown);
    calls = 0;
    EXPECT_THROW(solver.find_minimum(
                     0, 3, 1,
                     [&calls](double t) {
                         if (++calls > 5) {
                             throw std::range_error("deep");
                         }
                         return (t - 1.3) * (t - 1.3);
                     },
                     &x),
                 std::range_error);
    // The solver is usable again afterwards.
    EXPECT_TRUE(solver.find_root(
        0, 3, [](double t) { return t - 1; }, &x));
}

TEST(FindKey, StraightLineAndItsEdges) {
    const Scan line({0, 10, 20, 30, 40}, {1, 3, 5, 7, 9}, Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    double key = -1;
    ASSERT_TRUE(utils::find_key(line, 0, 40, 4.0, &key));
    EXPECT_NEAR(key, 15.0, 15.0 * 1e-4);  // y = 1 + x/5
    ASSERT_TRUE(utils::find_key(line, 10, 40, 3.0, &key)) << "a zero at the bracket's end";
    EXPECT_EQ(key, 10.0);
    // The curve drops to 0 past its last key, so 7.5, which it stays above from 35 to 40, is
    // found within tolerance of 40.
    ASSERT_TRUE(utils::find_key(line, 35, 60, 7.5, &key));
    EXPECT_NEAR(key, 40.0, 40.0 * 1e-4 + 1e-9);
    key = -1;
    EXPECT_FALSE(utils::find_key(line, 40, 0, 4.0, &key));
    EXPECT_FALSE(utils::find_key(line, 0, 10, 4.0, &key));
    EXPECT_FALSE(utils::find_key(Scan(), 0, 10, 0.0, &key));
    const Scan with_nan({0, 10, 20}, {NAN, 3, 5}, 0.0, Type::LINEAR);
    EXPECT_FALSE(utils::find_key(with_nan, 0, 20, 4.0, &key));
    EXPECT_EQ(key, -1.0);
}

TEST(FindPeak, RefinesTheGreatestStoredValue) {
    const Scan g = sampled(400, 600, 3.7, gaussian);
    double key = 0;
    ASSERT_TRUE(utils::find_peak(g, &key));
    EXPECT_NEAR(key, 500.0, 500.0 * 1e-4);
    // Two equal greatest values: the search starts from the lower key.
    const Scan twins({0, 1, 2, 3, 4, 5, 6}, {0, 2, 0, 0, 0, 2, 0}, 0.0, Type::CUBIC);
    ASSERT_TRUE(utils::find_peak(twins, &key));
    EXPECT_LT(key, 2.0);
}

TEST(FindPeak, EdgesFlatTopsAndSingleEntriesFindNothing) {
    double key = -1;
    EXPECT_FALSE(utils::find_peak(Scan(), &key));
    EXPECT_FALSE(utils::find_peak(Scan({1}, {1}, 0.0, Type::LINEAR), &key));
    EXPECT_FALSE(utils::find_peak(Scan({1, 2, 3}, {1, 2, 3}, 0.0, Type::LINEAR), &key)) << "maximum at the end";
    EXPECT_FALSE(utils::find_peak(Scan({1, 2, 3, 4}, {0, 5, 5, 0}, 0.0, Type::LINEAR), &key)) << "flat top";
    EXPECT_EQ(key, -1.0);
    // The greatest stored value is the last, but the parabola through (0, 0), (1, 3), (2, 3.5),
    // y = 4.25 x - 1.25 x², rises above it between the last two keys: attempt 3 finds its vertex
    // at x = 4.25 / 2.5 = 1.7.
    ASSERT_TRUE(utils::find_peak(Scan({0, 1, 2}, {0, 3, 3.5}, 0.0, Type::POLYNOMIAL), &key));
    EXPECT_NEAR(key, 1.7, 1.7 * 1e-4);
}

TEST(FindPeak, SplineErrorsPropagate) {
    const Scan table({400, 405, 410}, {1, 3, 1}, 0.0, Type::NONE);
    double key = 0;
    EXPECT_EQ(message_of<std::runtime_error>([&] { (void)utils::find_peak(table, &key); }),
              "Cannot initialize a spline with type None");
}

TEST(FindPeaks, EveryMaximumOfASine) {
    const Scan sine = sampled(400, 600, 0.5, [](double x) { return std::sin(x / 10.0); });
    const Scan peaks = utils::find_peaks(sine);
    // sin(x / 10) is greatest at x = 10 (π/2 + 2πn).
    const std::vector<double> expected{10 * (M_PI / 2 + 14 * M_PI), 10 * (M_PI / 2 + 16 * M_PI),
                                       10 * (M_PI / 2 + 18 * M_PI)};
    ASSERT_EQ(peaks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(peaks.wavelengths()[i], expected[i], expected[i] * 1e-4);
        EXPECT_NEAR(peaks.values()[i], 1.0, 1e-6);
    }
    EXPECT_EQ(peaks.interpolation(), Type::AKIMA);
    EXPECT_TRUE(utils::find_peaks(Scan()).empty());
    EXPECT_TRUE(utils::find_peaks(Scan({1, 2, 3}, {1, 2, 3}, 0.0, Type::LINEAR)).empty());
}

TEST(PeakWidth, FullWidthAtHalfMaximumOfAGaussian) {
    // FWHM = 2 sqrt(2 ln 2) sigma. Each side is a root found to 1e-4 of its key (about
    // 0.05 nm near 500 nm), and the Akima curve through 0.5 nm samples is far closer than that.
    const Scan g = sampled(400, 600, 0.5, gaussian);
    double width = 0;
    ASSERT_TRUE(utils::peak_width(g, 0.5, &width));
    EXPECT_NEAR(width, 2 * std::sqrt(2 * std::log(2.0)) * 10.0, 2 * 500.0 * 1e-4);
    // At 1/e² of the maximum the width is 4 sigma.
    ASSERT_TRUE(utils::peak_width(g, std::exp(-2.0), &width));
    EXPECT_NEAR(width, 40.0, 2 * 500.0 * 1e-4);
}

TEST(PeakWidth, RefusesTablesAndPeaksThatDoNotFallFarEnough) {
    double width = -1;
    EXPECT_FALSE(utils::peak_width(Scan({1, 2, 3}, {0, 1, 0}, 0.0, Type::NONE), 0.5, &width));
    EXPECT_FALSE(utils::peak_width(sampled(480, 600, 0.5, gaussian), 0.01, &width)) << "the left side stays high";
    EXPECT_FALSE(utils::peak_width(Scan(), 0.5, &width));
    EXPECT_EQ(width, -1.0);
}

TEST(FindCrossing, AgreementRootAndErrors) {
    const Scan a({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, 0.0, Type::LINEAR);
    const Scan b({0, 4}, {2.5, 2.5}, 0.0, Type::LINEAR);
    EXPECT_NEAR(utils::find_crossing(a, b, 0, 4), 2.5, 2.5 * 1e-4);
    const Scan c({0, 4}, {2, 2}, 0.0, Type::LINEAR);
    EXPECT_EQ(utils::find_crossing(a, c, 0, 4), 2.0) << "agreement at a key needs no search";
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)utils::find_crossing(a, b, 0.5, 4); }),
              "scan_1 must contain keys lo and hi");
    const Scan far({0, 4}, {9, 9}, 0.0, Type::LINEAR);
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)utils::find_crossing(a, far, 0, 4); }),
              "failed to bracket the root");
}

TEST(StitchScans, ExactMultiplesAreJoinedWhereTheyMeet) {
    const Scan low = sampled(400, 600, 5, gaussian);
    // The same curve at half the sensitivity, measured on other keys from 500 nm on.
    const Scan high = sampled(497.5, 700, 2.5, [](double x) { return 0.5 * gaussian(x); });
    const utils::StitchResults r = utils::stitch_scans(low, high, 520, 580, 1e-3);
    EXPECT_EQ(r.n, 13u);
    EXPECT_NEAR(r.k, 2.0, 1e-12);
    EXPECT_NEAR(r.error, 0.0, 1e-20);
    EXPECT_NEAR(r.percent_error_rms, 0.0, 1e-9);
    ASSERT_TRUE(r.success);
    EXPECT_EQ(r.stitch_point, 520.0) << "the first overlap key where they agree";
    EXPECT_EQ(r.stitch_scan.min_wavelength(), 400.0);
    EXPECT_EQ(r.stitch_scan.max_wavelength(), 700.0);
    EXPECT_EQ(r.stitch_scan.at(515), gaussian(515));
    EXPECT_EQ(r.stitch_scan.at(520), gaussian(520));
    EXPECT_EQ(r.stitch_scan.at(522.5), 2.0 * (0.5 * gaussian(522.5)));
    EXPECT_FALSE(r.stitch_scan.contains(525.5));
    EXPECT_EQ(r.stitch_scan.interpolation(), Type::AKIMA);
}

TEST(StitchScans, MetricsOfAPoorMatch) {
    // s1 = 1, 3 and s2 = 1, 1 at the two overlap keys: k = 4 / 2 = 2, the residuals are -1 and 1,
    // error = 2, average = (1.5 + 2.5) / 2 = 2, percent_error_rms = sqrt(2) / 2 / 2.
    const Scan s1({0, 1, 2}, {1, 3, 5}, 0.0, Type::LINEAR);
    const Scan s2({0, 1}, {1, 1}, 0.0, Type::LINEAR);
    const utils::StitchResults r = utils::stitch_scans(s1, s2, 0, 1, 0.3);
    EXPECT_EQ(r.n, 2u);
    EXPECT_EQ(r.k, 2.0);
    EXPECT_EQ(r.error, 2.0);
    EXPECT_EQ(r.average, 2.0);
    EXPECT_DOUBLE_EQ(r.percent_error_rms, std::sqrt(2.0) / 4.0);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.stitch_point, 0.0);
    EXPECT_TRUE(r.stitch_scan.empty());
    EXPECT_TRUE(utils::stitch_scans(s1, s2, 0, 1, 0.36).success);
    EXPECT_FALSE(utils::stitch_scans(s1, s1, 0, 1, 0.0).success) << "a target of 0 never succeeds";
}

TEST(StitchScans, ValidationInOrder) {
    const Scan s1({0, 1, 2}, {1, 3, 5}, 0.0, Type::LINEAR);
    const Scan s2({0, 2}, {1, 1}, 0.0, Type::LINEAR);
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)utils::stitch_scans(s1, Scan(), 2, 1, 1); }),
              "domain error, max_wl < min_wl");
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)utils::stitch_scans(s1, Scan(), 0.5, 1, 1); }),
              "scan_1 must contain keys min_wl and max_wl");
    EXPECT_EQ(message_of<std::out_of_range>([&] {
                  (void)utils::stitch_scans(s1, Scan({0.5, 2}, {1, 1}, 0.0, Type::LINEAR), 0, 2, 1);
              }),
              "scan_2 must be defined over the domain [min_wl, max_wl]");
    EXPECT_EQ(message_of<std::runtime_error>([&] { (void)utils::stitch_scans(s1, Scan(), 0, 1, 1); }),
              "Scan::min_wavelength: empty scan");
    EXPECT_EQ(message_of<std::invalid_argument>([&] {
                  (void)utils::stitch_scans(s1, Scan({0, 2}, {0, 0}, 0.0, Type::LINEAR), 0, 2, 1);
              }),
              "Division by zero. scan_2(wl) is zero across [min_wl, max_wl]");
}
