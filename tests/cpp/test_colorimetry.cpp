#include "colorimetry/lens_standards.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "test_support.hpp"

using orvanalysis::Observer;
namespace colorimetry = orvanalysis::colorimetry;
namespace curves = orvanalysis::curves;

namespace {

// A transmittance on the 5 nm grid from 280 to 780 nm.
Scan lens(const std::function<double(double)>& t, Type kind = Type::AKIMA) { return sampled(280, 780, 5, t, kind); }

using colorimetry::Method;

}  // namespace

TEST(CIELAB, ClosedFormsOfAnAnalyticObserver) {
    EXPECT_NEAR(colorimetry::CIELAB_f(0.008856451679035631), 6.0 / 29.0, 1e-15) << "the branches meet";
    // With r = (λ - 380) / 400: x̄ = r, ȳ = 1, z̄ = 1 - r, a white of 1 and a sample r give
    // X/Xn = ∫r² / ∫r = 2/3, Y/Yn = 1/2, Z/Zn = ∫r(1 - r) / ∫(1 - r) = 1/3. Polynomials
    // through five points reproduce these products exactly.
    const auto poly = [](const std::function<double(double)>& f) {
        return sampled(
            380, 780, 100, [&](double w) { return f((w - 380) / 400); }, Type::POLYNOMIAL);
    };
    const Observer observer{poly([](double r) { return r; }), poly([](double) { return 1.0; }),
                            poly([](double r) { return 1 - r; })};
    const auto lab = colorimetry::CIELAB_tristimulus_values(poly([](double r) { return r; }),
                                                            poly([](double) { return 1.0; }), observer);
    EXPECT_NEAR(lab.L_star, 116 * std::cbrt(0.5) - 16, 1e-9);
    EXPECT_NEAR(lab.a_star, 500 * (std::cbrt(2.0 / 3) - std::cbrt(0.5)), 1e-9);
    EXPECT_NEAR(lab.b_star, 200 * (std::cbrt(0.5) - std::cbrt(1.0 / 3)), 1e-9);
    const Scan s = lens([](double w) { return 0.2 + w / 1000.0; });
    const auto white = colorimetry::CIELAB_tristimulus_values(s, s, colorimetry::cie_1931_observer());
    EXPECT_EQ(std::vector<double>({white.L_star, white.a_star, white.b_star}), std::vector<double>({100, 0, 0}));
}

TEST(Tristimulus, PublishedWhitePointsAndNoLight) {
    // CIE 15:2004 2° white points, within 1e-4 of the standard's 5 nm summation.
    const std::vector<std::tuple<const Scan&, double, double>> white_points{
        {curves::cie_illuminant_d65(), 0.31271, 0.32902},
        {curves::cie_illuminant_a(), 0.44757, 0.40745},
        {curves::cie_illuminant_c(), 0.31006, 0.31616}};
    for (const auto& [illuminant, x, y] : white_points) {
        const auto xy = colorimetry::CIE_1931_chromaticity(illuminant);
        EXPECT_NEAR(xy.x, x, 1e-4);
        EXPECT_NEAR(xy.y, y, 1e-4);
    }
    const auto none = colorimetry::CIE_1931_chromaticity(sampled(800, 900, 5, [](double) { return 1.0; }));
    EXPECT_TRUE(std::isnan(none.x) && std::isnan(none.y));
}

TEST(WeightedMeans, ExactForPiecewisePolynomialsOnAnyGrid) {
    // T(λ) = λ and W(λ) = λ + 1 over [0, 10], both linear and so reproduced exactly by any
    // sampling: ∫T W / ∫W = (1000/3 + 50) / 60. Irregular lens grids give the same to rounding.
    const Scan weight = make({-1, 0, 4, 12}, {0, 1, 5, 13});
    for (const Keys& grid : {Keys{0, 10}, Keys{0, 0.3, 2, 2.01, 7.5, 10}, Keys{-3, 1, 9.9, 11}}) {
        Keys values = grid;
        const Scan t = make(grid, values);
        const auto totals = colorimetry::weighted_totals(t, {&weight}, {0, 10}, Method::Integral);
        const double from = std::max(0.0, grid.front());
        const double to = std::min(10.0, grid.back());
        const auto cube = [](double x) { return x * x * x / 3 + x * x / 2; };
        const auto square = [](double x) { return x * x / 2 + x; };
        EXPECT_NEAR(totals.mean(), (cube(to) - cube(from)) / (square(to) - square(from)), 1e-12);
        EXPECT_EQ(std::make_pair(totals.used.from, totals.used.to), std::make_pair(from, to))
            << "the mean is over the measured part of the band";
    }
    // The sums take the table's own wavelengths in the band, ends included: W = 1, 5 at 0, 4
    // (-1 and 12 are outside [0, 4]) and the lens there, T(0) = 0, T(4) = 4.
    const auto sum = colorimetry::weighted_totals(make({0, 4}, {0, 4}), {&weight}, {0, 4}, Method::Sum);
    EXPECT_EQ(std::make_tuple(sum.weighted, sum.weight, sum.mean()), std::make_tuple(20.0, 6.0, 20.0 / 6.0));
    // Nothing of the band measured, or nothing measured at all: no mean, not 0 (a perfect blocker).
    for (const Method method : {Method::Integral, Method::Sum}) {
        for (const Scan& unmeasured : {make({20, 30}, {1, 1}), Scan()}) {
            EXPECT_TRUE(std::isnan(colorimetry::weighted_totals(unmeasured, {&weight}, {0, 10}, method).mean()));
        }
    }
    EXPECT_EQ(colorimetry::method_from_string("sum"), Method::Sum);
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)colorimetry::method_from_string("Sum"); }),
              "method must be 'integral' or 'sum', not 'Sum'");
}

TEST(WeightedMeans, NeverLeaveTheValuesOfTheLens) {
    // A natural cubic through 0, ..., 0, 1 rings below 0 between the zeros; held to the values of
    // its points it is 0 all through [0, 10], and so is the mean.
    const Scan ringing = make({0, 2, 4, 6, 8, 10, 12}, {0, 0, 0, 0, 0, 0, 1}, Type::CUBIC);
    ASSERT_LT(ringing(9), 0.0);
    const Scan weight = make({0, 10}, {1, 1});
    EXPECT_EQ(colorimetry::weighted_totals(ringing, {&weight}, {0, 10}, Method::Integral).mean(), 0.0);
    // Akima's curve leaves 2 with slope 0 and reaches 3 with 5.5 times the rise: 0.175t³ - 0.125t²
    // dips below 0 on [2, 3]. Held, the mean over [2, 2.6] stays within the values 0 and 0.05.
    const Scan steep = make({0, 1, 2, 3, 4, 5}, {0, 0, 0, 0.05, 0.55, 1}, Type::AKIMA);
    ASSERT_NEAR(steep(2.5), 0.175 / 8 - 0.125 / 4, 1e-15);
    const double held = colorimetry::weighted_totals(steep, {&weight}, {2, 2.6}, Method::Integral).mean();
    EXPECT_TRUE(held >= 0.0 && held <= 0.05) << held;
    // The last interval too: through 0, 0.1, 0.2, 1.2, 1.25 Akima's curve rises to 1.35 on [3, 4].
    const Scan last = make({0, 1, 2, 3, 4}, {0, 0.1, 0.2, 1.2, 1.25}, Type::AKIMA);
    ASSERT_GT(last.integral(3, 4), 1.3);
    EXPECT_LE(colorimetry::weighted_totals(last, {&weight}, {3, 4}, Method::Integral).mean(), 1.25);
    // Flat lenses give themselves, whatever their grid, kind or band coverage.
    for (const double level : {1.0, 0.5}) {
        const Scan flat = sampled(283, 781, 0.7, [level](double) { return level; });
        EXPECT_NEAR(colorimetry::ISO8980_3_tau_suvb(flat), level, 1e-14);
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_signal(flat).red, level, 1e-14);
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uvb(flat), level, 1e-14) << "averaged over 283-315 nm";
        EXPECT_NEAR(colorimetry::ISO8980_3_tau_v(sampled(
                                                     380, 780, 5, [level](double) { return level; }, Type::NONE),
                                                 Method::Sum),
                    level, 1e-14)
            << "a table is read as the reference curves are";
    }
}

TEST(WeightedMeans, ManyOfOneLensEqualEachAloneBitForBit) {
    // An irregular grid, a table (read through Steffen's cubic) and a lens short of the UV bands.
    const Scan irregular = sampled(283.3, 781, 0.77, [](double w) { return 0.4 + 0.3 * std::sin(w / 23.0); });
    const Scan table = lens([](double w) { return w < 400 ? 0.01 : 0.6; }, Type::NONE);
    const Scan visible_only = sampled(380, 780, 2, [](double w) { return w / 1000.0; });
    std::vector<colorimetry::WeightedMean> means;
    for (const auto& named : colorimetry::lens_means()) {
        means.push_back(named.second);
    }
    for (const Scan* s : {&irregular, &table, &visible_only}) {
        for (const Method method : {Method::Integral, Method::Sum}) {
            const auto many = colorimetry::weighted_totals_many(*s, means, method);
            ASSERT_EQ(many.size(), means.size());
            for (std::size_t i = 0; i < means.size(); ++i) {
                const auto alone = colorimetry::weighted_totals(*s, means[i].weighting, means[i].band, method);
                const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
                EXPECT_TRUE(same(many[i].weighted, alone.weighted) && same(many[i].weight, alone.weight) &&
                            same(many[i].used.from, alone.used.from))
                    << colorimetry::lens_means()[i].first;
            }
        }
    }
}

TEST(ReferenceCurves, NeverNegativeBetweenTheirPoints) {
    // Akima's curves went below 0 between these tables' points; Steffen's cannot.
    for (const Scan* curve : {&curves::solar_spectral_irradiance(), &curves::ANSI_Z80_3_2015_red_signal_transmittance(),
                              &curves::ISO8980_3_led_blue(), &curves::AM15G_ASTM_G17303(), &curves::AM0_ASTM_E490()}) {
        const Keys& w = curve->wavelengths();
        double lowest = INFINITY;
        for (std::size_t i = 0; i + 1 < w.size() && w[i] < 2000; ++i) {
            for (int j = 1; j < 16; ++j) {
                lowest = std::min(lowest, (*curve)(w[i] + (w[i + 1] - w[i]) * j / 16));
            }
        }
        EXPECT_GE(lowest, 0.0) << w.front();
    }
}

TEST(LensStandards, BandEdges) {
    // Opaque to 380 nm, clear from 385 nm: nothing in the ISO solar UV-A band, some light in
    // the AS/NZS one, which goes on to 400 nm.
    const Scan blocker = lens([](double w) { return w <= 380.0 ? 0.0 : 1.0; }, Type::LINEAR);
    EXPECT_EQ(colorimetry::ISO8980_3_tau_suva(blocker), 0.0);
    EXPECT_GT(colorimetry::ASNZS1067_2016_tau_suva(blocker), 0.1);
    const Scan clear_uv = lens([](double w) { return w <= 400.0 ? 1.0 : 0.0; });
    EXPECT_NEAR(colorimetry::ASNZS1067_2016_tau_suva(clear_uv), 1.0, 1e-12);
    // Solar UV-B starts where the solar spectrum does, at 290 nm.
    EXPECT_EQ(colorimetry::ISO8980_3_tau_suvb(lens([](double) { return 0.5; }, Type::LINEAR)),
              colorimetry::ISO8980_3_tau_suvb(lens([](double w) { return w < 290 ? 5 : 0.5; }, Type::LINEAR)));
    // The blue-light band ends at 500 nm even where the weightings go on (changed through a
    // live view, as Python can): opaque to 500 nm lets nothing of it through.
    auto& solar = const_cast<Scan&>(curves::solar_spectral_irradiance());
    auto& hazard = const_cast<Scan&>(curves::blue_light_hazard());
    const Scan solar_kept = solar;
    const Scan hazard_kept = hazard;
    solar.add(505, solar(500));
    hazard.add(505, hazard(500));
    EXPECT_EQ(colorimetry::ISO12311_tau_sb(lens([](double w) { return w <= 500 ? 0.0 : 1.0; }, Type::LINEAR)), 0.0);
    solar = solar_kept;
    hazard = hazard_kept;
    // Clear to 520 nm, opaque from 525 nm: no red passes, some yellow, more green, most blue.
    const Scan blue_glass = lens([](double w) { return w <= 520.0 ? 1.0 : 0.0; }, Type::LINEAR);
    const colorimetry::RYG ansi = colorimetry::ANSI_Z80_3_tau_signal(blue_glass);
    EXPECT_TRUE(ansi.red == 0.0 && ansi.yellow > 0.0 && ansi.green > ansi.yellow);
    const colorimetry::RYGB iso = colorimetry::ISO8980_3_tau_signal_led(blue_glass);
    EXPECT_TRUE(iso.red == 0.0 && iso.blue > iso.green && iso.green > iso.yellow);
}

TEST(LensStandards, SpectralMinimumOfStoredPointsInTheClosedBand) {
    const auto min_of = [](Keys v) {
        return colorimetry::ANSI_Z80_3_tau_spectral_min(make({470, 475, 500, 650, 655}, v, Type::NONE));
    };
    EXPECT_EQ(min_of({0.01, 0.1, 0.2, 0.25, 0.0}), 0.1);
    EXPECT_EQ(min_of({0.01, 0.3, 0.2, 0.05, 0.0}), 0.05);
    EXPECT_EQ(message_of<std::invalid_argument>([&] {
                  (void)colorimetry::ANSI_Z80_3_tau_spectral_min(make({400, 700}, {0.5, 0.5}));
              }),
              "ANSI_Z80_3_tau_spectral_min: the transmittance has no point between 475 and 650 nm");
}
