#include "core/scan_arithmetic.hpp"
#include "test_support.hpp"
#include "utils/search.hpp"
#include "utils/stitch.hpp"

namespace utils = orvanalysis::utils;

namespace {

double gaussian(double x) { return std::exp(-(x - 500.0) * (x - 500.0) / (2.0 * 10.0 * 10.0)); }

}  // namespace

TEST(FindKey, StraightLineAndItsEdges) {
    const Scan line = make({0, 10, 20, 30, 40}, {1, 3, 5, 7, 9});  // y = 1 + x/5
    EXPECT_NEAR(utils::find_key(line, 0, 40, 4.0).value(), 15.0, 15.0 * 1e-4);
    EXPECT_EQ(utils::find_key(line, 10, 40, 3.0).value(), 10.0) << "a zero at the bracket's end";
    // The curve drops to 0 past its last key, so 7.5 is found within tolerance of 40.
    EXPECT_NEAR(utils::find_key(line, 35, 60, 7.5).value(), 40.0, 40.0 * 1e-4 + 1e-9);
    EXPECT_FALSE(utils::find_key(line, 40, 0, 4.0));
    EXPECT_FALSE(utils::find_key(line, 0, 10, 4.0));
    EXPECT_FALSE(utils::find_key(Scan(), 0, 10, 0.0));
    EXPECT_FALSE(utils::find_key(make({0, 10, 20}, {NAN, 3, 5}), 0, 20, 4.0));
}

TEST(FindPeak, RefinesTheGreatestStoredValue) {
    EXPECT_NEAR(utils::find_peak(sampled(400, 600, 3.7, gaussian)).value(), 500.0, 500.0 * 1e-4);
    // Two equal greatest values: the search starts from the lower key.
    EXPECT_LT(utils::find_peak(make({0, 1, 2, 3, 4, 5, 6}, {0, 2, 0, 0, 0, 2, 0}, Type::CUBIC)).value(), 2.0);
    // The greatest stored value is the last, but the parabola through (0, 0), (1, 3), (2, 3.5),
    // y = 4.25 x - 1.25 x², rises above it before: its vertex is at x = 1.7.
    EXPECT_NEAR(utils::find_peak(make({0, 1, 2}, {0, 3, 3.5}, Type::POLYNOMIAL)).value(), 1.7, 1.7 * 1e-4);
    EXPECT_FALSE(utils::find_peak(Scan()));
    EXPECT_FALSE(utils::find_peak(make({1, 2, 3}, {1, 2, 3}))) << "maximum at the end";
    EXPECT_FALSE(utils::find_peak(make({1, 2, 3, 4}, {0, 5, 5, 0}))) << "flat top";
    const Scan table = make({400, 405, 410}, {1, 3, 1}, Type::NONE);
    EXPECT_EQ(message_of([&] { (void)utils::find_peak(table); }), "Cannot initialize a spline with type None");
}

TEST(FindPeaks, EveryMaximumOfASine) {
    const Scan peaks = utils::find_peaks(sampled(400, 600, 0.5, [](double x) { return std::sin(x / 10.0); }));
    ASSERT_EQ(peaks.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const double expected = 10 * (M_PI / 2 + (14 + 2 * static_cast<double>(i)) * M_PI);  // sin(x / 10) = 1
        EXPECT_NEAR(peaks.wavelengths()[i], expected, expected * 1e-4);
        EXPECT_NEAR(peaks.values()[i], 1.0, 1e-6);
    }
    EXPECT_TRUE(utils::find_peaks(make({1, 2, 3}, {1, 2, 3})).empty());
}

TEST(PeakWidth, GaussianWidthsAndRefusals) {
    // FWHM = 2 sqrt(2 ln 2) sigma and 4 sigma at 1/e²; each side is found to 1e-4 of its key.
    const Scan g = sampled(400, 600, 0.5, gaussian);
    EXPECT_NEAR(utils::peak_width(g, 0.5).value(), 2 * std::sqrt(2 * std::log(2.0)) * 10.0, 2 * 500.0 * 1e-4);
    EXPECT_NEAR(utils::peak_width(g, std::exp(-2.0)).value(), 40.0, 2 * 500.0 * 1e-4);
    EXPECT_FALSE(utils::peak_width(make({1, 2, 3}, {0, 1, 0}, Type::NONE), 0.5));
    EXPECT_FALSE(utils::peak_width(sampled(480, 600, 0.5, gaussian), 0.01)) << "the left side stays high";
    EXPECT_FALSE(utils::peak_width(Scan(), 0.5));
}

TEST(FindCrossing, AgreementRootAndErrors) {
    const Scan a = make({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4});
    EXPECT_NEAR(utils::find_crossing(a, make({0, 4}, {2.5, 2.5}), 0, 4), 2.5, 2.5 * 1e-4);
    EXPECT_EQ(utils::find_crossing(a, make({0, 4}, {2, 2}), 0, 4), 2.0) << "agreement at a key needs no search";
    EXPECT_EQ(message_of([&] { (void)utils::find_crossing(a, a, 0.5, 4); }), "scan_1 must contain keys lo and hi");
    const Scan far = make({0, 4}, {9, 9});
    EXPECT_EQ(message_of([&] { (void)utils::find_crossing(a, far, 0, 4); }), "failed to bracket the root");
}

TEST(StitchScans, ExactMultiplesJoinWhereTheyMeet) {
    // The same curve at half the sensitivity, measured on other keys from 497.5 nm on; the first
    // scan has a point half a nanometre below where they will meet too.
    const Scan high = sampled(497.5, 700, 2.5, [](double x) { return 0.5 * gaussian(x); });
    Scan low = sampled(400, 600, 5, gaussian);
    low.add(519.5, gaussian(519.5));
    const utils::StitchResults r = utils::stitch_scans(low, high, 520, 580, 1e-3);
    EXPECT_EQ(r.n, 13u);
    EXPECT_NEAR(r.k, 2.0, 1e-12);
    EXPECT_NEAR(r.error, 0.0, 1e-20);
    ASSERT_TRUE(r.success);
    EXPECT_EQ(r.stitch_point, 520.0) << "the first overlap key where they agree";
    EXPECT_EQ(std::make_pair(r.stitch_scan.min_wavelength(), r.stitch_scan.max_wavelength()),
              std::make_pair(400.0, 700.0));
    EXPECT_EQ(std::make_pair(r.stitch_scan.at(515), r.stitch_scan.at(519.5)),
              std::make_pair(gaussian(515), gaussian(519.5)));
    EXPECT_EQ(r.stitch_scan.at(522.5), 2.0 * (0.5 * gaussian(522.5)));
    EXPECT_FALSE(r.stitch_scan.contains(525.5));
}

TEST(StitchScans, MetricsOfAPoorMatchAndRefusals) {
    // s1 = 1, 3 and s2 = 1, 1 at the two overlap keys: k = 4 / 2 = 2, the residuals are -1 and 1,
    // error = 2, average = (1.5 + 2.5) / 2 = 2, percent_error_rms = sqrt(2 / 2) / 2.
    const Scan s1 = make({0, 1, 2}, {1, 3, 5});
    const Scan s2 = make({0, 1}, {1, 1});
    const utils::StitchResults r = utils::stitch_scans(s1, s2, 0, 1, 0.3);
    EXPECT_EQ(std::vector<double>({double(r.n), r.k, r.error, r.average}), std::vector<double>({2, 2, 2, 2}));
    EXPECT_DOUBLE_EQ(r.percent_error_rms, 0.5);
    EXPECT_FALSE(r.success);
    EXPECT_TRUE(r.stitch_scan.empty());
    EXPECT_TRUE(utils::stitch_scans(s1, s2, 0, 1, 0.51).success);
    // Negative signals match as well as their negation: the error is relative to their size.
    const utils::StitchResults negated = utils::stitch_scans(s1 * -1.0, s2 * -1.0, 0, 1, 0.3);
    EXPECT_EQ(std::make_tuple(negated.average, negated.percent_error_rms, negated.success),
              std::make_tuple(-2.0, r.percent_error_rms, false));
    for (const auto& [scan_2, lo, hi, message] : std::vector<std::tuple<Scan, double, double, std::string>>{
             {Scan(), 2, 1, "domain error, max_wl < min_wl"},
             {Scan(), 0.5, 1, "scan_1 must contain keys min_wl and max_wl"},
             {make({0.5, 2}, {1, 1}), 0, 2, "scan_2 must be defined over the domain [min_wl, max_wl]"},
             {make({0, 2}, {0, 0}), 0, 2, "Division by zero. scan_2(wl) is zero across [min_wl, max_wl]"}}) {
        EXPECT_EQ(
            message_of([&, &scan_2 = scan_2, lo = lo, hi = hi] { (void)utils::stitch_scans(s1, scan_2, lo, hi, 1); }),
            message);
    }
}
