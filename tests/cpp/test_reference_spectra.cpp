#include "curves/reference_spectra.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace curves = orvanalysis::colorimetry;
using orvanalysis::Scan;

namespace {

struct Expected {
    const char* name;
    const Scan& (*curve)();
    std::size_t points;
    double first;
    double last;
    // Published values the table must hold, as decimal text: each must be stored as the
    // double nearest to it.
    std::vector<std::pair<double, const char*>> rows;
};

const std::vector<Expected>& catalogue() {
    static const std::vector<Expected> expected{
        {"AM0_ASTM_E490",
         curves::AM0_ASTM_E490,
         1697,
         119.5,
         1e6,
         {{119.5, "0.0000619"}, {450.5, "2.144"}, {1000, "0.7479"}, {4000, "0.008669"}, {1e6, "3.38e-12"}}},
        {"AM15D_ASTM_G17303",
         curves::AM15D_ASTM_G17303,
         2002,
         280,
         4000,
         {{280, "2.5361e-26"}, {400, "0.83989"}, {531, "1.4348"}, {1000, "0.69159"}, {4000, "0.0071199"}}},
        {"AM15G_ASTM_G17303",
         curves::AM15G_ASTM_G17303,
         2002,
         280,
         4000,
         {{280, "4.7309e-23"}, {400, "1.1141"}, {495, "1.6485"}, {1000, "0.73532"}, {4000, "0.0071043"}}},
        {"ANSI_Z80_3_2015_red_signal_transmittance",
         curves::ANSI_Z80_3_2015_red_signal_transmittance,
         20,
         590,
         780,
         {{590, "0"}, {620, "0.41"}, {700, "0.853"}, {780, "0.832"}}},
        {"ANSI_Z80_3_2015_yellow_signal_transmittance",
         curves::ANSI_Z80_3_2015_yellow_signal_transmittance,
         29,
         500,
         780,
         {{530, "0.0126"}, {680, "0.891"}, {780, "0.88"}}},
        {"ANSI_Z80_3_2015_green_signal_transmittance",
         curves::ANSI_Z80_3_2015_green_signal_transmittance,
         41,
         380,
         780,
         {{380, "0.0714"}, {480, "0.6409"}, {770, "0.0001"}, {780, "0"}}},
        {"ISO8980_3_incandescent_red",
         curves::ISO8980_3_incandescent_red,
         55,
         495,
         765,
         {{495, "0"}, {610, "9.35"}, {765, "0"}}},
        {"ISO8980_3_incandescent_yellow",
         curves::ISO8980_3_incandescent_yellow,
         55,
         470,
         740,
         {{575, "5.47"}, {740, "0"}}},
        {"ISO8980_3_incandescent_green",
         curves::ISO8980_3_incandescent_green,
         65,
         430,
         750,
         {{545, "7.75"}, {750, "0"}}},
        {"ISO8980_3_incandescent_blue", curves::ISO8980_3_incandescent_blue, 75, 395, 765, {{510, "6.8"}, {765, "0"}}},
        {"ISO8980_3_led_red", curves::ISO8980_3_led_red, 28, 550, 685, {{635, "19.03"}, {685, "0"}}},
        {"ISO8980_3_led_yellow", curves::ISO8980_3_led_yellow, 26, 515, 640, {{590, "26.72"}, {640, "0"}}},
        {"ISO8980_3_led_green", curves::ISO8980_3_led_green, 42, 435, 640, {{505, "11.82"}, {640, "0"}}},
        {"ISO8980_3_led_blue", curves::ISO8980_3_led_blue, 51, 420, 670, {{460, "14.17"}, {670, "0"}}},
        {"aphake_hazard",
         curves::aphake_hazard,
         81,
         300,
         700,
         {{300, "6"}, {335, "6"}, {340, "5.88"}, {520, "0.0398"}, {600, "0.001"}, {700, "0.001"}}},
        {"blue_light_hazard",
         curves::blue_light_hazard,
         25,
         380,
         500,
         {{380, "0.006"}, {435, "1"}, {440, "1"}, {500, "0.1"}}},
        {"cie_1931_standard_observer_x",
         curves::cie_1931_standard_observer_x,
         81,
         380,
         780,
         {{380, "0.001368"}, {600, "1.0622"}, {780, "0.000042"}}},
        {"cie_1931_standard_observer_y",
         curves::cie_1931_standard_observer_y,
         81,
         380,
         780,
         {{380, "0.000039"}, {555, "1"}, {780, "0.000015"}}},
        {"cie_1931_standard_observer_z",
         curves::cie_1931_standard_observer_z,
         55,
         380,
         650,
         {{380, "0.00645"}, {445, "1.7826"}, {645, "0.00001"}, {650, "0"}}},
        {"cie_1964_standard_observer_x",
         curves::cie_1964_standard_observer_x,
         81,
         380,
         780,
         {{380, "0.00016"}, {595, "1.1343"}, {780, "0.000033"}}},
        {"cie_1964_standard_observer_y",
         curves::cie_1964_standard_observer_y,
         81,
         380,
         780,
         {{380, "0.000017"}, {555, "0.99911"}, {780, "0.000013"}}},
        {"cie_1964_standard_observer_z",
         curves::cie_1964_standard_observer_z,
         37,
         380,
         560,
         {{380, "0.000705"}, {445, "2.0273"}, {555, "0.001091"}, {560, "0"}}},
        {"cie_illuminant_a",
         curves::cie_illuminant_a,
         97,
         300,
         780,
         {{300, "0.930483"}, {380, "9.7951"}, {560, "100"}, {780, "241.675"}}},
        {"cie_illuminant_c",
         curves::cie_illuminant_c,
         41,
         380,
         780,
         {{380, "0.3134"}, {450, "1.1776"}, {560, "1"}, {780, "0.5613"}}},
        {"cie_illuminant_d65",
         curves::cie_illuminant_d65,
         107,
         300,
         830,
         {{300, "0.0341"}, {380, "49.9755"}, {460, "117.812"}, {560, "100"}, {830, "60.3125"}}},
        {"relative_spectral_effectiveness",
         curves::relative_spectral_effectiveness,
         25,
         280,
         400,
         {{280, "0.88"}, {300, "0.3"}, {370, "0.000093"}, {400, "0.00003"}}},
        {"solar_spectral_irradiance",
         curves::solar_spectral_irradiance,
         43,
         290,
         500,
         {{290, "0"}, {295, "0.000209"}, {380, "336"}, {415, "705"}, {500, "1215"}}},
    };
    return expected;
}

}  // namespace

TEST(ReferenceSpectra, EveryCurveHasItsPublishedShape) {
    ASSERT_EQ(catalogue().size(), 27u);
    for (const Expected& e : catalogue()) {
        SCOPED_TRACE(e.name);
        const Scan& curve = e.curve();
        EXPECT_EQ(curve.size(), e.points);
        EXPECT_EQ(curve.min_wavelength(), e.first);
        EXPECT_EQ(curve.max_wavelength(), e.last);
        EXPECT_EQ(curve.epsilon(), Scan::Default_Wavelength_Epsilon);
        EXPECT_EQ(curve.interpolation(), Scan::Default_Interpolation);
        for (const auto& [w, text] : e.rows) {
            ASSERT_TRUE(curve.contains(w)) << w;
            EXPECT_EQ(curve.at(w), std::strtod(text, nullptr)) << w << " nm: " << text;
        }
    }
}

TEST(ReferenceSpectra, ExtremesAreWhereThePublishedTablesPutThem) {
    const auto peak = [](const Scan& s) { return s.max_in_range(s.min_wavelength(), s.max_wavelength())->first; };
    EXPECT_EQ(peak(curves::AM0_ASTM_E490()), 450.5);
    EXPECT_EQ(peak(curves::AM15G_ASTM_G17303()), 495.0);
    EXPECT_EQ(peak(curves::AM15D_ASTM_G17303()), 531.0);
    EXPECT_EQ(peak(curves::cie_1931_standard_observer_x()), 600.0);
    EXPECT_EQ(peak(curves::cie_1931_standard_observer_z()), 445.0);
    EXPECT_EQ(peak(curves::cie_1964_standard_observer_x()), 595.0);
    EXPECT_EQ(peak(curves::cie_illuminant_d65()), 460.0);
}

TEST(ReferenceSpectra, SolarIntegralsMatchTheirStandards) {
    // Trapezoidal integrals of the tables: 1366.0908, 1000.3707 and 900.1393 W m-2.
    const auto trapezoid = [](const Scan& s) {
        double sum = 0;
        for (auto it = s.begin(); it + 1 != s.end(); ++it) {
            sum += 0.5 * (it->second + (it + 1)->second) * ((it + 1)->first - it->first);
        }
        return sum;
    };
    EXPECT_NEAR(trapezoid(curves::AM0_ASTM_E490()), 1366.0908, 1e-4);
    EXPECT_NEAR(trapezoid(curves::AM15G_ASTM_G17303()), 1000.3707, 1e-4);
    EXPECT_NEAR(trapezoid(curves::AM15D_ASTM_G17303()), 900.1393, 1e-4);
}

TEST(ReferenceSpectra, CieColumnSumsMatchThePublishedOnes) {
    const auto sum = [](const Scan& s) {
        double total = 0;
        for (const double v : s.values()) {
            total += v;
        }
        return total;
    };
    EXPECT_NEAR(sum(curves::cie_1931_standard_observer_x()), 21.371524, 1e-9);
    EXPECT_NEAR(sum(curves::cie_1931_standard_observer_y()), 21.371327, 1e-9);
    EXPECT_NEAR(sum(curves::cie_1931_standard_observer_z()), 21.371540, 1e-9);
}

TEST(ReferenceSpectra, EachAccessorReturnsOneProcessWideCurve) {
    EXPECT_EQ(&curves::cie_illuminant_d65(), &curves::cie_illuminant_d65());
    EXPECT_NE(&curves::cie_illuminant_a(), &curves::cie_illuminant_d65());
}
