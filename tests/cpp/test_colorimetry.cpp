#include "colorimetry/derived_cache.hpp"
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using orvanalysis::Observer;
using orvanalysis::Scan;
using orvanalysis::spline::Type;
namespace colorimetry = orvanalysis::colorimetry;

namespace {

// A transmittance on the 5 nm grid from 280 to 780 nm.
Scan on_grid(const std::function<double(double)>& t, Type kind = Type::AKIMA) {
    std::vector<double> w;
    std::vector<double> v;
    for (int i = 0; i <= 100; ++i) {
        w.push_back(280.0 + 5.0 * i);
        v.push_back(t(w.back()));
    }
    return Scan(w, v, Scan::Default_Wavelength_Epsilon, kind);
}

Scan constant(double c, double from, double to, double step, Type kind) {
    std::vector<double> w;
    std::vector<double> v;
    for (double x = from; x <= to; x += step) {
        w.push_back(x);
        v.push_back(c);
    }
    return Scan(w, v, Scan::Default_Wavelength_Epsilon, kind);
}

const std::vector<std::pair<const char*, double (*)(const Scan&)>>& ratios() {
    static const std::vector<std::pair<const char*, double (*)(const Scan&)>> all{
        {"ISO8980_3_tau_suva", colorimetry::ISO8980_3_tau_suva},
        {"ISO8980_3_tau_suvb", colorimetry::ISO8980_3_tau_suvb},
        {"ASNZS1067_2016_tau_suva", colorimetry::ASNZS1067_2016_tau_suva},
        {"ISO12311_tau_sb", colorimetry::ISO12311_tau_sb},
        {"ANSI_Z80_3_tau_v", colorimetry::ANSI_Z80_3_tau_v},
        {"ISO8980_3_tau_v", colorimetry::ISO8980_3_tau_v},
        {"ANSI red", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).red; }},
        {"ANSI yellow", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).yellow; }},
        {"ANSI green", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).green; }},
        {"ISO incandescent red", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_incandescent(t).red; }},
        {"ISO incandescent blue", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_incandescent(t).blue; }},
        {"ISO LED yellow", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_led(t).yellow; }},
        {"ISO LED green", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_led(t).green; }},
    };
    return all;
}

}  // namespace

TEST(CIELABF, BranchesMeetAtTheThreshold) {
    const double threshold = 0.008856451679035631;
    EXPECT_NEAR(colorimetry::CIELAB_f(threshold), 6.0 / 29.0, 1e-15);
    EXPECT_NEAR(std::cbrt(threshold), 6.0 / 29.0, 1e-15);
    EXPECT_EQ(colorimetry::CIELAB_f(threshold), 7.787037037037037 * threshold + 0.13793103448275862);
    EXPECT_EQ(colorimetry::CIELAB_f(1.0), 1.0);
    EXPECT_NEAR(colorimetry::CIELAB_f(8.0), 2.0, 1e-15);
    EXPECT_NEAR(colorimetry::CIELAB_f(0.0), 4.0 / 29.0, 1e-16);
    EXPECT_NEAR(colorimetry::CIELAB_f(-1.0), -841.0 / 108.0 + 4.0 / 29.0, 1e-12);
}

TEST(TristimulusValues, AreRawIntegralsOverTheVisibleBand) {
    // Flat colour-matching functions of heights 1, 2 and 3 over 380-780 nm and the spectrum
    // S(w) = w nm: X = ∫ w dw over 380-780 = (780² - 380²) / 2 = 232000, Y and Z two and
    // three times that. Linear interpolation reproduces the ramp exactly.
    const Scan x = constant(1, 380, 780, 20, Type::LINEAR);
    const Scan y = constant(2, 380, 780, 20, Type::LINEAR);
    const Scan z = constant(3, 380, 780, 20, Type::LINEAR);
    const Scan ramp({300, 800}, {300, 800}, Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    const colorimetry::CIEXYZ xyz = colorimetry::CIE_tristimulus_values(ramp, Observer{x, y, z});
    EXPECT_NEAR(xyz.X, 232000, 1e-7);
    EXPECT_NEAR(xyz.Y, 464000, 1e-7);
    EXPECT_NEAR(xyz.Z, 696000, 1e-7);
}

TEST(TristimulusValues, UnitSpectrumGivesTheIntegralsOfTheObserver) {
    const Scan unit = on_grid([](double) { return 1.0; });
    const colorimetry::CIEXYZ xyz = colorimetry::CIE_tristimulus_values(unit, colorimetry::cie_1931_observer());
    EXPECT_NEAR(xyz.X, colorimetry::cie_1931_standard_observer_x().integral(), 1e-9);
    EXPECT_NEAR(xyz.Y, colorimetry::cie_1931_standard_observer_y().integral(), 1e-9);
    EXPECT_NEAR(xyz.Z, colorimetry::cie_1931_standard_observer_z().integral(), 1e-9);
    // The 5 nm tables sum to 21.37; their integrals are close to 5 nm times that.
    EXPECT_NEAR(xyz.Y, 5 * 21.371327, 0.01);
}

TEST(Chromaticity, PublishedWhitePointsOfTheCieIlluminants) {
    // CIE 15:2004 2° white points: D65 (0.31271, 0.32902), A (0.44757, 0.40745),
    // C (0.31006, 0.31616). Spline integration of the tabulated spectra stays within the
    // published five decimals' rounding of the standard's summation, give or take 1e-4.
    const auto d65 = colorimetry::CIE_1931_chromaticity(colorimetry::cie_illuminant_d65());
    EXPECT_NEAR(d65.x, 0.31271, 1e-4);
    EXPECT_NEAR(d65.y, 0.32902, 1e-4);
    const auto a = colorimetry::CIE_1931_chromaticity(colorimetry::cie_illuminant_a());
    EXPECT_NEAR(a.x, 0.44757, 1e-4);
    EXPECT_NEAR(a.y, 0.40745, 1e-4);
    const auto c = colorimetry::CIE_1931_chromaticity(colorimetry::cie_illuminant_c());
    EXPECT_NEAR(c.x, 0.31006, 1e-4);
    EXPECT_NEAR(c.y, 0.31616, 1e-4);
}

TEST(Chromaticity, InvariantToScaleAndUndefinedWithoutData) {
    const Scan s = on_grid([](double w) { return 1.0 + std::sin(w / 37.0); });
    const auto p = colorimetry::CIE_1931_chromaticity(s);
    const auto q = colorimetry::CIE_1931_chromaticity(s * 7.5);
    EXPECT_NEAR(p.x, q.x, 1e-15);
    EXPECT_NEAR(p.y, q.y, 1e-15);

    const Scan infrared = constant(1, 800, 900, 5, Type::AKIMA);
    const auto none = colorimetry::CIE_1931_chromaticity(infrared);
    EXPECT_TRUE(std::isnan(none.x));
    EXPECT_TRUE(std::isnan(none.y));
    EXPECT_EQ(message_of<std::runtime_error>(
                  [&] { (void)colorimetry::CIE_1931_chromaticity(constant(1, 770, 790, 5, Type::AKIMA)); }),
              "Cannot initialize a spline, too few points");
}

TEST(CIELAB, ASpectrumAgainstItselfIsTheWhitePoint) {
    const Scan s = on_grid([](double w) { return 0.2 + w / 1000.0; });
    const auto lab = colorimetry::CIELAB_tristimulus_values(s, s, colorimetry::cie_1931_observer());
    EXPECT_EQ(lab.L_star, 100.0);
    EXPECT_EQ(lab.a_star, 0.0);
    EXPECT_EQ(lab.b_star, 0.0);
    // Scaling sample and white point alike changes nothing.
    const Scan sample = on_grid([](double w) { return 0.3 + 0.2 * std::sin(w / 41.0); });
    const auto lab1 = colorimetry::CIELAB_tristimulus_values(sample, s, colorimetry::cie_1931_observer());
    const auto lab2 = colorimetry::CIELAB_tristimulus_values(sample * 4.0, s * 4.0, colorimetry::cie_1931_observer());
    EXPECT_NEAR(lab1.L_star, lab2.L_star, 1e-12);
    EXPECT_NEAR(lab1.a_star, lab2.a_star, 1e-12);
    EXPECT_NEAR(lab1.b_star, lab2.b_star, 1e-12);
    // Half the white point's radiance everywhere: L* = 116 (1/2)^(1/3) - 16.
    const auto half = colorimetry::CIELAB_tristimulus_values(s * 0.5, s, colorimetry::cie_1931_observer());
    EXPECT_NEAR(half.L_star, 116.0 * std::cbrt(0.5) - 16.0, 1e-9);
    EXPECT_NEAR(half.a_star, 0.0, 1e-9);
    EXPECT_NEAR(half.b_star, 0.0, 1e-9);
}

TEST(LensStandards, FlatTransmittancesGiveThemselves) {
    for (const double level : {1.0, 0.5}) {
        const Scan flat = on_grid([level](double) { return level; });
        for (const auto& [name, tau] : ratios()) {
            EXPECT_NEAR(tau(flat), level, 1e-12) << name << " at " << level;
        }
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uva(flat), level, 1e-12);
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uvb(flat), level, 1e-12);
        EXPECT_EQ(colorimetry::ISO8980_3_tau_uva(flat), colorimetry::ANSI_Z80_3_tau_uva(flat));
        EXPECT_EQ(colorimetry::ANSI_Z80_3_tau_spectral_min(flat), level);
    }
}

TEST(LensStandards, RatiosAreLinearInTheTransmittance) {
    // Natural cubic splines are linear in their data (Akima's are not), so with a CUBIC
    // transmittance every product, and so every ratio, is linear in it.
    const Scan t1 = on_grid([](double w) { return 0.5 + 0.4 * std::sin(w / 23.0); }, Type::CUBIC);
    const Scan t2 = on_grid([](double w) { return w / 800.0; }, Type::CUBIC);
    const Scan mix = t1 * 2.0 + t2 * 3.0;
    for (const auto& [name, tau] : ratios()) {
        EXPECT_NEAR(tau(mix), 2.0 * tau(t1) + 3.0 * tau(t2), 1e-12) << name;
    }
    EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uvb(mix),
                2.0 * colorimetry::ANSI_Z80_3_tau_uvb(t1) + 3.0 * colorimetry::ANSI_Z80_3_tau_uvb(t2), 1e-12);
}

TEST(LensStandards, PlainMeansDivideByTheNominalBandWidth) {
    const Scan partial = constant(0.4, 315, 350, 5, Type::LINEAR);
    EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uva(partial), 0.4 * 35.0 / 65.0, 1e-15);
    EXPECT_EQ(colorimetry::ANSI_Z80_3_tau_uvb(partial), 0.0);
    EXPECT_EQ(message_of<std::runtime_error>(
                  [&] { (void)colorimetry::ANSI_Z80_3_tau_uva(constant(0.4, 315, 350, 5, Type::NONE)); }),
              "Cannot initialize a spline with type None");
}

TEST(LensStandards, SolarUvBandsDifferOnlyInTheirUpperLimit) {
    // Opaque up to 380 nm and clear from 385 nm: nothing passes in the ISO band, some light
    // in the AS/NZS band, which goes on to 400 nm.
    const Scan blocker = on_grid([](double w) { return w <= 380.0 ? 0.0 : 1.0; }, Type::LINEAR);
    EXPECT_EQ(colorimetry::ISO8980_3_tau_suva(blocker), 0.0);
    EXPECT_GT(colorimetry::ASNZS1067_2016_tau_suva(blocker), 0.1);
    // Clear up to 400 nm and opaque beyond: both bands see a clear lens.
    const Scan clear_uv = on_grid([](double w) { return w <= 400.0 ? 1.0 : 0.0; });
    EXPECT_NEAR(colorimetry::ISO8980_3_tau_suva(clear_uv), 1.0, 1e-12);
    EXPECT_NEAR(colorimetry::ASNZS1067_2016_tau_suva(clear_uv), 1.0, 1e-12);
}

TEST(LensStandards, SolarUvbStartsWhereTheSolarSpectrumDoes) {
    const Scan flat = on_grid([](double) { return 0.5; }, Type::LINEAR);
    const Scan different_below_290 = on_grid([](double w) { return w < 290.0 ? 5.0 : 0.5; }, Type::LINEAR);
    EXPECT_EQ(colorimetry::ISO8980_3_tau_suvb(flat), colorimetry::ISO8980_3_tau_suvb(different_below_290));
}

TEST(LensStandards, SignalColoursComeInOrder) {
    // Clear up to 520 nm and opaque from 525 nm: no red light passes, a little yellow, much
    // green, and most of the blue.
    const Scan blue_glass = on_grid([](double w) { return w <= 520.0 ? 1.0 : 0.0; }, Type::LINEAR);
    const colorimetry::RYG ansi = colorimetry::ANSI_Z80_3_tau_signal(blue_glass);
    EXPECT_EQ(ansi.red, 0.0);
    EXPECT_GT(ansi.yellow, 0.0);
    EXPECT_GT(ansi.green, ansi.yellow);
    const colorimetry::RYGB iso = colorimetry::ISO8980_3_tau_signal_led(blue_glass);
    EXPECT_EQ(iso.red, 0.0);
    EXPECT_GT(iso.blue, iso.green);
    EXPECT_GT(iso.green, iso.yellow);
}

TEST(LensStandards, TablesAndShortProducts) {
    // A table (kind NONE) is accepted where products are integrated: they take the weighting's kind.
    EXPECT_NEAR(colorimetry::ISO8980_3_tau_v(on_grid([](double) { return 0.25; }, Type::NONE)), 0.25, 1e-12);
    const Scan three({500, 505, 510}, {0.5, 0.5, 0.5}, Scan::Default_Wavelength_Epsilon, Type::AKIMA);
    EXPECT_EQ(message_of<std::runtime_error>([&] { (void)colorimetry::ISO8980_3_tau_v(three); }),
              "Cannot initialize a spline, too few points");
}

TEST(SpectralMinimum, StoredPointsInTheClosedBand) {
    const auto min_of = [](std::vector<double> w, std::vector<double> v) {
        return colorimetry::ANSI_Z80_3_tau_spectral_min(Scan(w, v, Scan::Default_Wavelength_Epsilon, Type::NONE));
    };
    EXPECT_EQ(min_of({470, 475, 500, 600, 650, 655}, {0.01, 0.3, 0.2, 0.2, 0.25, 0.0}), 0.2);
    EXPECT_EQ(min_of({470, 475, 500, 650, 655}, {0.01, 0.1, 0.2, 0.25, 0.0}), 0.1);
    EXPECT_EQ(min_of({470, 475, 500, 650, 655}, {0.01, 0.3, 0.2, 0.05, 0.0}), 0.05);
    EXPECT_EQ(min_of({480, 640}, {0.9, 0.7}), 0.7) << "no interpolation between the points";
    for (const Scan& s : {Scan(), Scan({400, 700}, {0.5, 0.5}, 0.0, Type::LINEAR)}) {
        const std::string message =
            message_of<std::invalid_argument>([&] { (void)colorimetry::ANSI_Z80_3_tau_spectral_min(s); });
        EXPECT_NE(message.find("475 and 650 nm"), std::string::npos) << message;
    }
}

TEST(DerivedCache, RecomputesOnlyAfterAnInputChanged) {
    Scan a({1, 2}, {3, 4}, 0.0, Type::LINEAR);
    Scan b({1, 2}, {5, 6}, 0.0, Type::LINEAR);
    colorimetry::DerivedCache<double, 2> cache;
    int computed = 0;
    const auto sum = [&] {
        ++computed;
        return a.integral() + b.integral();
    };
    EXPECT_EQ(cache.get({&a, &b}, sum), 3.5 + 5.5);
    EXPECT_EQ(cache.get({&a, &b}, sum), 9.0);
    (void)a(1.5);
    EXPECT_EQ(cache.get({&a, &b}, sum), 9.0);
    EXPECT_EQ(computed, 1);
    b.add(2, 10);
    EXPECT_EQ(cache.get({&a, &b}, sum), 3.5 + 7.5);
    a = Scan({1, 2}, {3, 4}, 0.0, Type::LINEAR);  // equal content, but a new one
    EXPECT_EQ(cache.get({&a, &b}, sum), 11.0);
    EXPECT_EQ(computed, 3);
}
