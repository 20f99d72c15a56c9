#include "colorimetry/lens_standards.hpp"

#include "colorimetry/tristimulus.hpp"
#include "curves/reference_spectra.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>

namespace orvanalysis::colorimetry {

namespace {

// Nominal bands, nm: ANSI Z80.3-2015 3.8; ISO 8980-3:2013 3.1-3.5; AS/NZS 1067.2:2016;
// ISO 12311:2013 7.4.
constexpr Band uva{315.0, 380.0};
constexpr Band uvb{280.0, 315.0};
constexpr Band uva_asnzs{315.0, 400.0};
constexpr Band blue{380.0, 500.0};
constexpr Band visible{visible_min_wavelength, visible_max_wavelength};
constexpr Band spectral_min_band{475.0, 650.0};

// What each quantity weights the transmittance by. The curves are read at every call: they are
// process-wide and may be changed through their Python views.
Weighting solar_uv() { return {&curves::solar_spectral_irradiance(), &curves::relative_spectral_effectiveness()}; }
Weighting solar_blue() { return {&curves::solar_spectral_irradiance(), &curves::blue_light_hazard()}; }
Weighting luminous_c() { return {&curves::cie_1931_standard_observer_y(), &curves::cie_illuminant_c()}; }
Weighting luminous_d65() { return {&curves::cie_1931_standard_observer_y(), &curves::cie_illuminant_d65()}; }
std::array<const Scan*, 3> ansi_signal_lenses() {
    return {&curves::ANSI_Z80_3_2015_red_signal_transmittance(), &curves::ANSI_Z80_3_2015_yellow_signal_transmittance(),
            &curves::ANSI_Z80_3_2015_green_signal_transmittance()};
}
Weighting ansi_signal(const Scan& lens) {
    return {&curves::cie_1931_standard_observer_y(), &curves::cie_illuminant_a(), &lens};
}
std::array<const Scan*, 4> iso_incandescent() {
    return {&curves::ISO8980_3_incandescent_red(), &curves::ISO8980_3_incandescent_yellow(),
            &curves::ISO8980_3_incandescent_green(), &curves::ISO8980_3_incandescent_blue()};
}
std::array<const Scan*, 4> iso_led() {
    return {&curves::ISO8980_3_led_red(), &curves::ISO8980_3_led_yellow(), &curves::ISO8980_3_led_green(),
            &curves::ISO8980_3_led_blue()};
}
constexpr std::array<const char*, 4> colours{"red", "yellow", "green", "blue"};

double mean(const Scan& trans, const Weighting& weighting, Band band, Method method) {
    return weighted_totals(trans, weighting, band, method).mean();
}

RYGB iso_signal(const Scan& trans, const std::array<const Scan*, 4>& signals, Method method) {
    std::array<double, 4> tau{};
    for (std::size_t c = 0; c < signals.size(); ++c) {
        tau[c] = mean(trans, {signals[c]}, visible, method);
    }
    return {tau[0], tau[1], tau[2], tau[3]};
}

// CIE 1931 (x, y) of the transmittance behind the given lights and filters.
ChromaticityPoint chromaticity(const Scan& trans, Weighting light, Method method) {
    const Observer& observer = cie_1931_observer();
    std::array<double, 3> xyz{};
    const std::array<const Scan*, 3> cmfs{&observer.x, &observer.y, &observer.z};
    for (std::size_t i = 0; i < 3; ++i) {
        light.push_back(cmfs[i]);
        xyz[i] = weighted_totals(trans, light, visible, method).weighted;
        light.pop_back();
    }
    const double sum = xyz[1] + xyz[0] + xyz[2];
    return {xyz[0] / sum, xyz[1] / sum};
}

}  // namespace

double ANSI_Z80_3_tau_uva(const Scan& trans, Method method) { return mean(trans, {}, uva, method); }

double ANSI_Z80_3_tau_uvb(const Scan& trans, Method method) { return mean(trans, {}, uvb, method); }

double ISO8980_3_tau_uva(const Scan& trans, Method method) { return ANSI_Z80_3_tau_uva(trans, method); }

double ISO8980_3_tau_suva(const Scan& trans, Method method) { return mean(trans, solar_uv(), uva, method); }

double ISO8980_3_tau_suvb(const Scan& trans, Method method) { return mean(trans, solar_uv(), uvb, method); }

double ASNZS1067_2016_tau_suva(const Scan& trans, Method method) { return mean(trans, solar_uv(), uva_asnzs, method); }

double ISO12311_tau_sb(const Scan& trans, Method method) { return mean(trans, solar_blue(), blue, method); }

double ANSI_Z80_3_tau_v(const Scan& trans, Method method) { return mean(trans, luminous_c(), visible, method); }

double ISO8980_3_tau_v(const Scan& trans, Method method) { return mean(trans, luminous_d65(), visible, method); }

RYG ANSI_Z80_3_tau_signal(const Scan& trans, Method method) {
    const auto lenses = ansi_signal_lenses();
    RYG result;
    result.red = mean(trans, ansi_signal(*lenses[0]), visible, method);
    result.yellow = mean(trans, ansi_signal(*lenses[1]), visible, method);
    result.green = mean(trans, ansi_signal(*lenses[2]), visible, method);
    return result;
}

RYGB ISO8980_3_tau_signal_incandescent(const Scan& trans, Method method) {
    return iso_signal(trans, iso_incandescent(), method);
}

RYGB ISO8980_3_tau_signal_led(const Scan& trans, Method method) { return iso_signal(trans, iso_led(), method); }

double ANSI_Z80_3_tau_spectral_min(const Scan& trans) {
    const auto lowest = trans.min_in_range(spectral_min_band.from, spectral_min_band.to);
    if (lowest == trans.end()) {
        throw std::invalid_argument(
            "ANSI_Z80_3_tau_spectral_min: the transmittance has no point between 475 and 650 nm");
    }
    return lowest->second;
}

ChromaticityPoint ANSI_Z80_3_daylight_chromaticity(const Scan& scan, Method method) {
    return chromaticity(scan, {&curves::cie_illuminant_d65()}, method);
}

ChromaticityPoint ANSI_Z80_3_yellow_chromaticity(const Scan& scan, Method method) {
    return chromaticity(scan, {&curves::ANSI_Z80_3_2015_yellow_signal_transmittance(), &curves::cie_illuminant_a()},
                        method);
}

ChromaticityPoint ANSI_Z80_3_green_chromaticity(const Scan& scan, Method method) {
    return chromaticity(scan, {&curves::ANSI_Z80_3_2015_green_signal_transmittance(), &curves::cie_illuminant_a()},
                        method);
}

CIELAB CIELAB_of_transmittance(const Scan& trans, const Scan& illuminant, const Observer& observer, Method method) {
    // X / Xn, Y / Yn and Z / Zn are the transmittance's means weighted by the illuminant times
    // each colour-matching function, over the same wavelengths for the lens and the white.
    const double fx = CIELAB_f(mean(trans, {&illuminant, &observer.x}, visible, method));
    const double fy = CIELAB_f(mean(trans, {&illuminant, &observer.y}, visible, method));
    const double fz = CIELAB_f(mean(trans, {&illuminant, &observer.z}, visible, method));
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

std::vector<std::pair<std::string, Band>> lens_quantity_bands() {
    std::vector<std::pair<std::string, Band>> bands{
        {"ISO8980_3_tau_v", weighting_band(luminous_d65(), visible)},
        {"ANSI_Z80_3_tau_v", weighting_band(luminous_c(), visible)},
        {"ANSI_Z80_3_tau_uva", uva},
        {"ANSI_Z80_3_tau_uvb", uvb},
        {"ISO8980_3_tau_uva", uva},
        {"ISO8980_3_tau_suva", weighting_band(solar_uv(), uva)},
        {"ISO8980_3_tau_suvb", weighting_band(solar_uv(), uvb)},
        {"ASNZS1067_2016_tau_suva", weighting_band(solar_uv(), uva_asnzs)},
        {"ISO12311_tau_sb", weighting_band(solar_blue(), blue)},
        {"ANSI_Z80_3_tau_spectral_min", spectral_min_band},
    };
    const auto lenses = ansi_signal_lenses();
    for (std::size_t c = 0; c < lenses.size(); ++c) {
        bands.emplace_back(std::string("ANSI_Z80_3_tau_signal_") + colours[c],
                           weighting_band(ansi_signal(*lenses[c]), visible));
    }
    const std::array<std::pair<const char*, std::array<const Scan*, 4>>, 2> lights{
        {{"ISO8980_3_tau_signal_incandescent_", iso_incandescent()}, {"ISO8980_3_tau_signal_led_", iso_led()}}};
    for (const auto& [prefix, signals] : lights) {
        for (std::size_t c = 0; c < signals.size(); ++c) {
            bands.emplace_back(std::string(prefix) + colours[c], weighting_band({signals[c]}, visible));
        }
    }
    const Scan& y = cie_1931_observer().y;
    bands.emplace_back("ANSI_Z80_3_daylight_chromaticity",
                       weighting_band({&curves::cie_illuminant_d65(), &y}, visible));
    bands.emplace_back(
        "ANSI_Z80_3_yellow_chromaticity",
        weighting_band({&curves::ANSI_Z80_3_2015_yellow_signal_transmittance(), &curves::cie_illuminant_a(), &y},
                       visible));
    bands.emplace_back(
        "ANSI_Z80_3_green_chromaticity",
        weighting_band({&curves::ANSI_Z80_3_2015_green_signal_transmittance(), &curves::cie_illuminant_a(), &y},
                       visible));
    return bands;
}

std::vector<std::pair<std::string, WeightedMean>> lens_means() {
    std::vector<std::pair<std::string, WeightedMean>> means{
        {"ISO8980_3_tau_v", {luminous_d65(), visible}},
        {"ANSI_Z80_3_tau_v", {luminous_c(), visible}},
        {"ANSI_Z80_3_tau_uva", {{}, uva}},
        {"ANSI_Z80_3_tau_uvb", {{}, uvb}},
        {"ISO8980_3_tau_suva", {solar_uv(), uva}},
        {"ISO8980_3_tau_suvb", {solar_uv(), uvb}},
        {"ASNZS1067_2016_tau_suva", {solar_uv(), uva_asnzs}},
        {"ISO12311_tau_sb", {solar_blue(), blue}},
    };
    const auto lenses = ansi_signal_lenses();
    for (std::size_t c = 0; c < lenses.size(); ++c) {
        means.push_back({std::string("ANSI_Z80_3_tau_signal_") + colours[c], {ansi_signal(*lenses[c]), visible}});
    }
    const std::array<std::pair<const char*, std::array<const Scan*, 4>>, 2> lights{
        {{"ISO8980_3_tau_signal_incandescent_", iso_incandescent()}, {"ISO8980_3_tau_signal_led_", iso_led()}}};
    for (const auto& [prefix, signals] : lights) {
        for (std::size_t c = 0; c < signals.size(); ++c) {
            means.push_back({std::string(prefix) + colours[c], {{signals[c]}, visible}});
        }
    }
    // The lights of the chromaticities, as chromaticity() puts each colour-matching function after them.
    const Observer& observer = cie_1931_observer();
    const std::array<std::pair<const char*, Weighting>, 3> chromaticity_lights{
        {{"daylight_", {&curves::cie_illuminant_d65()}},
         {"yellow_signal_", {&curves::ANSI_Z80_3_2015_yellow_signal_transmittance(), &curves::cie_illuminant_a()}},
         {"green_signal_", {&curves::ANSI_Z80_3_2015_green_signal_transmittance(), &curves::cie_illuminant_a()}}}};
    const std::array<std::pair<const char*, const Scan*>, 3> cmfs{
        {{"X", &observer.x}, {"Y", &observer.y}, {"Z", &observer.z}}};
    for (const auto& [prefix, light] : chromaticity_lights) {
        for (const auto& [letter, cmf] : cmfs) {
            Weighting weighting = light;
            weighting.push_back(cmf);
            means.push_back({std::string(prefix) + letter, {weighting, visible}});
        }
    }
    return means;
}

}  // namespace orvanalysis::colorimetry
