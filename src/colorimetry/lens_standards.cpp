#include "colorimetry/lens_standards.hpp"

#include "colorimetry/derived_cache.hpp"
#include "colorimetry/tristimulus.hpp"
#include "core/scan_arithmetic.hpp"
#include "curves/reference_spectra.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>

namespace orvanalysis::colorimetry {

namespace {

constexpr double uvb_min = 280.0;
constexpr double uv_boundary = 315.0;
constexpr double uva_max = 380.0;
constexpr double uva_max_asnzs = 400.0;
constexpr double blue_max = 500.0;
constexpr double spectral_min_from = 475.0;
constexpr double spectral_min_to = 650.0;

using Weighting = DerivedCache<double, 2>;

// ∫[a, b] ((T × w1) × w2) / ∫[a, b] (w1 × w2), the products built in that order.
double weighted_mean(const Scan& trans, const Scan& w1, const Scan& w2, double a, double b, Weighting& weighting) {
    const double denominator = weighting.get({&w1, &w2}, [&] { return (w1 * w2).integral(a, b); });
    return ((trans * w1) * w2).integral(a, b) / denominator;
}

using SignalIntegrals = std::array<DerivedCache<double, 1>, 4>;

// ∫ (T × E_c) / ∫ E_c over the visible band for the red, yellow, green and blue signals.
RYGB signal_transmittances(const Scan& trans, const std::array<const Scan*, 4>& signals, SignalIntegrals& integrals) {
    std::array<double, 4> tau{};
    for (std::size_t c = 0; c < signals.size(); ++c) {
        const Scan& signal = *signals[c];
        const double denominator = integrals[c].get(
            {&signal}, [&] { return signal.integral(visible_min_wavelength, visible_max_wavelength); });
        tau[c] = (trans * signal).integral(visible_min_wavelength, visible_max_wavelength) / denominator;
    }
    return {tau[0], tau[1], tau[2], tau[3]};
}

}  // namespace

double ANSI_Z80_3_tau_uva(const Scan& trans) { return trans.integral(uv_boundary, uva_max) * 0.015384615384615385; }

double ANSI_Z80_3_tau_uvb(const Scan& trans) { return trans.integral(uvb_min, uv_boundary) * 0.02857142857142857; }

double ISO8980_3_tau_uva(const Scan& trans) { return ANSI_Z80_3_tau_uva(trans); }

double ISO8980_3_tau_suva(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, solar_spectral_irradiance(), relative_spectral_effectiveness(), uv_boundary, uva_max,
                         weighting);
}

double ISO8980_3_tau_suvb(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, solar_spectral_irradiance(), relative_spectral_effectiveness(), uvb_min, uv_boundary,
                         weighting);
}

double ASNZS1067_2016_tau_suva(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, solar_spectral_irradiance(), relative_spectral_effectiveness(), uv_boundary,
                         uva_max_asnzs, weighting);
}

double ISO12311_tau_sb(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, solar_spectral_irradiance(), blue_light_hazard(), uva_max, blue_max, weighting);
}

double ANSI_Z80_3_tau_v(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, cie_1931_standard_observer_y(), cie_illuminant_c(), visible_min_wavelength,
                         visible_max_wavelength, weighting);
}

double ISO8980_3_tau_v(const Scan& trans) {
    static Weighting weighting;
    return weighted_mean(trans, cie_1931_standard_observer_y(), cie_illuminant_d65(), visible_min_wavelength,
                         visible_max_wavelength, weighting);
}

RYG ANSI_Z80_3_tau_signal(const Scan& trans) {
    static DerivedCache<Scan, 2> luminous_a;  // V(λ) × illuminant A
    static Weighting red;
    static Weighting yellow;
    static Weighting green;
    const Scan& y = cie_1931_standard_observer_y();
    const Scan& a = cie_illuminant_a();
    const Scan& v_a = luminous_a.get({&y, &a}, [&] { return y * a; });
    const Scan weighted = trans * v_a;
    const auto tau = [&](const Scan& lens, Weighting& weighting) {
        const double denominator = weighting.get(
            {&v_a, &lens}, [&] { return (v_a * lens).integral(visible_min_wavelength, visible_max_wavelength); });
        return (weighted * lens).integral(visible_min_wavelength, visible_max_wavelength) / denominator;
    };
    RYG result;
    result.red = tau(ANSI_Z80_3_2015_red_signal_transmittance(), red);
    result.yellow = tau(ANSI_Z80_3_2015_yellow_signal_transmittance(), yellow);
    result.green = tau(ANSI_Z80_3_2015_green_signal_transmittance(), green);
    return result;
}

RYGB ISO8980_3_tau_signal_incandescent(const Scan& trans) {
    static SignalIntegrals integrals;
    return signal_transmittances(trans,
                                 {&ISO8980_3_incandescent_red(), &ISO8980_3_incandescent_yellow(),
                                  &ISO8980_3_incandescent_green(), &ISO8980_3_incandescent_blue()},
                                 integrals);
}

RYGB ISO8980_3_tau_signal_led(const Scan& trans) {
    static SignalIntegrals integrals;
    return signal_transmittances(
        trans, {&ISO8980_3_led_red(), &ISO8980_3_led_yellow(), &ISO8980_3_led_green(), &ISO8980_3_led_blue()},
        integrals);
}

double ANSI_Z80_3_tau_spectral_min(const Scan& trans) {
    const auto lowest = trans.min_in_range(spectral_min_from, spectral_min_to);
    if (lowest == trans.end()) {
        throw std::invalid_argument(
            "ANSI_Z80_3_tau_spectral_min: the transmittance has no point between 475 and 650 nm");
    }
    return lowest->second;
}

ChromaticityPoint ANSI_Z80_3_daylight_chromaticity(const Scan& scan) {
    return CIE_1931_chromaticity(scan * cie_illuminant_d65());
}

ChromaticityPoint ANSI_Z80_3_yellow_chromaticity(const Scan& scan) {
    return CIE_1931_chromaticity((scan * ANSI_Z80_3_2015_yellow_signal_transmittance()) * cie_illuminant_a());
}

ChromaticityPoint ANSI_Z80_3_green_chromaticity(const Scan& scan) {
    return CIE_1931_chromaticity((scan * ANSI_Z80_3_2015_green_signal_transmittance()) * cie_illuminant_a());
}

}  // namespace orvanalysis::colorimetry
