#include "colorimetry/photometry.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "test_support.hpp"
#include "utils/elementwise.hpp"

namespace colorimetry = orvanalysis::colorimetry;
namespace curves = orvanalysis::curves;
namespace utils = orvanalysis::utils;

namespace {

constexpr double limit = 1.3962634015954636;  // 4π/9

// A response against the angle of incidence on an even grid over ±span, 0 included.
Scan response(double span, int intervals, double (*y)(double), Type kind = Type::AKIMA) {
    Keys angles;
    Keys values;
    for (int i = -intervals / 2; i <= intervals / 2; ++i) {
        angles.push_back(span * (2.0 * i / intervals));
        values.push_back(y(angles.back()));
    }
    return make(angles, values, kind);
}

double cosine(double e) { return std::cos(e); }

}  // namespace

TEST(Elementwise, LogarithmsAndAbsoluteValues) {
    const Scan l = utils::log10(make({1, 2, 3, 4}, {100, 1, 0, -1}, Type::CUBIC, 0.5));
    EXPECT_EQ(std::make_tuple(l.values()[0], l.values()[2], l.epsilon(), l.interpolation()),
              std::make_tuple(2.0, -INFINITY, 0.5, Type::CUBIC));
    EXPECT_TRUE(std::isnan(l.values()[3]));
    EXPECT_EQ(utils::log(make({1}, {std::exp(1.0)})).values()[0], 1.0);
    Scan s = make({1, 2, 3, 4}, {-2, 3, -0.0, NAN});
    (void)s(1.5);
    utils::abs(s);
    EXPECT_EQ(std::make_tuple(s.values()[0], s.values()[1], std::signbit(s.values()[2]), s.has_spline()),
              std::make_tuple(2.0, 3.0, true, false))
        << "-0.0 is not below 0 and stays";
    EXPECT_TRUE(std::isnan(s.values()[3]));
}

TEST(F1Prime, AgainstVOfLambdaAndAnIndependentSum) {
    const Scan& y = curves::cie_1931_standard_observer_y();
    EXPECT_EQ(colorimetry::f1_prime(y), 0.0);
    EXPECT_NEAR(colorimetry::f1_prime(y * 3.7), 0.0, 1e-12);
    // For a flat responsivity the index is ∫|k - ȳ| / ∫ȳ with k = ∫Aȳ / ∫A; here by the
    // trapezoid rule on a 1 nm grid of the same curves, close to the splines' integrals.
    const Scan& a = curves::cie_illuminant_a();
    double ay = 0;
    double a_only = 0;
    double y_sum = 0;
    for (int w = 380; w < 780; ++w) {
        ay += 0.5 * (a(w) * y(w) + a(w + 1) * y(w + 1));
        a_only += 0.5 * (a(w) + a(w + 1));
        y_sum += 0.5 * (y(w) + y(w + 1));
    }
    double mismatch = 0;
    for (int w = 380; w < 780; ++w) {
        mismatch += 0.5 * (std::abs(ay / a_only - y(w)) + std::abs(ay / a_only - y(w + 1)));
    }
    const Scan flat = sampled(380, 780, 1, [](double) { return 1.0; });
    EXPECT_NEAR(colorimetry::f1_prime(flat), mismatch / y_sum, 2e-3);
}

TEST(F1Prime, NeedsTheWholeVisibleBand) {
    // Touching the band only at an edge is no data in it either (not a perfect match of 0).
    for (const Scan& outside : {Scan(), make({300, 379}, {1, 1}), sampled(300, 380, 20, [](double) { return 1.0; }),
                                sampled(780, 860, 20, [](double) { return 1.0; })}) {
        EXPECT_EQ(message_of<std::domain_error>([&] { (void)colorimetry::f1_prime(outside); }),
                  "Input has no data in the range 380 to 780");
    }
    // V(λ) itself, measured over part of the band only: its index is unknown, not a number.
    const Scan& y = curves::cie_1931_standard_observer_y();
    Scan part = y;
    part.crop(500, 600);
    EXPECT_EQ(message_of<std::domain_error>([&] { (void)colorimetry::f1_prime(part); }),
              "f1_prime needs the responsivity from 380 to 780 nm; the scan covers 500 to 600 nm");
    part = y;
    part.crop(380, 775);
    EXPECT_THROW((void)colorimetry::f1_prime(part), std::domain_error);
}

TEST(F2, DirectionalErrorAgainstClosedForms) {
    const Scan cos_response = response(limit, 160, cosine);
    EXPECT_NEAR(colorimetry::f2(cos_response, cos_response), 0.0, 1e-12);
    EXPECT_LT(colorimetry::f2(cos_response, response(1.5, 150, cosine, Type::LINEAR)), 1e-3)
        << "only the interpolation error at ±4π/9";
    // Y = (1 + a) cos ε off the normal and Y(0) = 1: |f2(ε)| = a away from 0, so each azimuth
    // contributes a ∫ sin 2ε dε over 0..4π/9 = a (1 - cos(8π/9)) / 2 and f2 = 0.25 · 4 · that.
    const Scan y = response(
        limit, 200, [](double e) { return e == 0.0 ? 1.0 : 1.04 * std::cos(e); }, Type::LINEAR);
    EXPECT_NEAR(colorimetry::f2(y, y), 0.04 * (1.0 - std::cos(2.0 * limit)) / 2.0, 2e-4);
    // A response that stops short of ±4π/9 leaves part of the integral unknown.
    EXPECT_EQ(message_of<std::domain_error>([&] { (void)colorimetry::f2(cos_response, response(1.0, 100, cosine)); }),
              "f2 needs each response from -4π/9 to 4π/9 rad (±80°); Y_pi_2 covers -1 to 1 rad");
    EXPECT_THROW((void)colorimetry::f2(response(limit - 1e-9, 160, cosine), cos_response), std::domain_error);
}

TEST(Illuminance, LinearInTheIrradiance) {
    const Scan& y = curves::cie_1931_standard_observer_y();
    const Scan e = y * (1.0 / 683.002);
    EXPECT_NEAR(colorimetry::illuminance(e), (y * y).integral(380, 780), 1e-12);
    EXPECT_EQ(colorimetry::illuminance(sampled(800, 840, 10, [](double) { return 1.0; })), 0.0);
}
