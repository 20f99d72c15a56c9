#include "physics/blackbody.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace constants = orvanalysis::physics_constants;
using namespace orvanalysis;

namespace {

std::uint64_t bits(double x) {
    std::uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// ∫ f(λ) dλ from a to b by Simpson's rule in ln λ (the radiance spans decades of wavelength).
template <class F>
double log_simpson(F f, double a, double b, int intervals) {
    const double la = std::log(a);
    const double h = (std::log(b) - la) / intervals;
    double sum = 0;
    for (int i = 0; i <= intervals; ++i) {
        const double lambda = std::exp(la + i * h);
        const double weight = (i == 0 || i == intervals) ? 1 : (i % 2 ? 4 : 2);
        sum += weight * f(lambda) * lambda;
    }
    return sum * h / 3;
}

}  // namespace

TEST(BlackbodyConstants, HaveTheirExactBits) {
    EXPECT_EQ(bits(constants::h), 0x390B860B8B13E1DAULL);
    EXPECT_EQ(bits(constants::c), 0x41B1DE784A000000ULL);
    EXPECT_EQ(bits(constants::k), 0x3B30B0E7F1528C6DULL);
    EXPECT_EQ(bits(constants::hc), 0x3ACEBD1F10915C4EULL);
    EXPECT_EQ(bits(constants::two_hc2), 0x3CA12A2C1499FF71ULL);
    EXPECT_EQ(bits(constants::five_k), 0x3B54DD21EDA72F88ULL);
    EXPECT_EQ(bits(constants::sigma), 0x3E6E7156CD36276BULL);
    EXPECT_EQ(bits(constants::wien_b), 0x3F67BD118CD3093DULL);
}

TEST(PlancksLaw, IntegratesToTheStefanBoltzmannLaw) {
    // π ∫ B(λ, T) dλ = σT⁴; σ = 2π⁵k⁴ / (15h³c²) holds for these constants to their 9 digits.
    for (const double T : {300.0, 2856.0, 5778.0}) {
        const double peak = constants::wien_b / T;
        const double integral =
            log_simpson([T](double l) { return planks_law_sr(T, l); }, peak / 50, peak * 500, 20000);
        EXPECT_NEAR(M_PI * integral / stefan_boltzmann_law(T), 1.0, 1e-6) << T;
    }
}

TEST(PlancksLaw, PeaksWhereWienSays) {
    // Golden-section search for the radiance maximum, independent of the library's solvers. The
    // maximum lies at hc / (4.965114... k T); Wien's constant 0.0028977721 m K comes from a later
    // constants adjustment than h and k, and differs from that by 1.24e-6 relative.
    for (const double T : {1000.0, 5778.0}) {
        double a = 0.2 * constants::wien_b / T;
        double b = 5.0 * constants::wien_b / T;
        const double g = (std::sqrt(5.0) - 1) / 2;
        for (int i = 0; i < 200; ++i) {
            const double c = b - g * (b - a);
            const double d = a + g * (b - a);
            if (planks_law_sr(T, c) > planks_law_sr(T, d)) {
                b = d;
            } else {
                a = c;
            }
        }
        // A flat top locates to about sqrt(machine epsilon) of its position.
        EXPECT_NEAR(0.5 * (a + b), constants::hc / (4.965114231744276 * constants::k * T), 1e-7 * 0.5 * (a + b)) << T;
        EXPECT_NEAR(0.5 * (a + b) / wiens_displacement_law_wl(T), 1.0, 1.5e-6) << T;
    }
    EXPECT_NEAR(wiens_displacement_law_wl(5778), 501.5e-9, 0.05e-9);
    EXPECT_NEAR(wiens_displacement_law_T(wiens_displacement_law_wl(5778)), 5778.0, 1e-9);
    EXPECT_EQ(wiens_displacement_law_T(0), std::numeric_limits<double>::infinity());
}

TEST(PlancksLaw, UnitsAndTheStatedEvaluationOrder) {
    const double radiance = planks_law_sr(5778, 500e-9);
    EXPECT_NEAR(radiance, 2.6376e13, 0.0001e13);
    EXPECT_EQ(planks_law_sr_nm(5778, 500), planks_law_sr(5778, 500 * 1e-9) * 1e-9);
    EXPECT_EQ(planks_law_sr_um(5778, 0.5), planks_law_sr(5778, 0.5 * 1e-6) * 1e-6);
    // Bit for bit the written order: e = exp(hc / ((λ k) T)), then 2hc² / ((e - 1) λ⁵).
    const volatile double lambda = 633e-9;
    const volatile double T = 3100.0;
    const double e = std::exp(constants::hc / ((lambda * constants::k) * T));
    EXPECT_EQ(bits(planks_law_sr(T, lambda)), bits(constants::two_hc2 / ((e - 1.0) * std::pow(lambda, 5.0))));
    EXPECT_EQ(planks_law_sr(300, 1e-9), 0.0) << "the exponential overflows";
}

TEST(PlancksLaw, DerivativesAgreeWithFiniteDifferences) {
    for (const double T : {800.0, 5778.0}) {
        for (const double lambda : {300e-9, 1e-6, 10e-6}) {
            const double dT = 1e-6 * T;
            const double dl = 1e-6 * lambda;
            const double by_T = (planks_law_sr(T + dT, lambda) - planks_law_sr(T - dT, lambda)) / (2 * dT);
            const double by_l = (planks_law_sr(T, lambda + dl) - planks_law_sr(T, lambda - dl)) / (2 * dl);
            EXPECT_NEAR(planks_law_sr_deriv_T(T, lambda) / by_T, 1.0, 1e-6) << T << " " << lambda;
            if (std::abs(by_l) > 1e-3 * planks_law_sr(T, lambda) / lambda) {
                EXPECT_NEAR(planks_law_sr_deriv_wl(T, lambda) / by_l, 1.0, 1e-5) << T << " " << lambda;
            }
        }
    }
}

TEST(StefanBoltzmann, SurfaceOfUnitAreaAndEmissivity) {
    EXPECT_EQ(stefan_boltzmann_law_surface(1234.5, 1, 1), stefan_boltzmann_law(1234.5));
    EXPECT_EQ(stefan_boltzmann_law(1000), 1e12 * constants::sigma);
    EXPECT_DOUBLE_EQ(stefan_boltzmann_law_surface(1000, 2, 0.25), 0.5 * stefan_boltzmann_law(1000));
}
