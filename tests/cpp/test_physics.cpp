#include "physics/blackbody.hpp"
#include "test_support.hpp"

#include <cstring>

namespace constants = orvanalysis::physics::constants;
using namespace orvanalysis::physics;

namespace {

std::uint64_t bits(double x) {
    std::uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

}  // namespace

TEST(Blackbody, PublishedConstantsAndLaws) {
    // σ = 2π⁵k⁴ / (15h³c²) holds for the constants to their 9 digits.
    const double sigma = 2 * std::pow(M_PI, 5) * std::pow(constants::k, 4) /
                         (15 * std::pow(constants::h, 3) * constants::c * constants::c);
    EXPECT_NEAR(stefan_boltzmann_law(1) / sigma, 1.0, 1e-9);
    EXPECT_NEAR(wiens_displacement_law_wl(5778) * 5778, 2.897771955e-3, 1e-9);  // CODATA 2018 b
    EXPECT_NEAR(wiens_displacement_law_T(wiens_displacement_law_wl(5778)), 5778.0, 1e-9);
    EXPECT_EQ(wiens_displacement_law_T(0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(stefan_boltzmann_law(1000), 1e12 * constants::sigma);
    EXPECT_DOUBLE_EQ(stefan_boltzmann_law_surface(1000, 2, 0.25), 0.5 * stefan_boltzmann_law(1000));
}

TEST(Blackbody, UnitsEvaluationOrderAndDerivatives) {
    EXPECT_NEAR(planks_law_sr(5778, 500e-9), 2.6376e13, 0.0001e13);
    EXPECT_EQ(planks_law_sr_nm(5778, 500), planks_law_sr(5778, 500 * 1e-9) * 1e-9);
    EXPECT_EQ(planks_law_sr_um(5778, 0.5), planks_law_sr(5778, 0.5 * 1e-6) * 1e-6);
    // Bit for bit the written order: e = exp(hc / ((λ k) T)), then 2hc² / ((e - 1) λ⁵).
    const volatile double lambda = 633e-9;
    const volatile double T = 3100.0;
    const double e = std::exp(constants::hc / ((lambda * constants::k) * T));
    EXPECT_EQ(bits(planks_law_sr(T, lambda)), bits(constants::two_hc2 / ((e - 1.0) * std::pow(lambda, 5.0))));
    EXPECT_EQ(planks_law_sr(300, 1e-9), 0.0) << "the exponential overflows";
    for (const double t : {800.0, 5778.0}) {
        for (const double l : {300e-9, 1e-6, 10e-6}) {
            const double by_T = (planks_law_sr(t * (1 + 1e-6), l) - planks_law_sr(t * (1 - 1e-6), l)) / (2e-6 * t);
            const double by_l = (planks_law_sr(t, l * (1 + 1e-6)) - planks_law_sr(t, l * (1 - 1e-6))) / (2e-6 * l);
            EXPECT_NEAR(planks_law_sr_deriv_T(t, l) / by_T, 1.0, 1e-6) << t << " " << l;
            if (std::abs(by_l) > 1e-3 * planks_law_sr(t, l) / l) {
                EXPECT_NEAR(planks_law_sr_deriv_wl(t, l) / by_l, 1.0, 1e-5) << t << " " << l;
            }
        }
    }
}
