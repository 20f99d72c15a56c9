#include "colorimetry/lens_standards.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"
#include "test_support.hpp"

using orvanalysis::Observer;
namespace colorimetry = orvanalysis::colorimetry;

namespace {

// A transmittance on the 5 nm grid from 280 to 780 nm.
Scan lens(const std::function<double(double)>& t, Type kind = Type::AKIMA) { return sampled(280, 780, 5, t, kind); }

using Quantity = std::pair<const char*, double (*)(const Scan&)>;

// Every ratio of a weighted integral, so a flat transmittance gives itself.
const std::vector<Quantity> ratios{
    {"ISO suva", colorimetry::ISO8980_3_tau_suva},
    {"ISO suvb", colorimetry::ISO8980_3_tau_suvb},
    {"AS/NZS suva", colorimetry::ASNZS1067_2016_tau_suva},
    {"ISO 12311 sb", colorimetry::ISO12311_tau_sb},
    {"ANSI tau_v", colorimetry::ANSI_Z80_3_tau_v},
    {"ISO tau_v", colorimetry::ISO8980_3_tau_v},
    {"ANSI red", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).red; }},
    {"ANSI yellow", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).yellow; }},
    {"ANSI green", [](const Scan& t) { return colorimetry::ANSI_Z80_3_tau_signal(t).green; }},
    {"ISO incandescent blue", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_incandescent(t).blue; }},
    {"ISO LED yellow", [](const Scan& t) { return colorimetry::ISO8980_3_tau_signal_led(t).yellow; }},
};

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
        {colorimetry::cie_illuminant_d65(), 0.31271, 0.32902},
        {colorimetry::cie_illuminant_a(), 0.44757, 0.40745},
        {colorimetry::cie_illuminant_c(), 0.31006, 0.31616}};
    for (const auto& [illuminant, x, y] : white_points) {
        const auto xy = colorimetry::CIE_1931_chromaticity(illuminant);
        EXPECT_NEAR(xy.x, x, 1e-4);
        EXPECT_NEAR(xy.y, y, 1e-4);
    }
    const auto none = colorimetry::CIE_1931_chromaticity(sampled(800, 900, 5, [](double) { return 1.0; }));
    EXPECT_TRUE(std::isnan(none.x) && std::isnan(none.y));
}

TEST(LensStandards, FlatAndLinearTransmittances) {
    for (const double level : {1.0, 0.5}) {
        const Scan flat = lens([level](double) { return level; });
        for (const auto& [name, tau] : ratios) {
            EXPECT_NEAR(tau(flat), level, 1e-12) << name << " at " << level;
        }
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uva(flat), level, 1e-12);
        EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uvb(flat), level, 1e-12);
    }
    // Natural cubic splines are linear in their data, so with a CUBIC transmittance every
    // product, and so every ratio, is linear in it.
    const Scan t1 = lens([](double w) { return 0.5 + 0.4 * std::sin(w / 23.0); }, Type::CUBIC);
    const Scan t2 = lens([](double w) { return w / 800.0; }, Type::CUBIC);
    for (const auto& [name, tau] : ratios) {
        EXPECT_NEAR(tau(t1 * 2.0 + t2 * 3.0), 2.0 * tau(t1) + 3.0 * tau(t2), 1e-12) << name;
    }
    // Plain means divide by the nominal band width, whatever the data cover.
    const Scan partial = make({315, 350}, {0.4, 0.4});
    EXPECT_NEAR(colorimetry::ANSI_Z80_3_tau_uva(partial), 0.4 * 35.0 / 65.0, 1e-15);
    EXPECT_EQ(colorimetry::ANSI_Z80_3_tau_uvb(partial), 0.0);
    EXPECT_NEAR(colorimetry::ISO8980_3_tau_v(lens([](double) { return 0.25; }, Type::NONE)), 0.25, 1e-12)
        << "a table takes the weighting's kind";
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
    auto& solar = const_cast<Scan&>(colorimetry::solar_spectral_irradiance());
    auto& hazard = const_cast<Scan&>(colorimetry::blue_light_hazard());
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
