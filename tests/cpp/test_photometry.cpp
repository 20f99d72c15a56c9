#include "colorimetry/photometry.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "test_support.hpp"
#include "utils/elementwise.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

using orvanalysis::Scan;
using orvanalysis::spline::Type;
namespace colorimetry = orvanalysis::colorimetry;
namespace utils = orvanalysis::utils;

namespace {

constexpr double limit = 1.3962634015954636;  // 4π/9

// A response against the angle of incidence on an even grid over ±span, 0 included.
Scan response(double span, int intervals, double (*y)(double), Type kind = Type::AKIMA) {
    std::vector<double> angles;
    std::vector<double> values;
    for (int i = -intervals / 2; i <= intervals / 2; ++i) {
        angles.push_back(span * (2.0 * i / intervals));
        values.push_back(y(angles.back()));
    }
    return Scan(angles, values, Scan::Default_Wavelength_Epsilon, kind);
}

}  // namespace

TEST(Elementwise, LogarithmsKeepKeysEpsilonAndKind) {
    const Scan s({1, 2, 3, 4}, {100, 1, 0, -1}, 0.5, Type::CUBIC);
    const Scan l = utils::log10(s);
    EXPECT_EQ(l.wavelengths(), s.wavelengths());
    EXPECT_EQ(l.epsilon(), 0.5);
    EXPECT_EQ(l.interpolation(), Type::CUBIC);
    EXPECT_EQ(l.values()[0], 2.0);
    EXPECT_EQ(l.values()[1], 0.0);
    EXPECT_EQ(l.values()[2], -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(l.values()[3]));
    EXPECT_EQ(utils::log(Scan({1}, {std::exp(1.0)}, 0.0, Type::LINEAR)).values()[0], 1.0);
    EXPECT_TRUE(utils::log(Scan(0.25, Type::NONE)).empty());
}

TEST(Elementwise, AbsoluteValuesInPlace) {
    Scan s({1, 2, 3, 4, 5}, {-2, 0, 3, -0.0, NAN}, 0.0, Type::LINEAR);
    (void)s(1.5);
    utils::abs(s);
    EXPECT_EQ(s.values()[0], 2.0);
    EXPECT_EQ(s.values()[2], 3.0);
    EXPECT_TRUE(std::signbit(s.values()[3])) << "-0.0 is not below 0 and stays";
    EXPECT_TRUE(std::isnan(s.values()[4]));
    EXPECT_FALSE(s.has_spline());
}

TEST(F1Prime, IsZeroForVOfLambdaAndItsMultiples) {
    const Scan& y = colorimetry::cie_1931_standard_observer_y();
    EXPECT_EQ(colorimetry::f1_prime(y), 0.0);
    EXPECT_NEAR(colorimetry::f1_prime(y * 3.7), 0.0, 1e-12);
    EXPECT_EQ(y.size(), 81u) << "the input is not changed";
}

TEST(F1Prime, AFlatResponseAgainstAnIndependentSum) {
    // For a flat responsivity s = 1 the index is ∫|k - ȳ| / ∫ȳ with k = ∫Aȳ / ∫A; evaluated here
    // with the trapezoid rule on a 1 nm grid of the same curves, close to the splines' integrals.
    const Scan& y = colorimetry::cie_1931_standard_observer_y();
    const Scan& a = colorimetry::cie_illuminant_a();
    double ay = 0;
    double a_only = 0;
    for (int w = 380; w < 780; ++w) {
        ay += 0.5 * (a(w) * y(w) + a(w + 1) * y(w + 1));
        a_only += 0.5 * (a(w) + a(w + 1));
    }
    const double k = ay / a_only;
    double mismatch = 0;
    double y_sum = 0;
    for (int w = 380; w < 780; ++w) {
        mismatch += 0.5 * (std::abs(k - y(w)) + std::abs(k - y(w + 1)));
        y_sum += 0.5 * (y(w) + y(w + 1));
    }
    std::vector<double> grid;
    for (int w = 380; w <= 780; ++w) {
        grid.push_back(w);
    }
    const Scan flat(grid, std::vector<double>(grid.size(), 1.0), Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    EXPECT_NEAR(colorimetry::f1_prime(flat), mismatch / y_sum, 2e-3);
}

TEST(F1Prime, NeedsDataInTheVisibleBand) {
    const std::string message = "Input has no data in the range 380 to 780";
    EXPECT_EQ(message_of<std::domain_error>([] { (void)colorimetry::f1_prime(Scan()); }), message);
    EXPECT_EQ(message_of<std::domain_error>([] {
                  (void)colorimetry::f1_prime(Scan({300, 379}, {1, 1}, 0.0, Type::LINEAR));
              }),
              message);
    EXPECT_EQ(message_of<std::domain_error>([] {
                  (void)colorimetry::f1_prime(Scan({781, 900}, {1, 1}, 0.0, Type::LINEAR));
              }),
              message);
    // Touching the band only at its edge is no data in it either (not a perfect match of 0).
    EXPECT_EQ(message_of<std::domain_error>([] {
                  (void)colorimetry::f1_prime(Scan({300, 320, 340, 360, 380}, {1, 1, 1, 1, 1}, 0.0, Type::AKIMA));
              }),
              message);
    EXPECT_EQ(message_of<std::domain_error>([] {
                  (void)colorimetry::f1_prime(Scan({780, 800, 820, 840, 860}, {1, 1, 1, 1, 1}, 0.0, Type::AKIMA));
              }),
              message);
    const Scan part({500, 520, 540, 560, 580}, {1, 1, 1, 1, 1}, 0.0, Type::LINEAR);
    EXPECT_GT(colorimetry::f1_prime(part), 0.0);
    // A table passes the product with A (which takes A's kind) and fails in the last integral.
    std::vector<double> grid;
    for (int w = 400; w <= 600; w += 10) {
        grid.push_back(w);
    }
    const Scan table(grid, std::vector<double>(grid.size(), 1.0), 0.0, Type::NONE);
    EXPECT_EQ(message_of<std::runtime_error>([&] { (void)colorimetry::f1_prime(table); }),
              "Cannot initialize a spline with type None");
}

TEST(F2, CosineResponsesHaveNoDirectionalError) {
    const Scan cosine = response(limit, 160, [](double e) { return std::cos(e); });
    EXPECT_NEAR(colorimetry::f2(cosine, cosine), 0.0, 1e-12);
    const Scan wider = response(
        1.5, 150, [](double e) { return std::cos(e); }, Type::LINEAR);
    EXPECT_LT(colorimetry::f2(cosine, wider), 1e-3) << "only the interpolation error at ±4π/9";
}

TEST(F2, AConstantRelativeErrorAgainstTheClosedForm) {
    // Y = (1 + a) cos ε off the normal and Y(0) = 1: |f2(ε)| = a away from 0 (the point at 0
    // itself contributes nothing, since sin 0 = 0), so each azimuth contributes
    // a ∫ sin 2ε dε over 0..4π/9 = a (1 - cos(8π/9)) / 2 and f2 = 0.25 · 4 · that.
    const double a = 0.04;
    const Scan y = response(
        limit, 200, [](double e) { return e == 0.0 ? 1.0 : 1.04 * std::cos(e); }, Type::LINEAR);
    const double expected = a * (1.0 - std::cos(2.0 * limit)) / 2.0;
    // Near 0 the linear interpolation of |f2| dips from a to 0 over one grid step; the weight
    // sin 2ε is tiny there, and the linear weight grid costs at most a few 1e-4 relative.
    EXPECT_NEAR(colorimetry::f2(y, y), expected, 2e-4);
}

TEST(F2, ResponsesThatStopShortGetFullDeviationAtTheLimits) {
    const Scan narrow = response(1.0, 100, [](double e) { return std::cos(e); });
    const Scan full = response(limit, 160, [](double e) { return std::cos(e); });
    EXPECT_GT(colorimetry::f2(narrow, full), 0.01);
    EXPECT_EQ(narrow.size(), 101u) << "the input is not changed";
}

TEST(Illuminance, LinearInTheIrradiance) {
    const Scan& y = colorimetry::cie_1931_standard_observer_y();
    const Scan e = y * (1.0 / 683.002);
    EXPECT_NEAR(colorimetry::illuminance(e), (y * y).integral(380, 780), 1e-12);
    EXPECT_NEAR(colorimetry::illuminance(e * 2.0), 2.0 * colorimetry::illuminance(e), 1e-12);
    EXPECT_EQ(colorimetry::illuminance(Scan({800, 810, 820, 830, 840}, {1, 1, 1, 1, 1}, 0.0, Type::AKIMA)), 0.0);
}
