// Submodule colorimetry: colour records, tristimulus values and the lens transmittance standards.
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/photometry.hpp"
#include "colorimetry/tristimulus.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <string>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace colorimetry = orvanalysis::colorimetry;

// What every lens quantity's docstring says of its method and its band.
const std::string lens_method_doc =
    " method is 'integral' (the default: the integral of the transmittance's own curve, held between each two "
    "neighbouring points to their values, times the weighting curves) or 'sum' (the standards' summation at the "
    "weighting tables' wavelengths, 5 nm, band ends included). A band the scan covers only in part is averaged over "
    "that part; a band it does not reach gives NaN.";

void add_records(py::module_& m) {
    using colorimetry::CIELAB;
    using colorimetry::CIEXYZ;
    using colorimetry::RYG;
    using colorimetry::RYGB;
    bind_record<CIEXYZ>(m, "CIEXYZ", "CIE 1931 tristimulus values X, Y, Z.", "CIEXYZ",
                        RecordField<CIEXYZ>{"X", "X", &CIEXYZ::X}, RecordField<CIEXYZ>{"Y", "Y", &CIEXYZ::Y},
                        RecordField<CIEXYZ>{"Z", "Z", &CIEXYZ::Z});
    bind_record<CIELAB>(m, "CIELAB", "CIE 1976 coordinates: lightness L* and the colour-opponent dimensions a* and b*.",
                        "CIELAB", RecordField<CIELAB>{"L_star", "L*", &CIELAB::L_star},
                        RecordField<CIELAB>{"a_star", "a*", &CIELAB::a_star},
                        RecordField<CIELAB>{"b_star", "b*", &CIELAB::b_star});
    bind_record<RYG>(m, "RYG", "Intensities of the red, yellow and green primaries.", "RYG",
                     RecordField<RYG>{"red", "red", &RYG::red}, RecordField<RYG>{"yellow", "yellow", &RYG::yellow},
                     RecordField<RYG>{"green", "green", &RYG::green});
    bind_record<RYGB>(m, "RYGB", "Intensities of the red, yellow, green and blue primaries.", "RYGB",
                      RecordField<RYGB>{"red", "red", &RYGB::red}, RecordField<RYGB>{"yellow", "yellow", &RYGB::yellow},
                      RecordField<RYGB>{"green", "green", &RYGB::green},
                      RecordField<RYGB>{"blue", "blue", &RYGB::blue});
}

void add_tristimulus(py::module_& m) {
    m.def("CIE_tristimulus_values", &colorimetry::CIE_tristimulus_values, "scan"_a, "observer"_a,
          "Returns the CIE tristimulus values (CIEXYZ) of a spectrum for an observer: the integrals over 380-780 nm of "
          "each colour-matching function times the spectrum (wavelength in nm), without normalisation.");
    m.def("CIELAB_f", &colorimetry::CIELAB_f, "t"_a,
          "The non-linear function used in the forward transformation from CIEXYZ to CIELAB: t^(1/3) above "
          "(6/29)^3, t / (3 (6/29)^2) + 4/29 otherwise.");
    m.def("CIELAB_tristimulus_values", &colorimetry::CIELAB_tristimulus_values, "scan"_a, "white_point_reference"_a,
          "observer"_a,
          "Returns the CIE 1976 (L*, a*, b*) coordinates (CIELAB) of a spectrum for an observer and a white-point "
          "reference spectrum.");
}

// The binding of a lens quantity: the core function with its method named as Python users write it.
template <class Result>
void def_lens(py::module_& m, const char* name, Result (*quantity)(const orvanalysis::Scan&, colorimetry::Method),
              const std::string& doc) {
    m.def(
        name,
        [quantity](const orvanalysis::Scan& trans, const std::string& method) {
            return quantity(trans, colorimetry::method_from_string(method));
        },
        "trans"_a, "method"_a = "integral", (doc + lens_method_doc).c_str());
}

void add_lens_standards(py::module_& m) {
    def_lens(m, "ANSI_Z80_3_tau_uva", &colorimetry::ANSI_Z80_3_tau_uva,
             "ANSI Z80.3 2015 3.8.3: the mean transmittance between 315 and 380 nm (UV-A).");
    def_lens(m, "ANSI_Z80_3_tau_uvb", &colorimetry::ANSI_Z80_3_tau_uvb,
             "ANSI Z80.3 2015 3.8.3: the mean transmittance between 280 and 315 nm (UV-B).");
    def_lens(m, "ISO8980_3_tau_uva", &colorimetry::ISO8980_3_tau_uva,
             "ISO8980-3 Third Edition 2013-10-01 3.1: the mean transmittance between 315 and 380 nm (UV-A).");
    def_lens(m, "ISO8980_3_tau_suva", &colorimetry::ISO8980_3_tau_suva,
             "ISO8980-3 Third Edition 2013-10-01 3.2: the solar UV-A transmittance, the mean of the spectral "
             "transmittance between 315 and 380 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 "
             "and by the relative spectral effectiveness S(λ).");
    def_lens(m, "ISO8980_3_tau_suvb", &colorimetry::ISO8980_3_tau_suvb,
             "ISO8980-3 Third Edition 2013-10-01 3.3: the solar UV-B transmittance, the mean of the spectral "
             "transmittance between 280 and 315 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 "
             "and by the relative spectral effectiveness S(λ).");
    def_lens(m, "ASNZS1067_2016_tau_suva", &colorimetry::ASNZS1067_2016_tau_suva,
             "ASNZS 1067.2 - 2016: the solar UV-A transmittance, the mean of the spectral transmittance between 315 "
             "and 400 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 and by S(λ).");
    def_lens(m, "ISO12311_tau_sb", &colorimetry::ISO12311_tau_sb,
             "ISO12311 Corrected version 2013-11-15 7.4: the solar blue-light transmittance, the mean of the spectral "
             "transmittance between 380 nm and 500 nm weighted by Es(λ) and the blue-light hazard function B(λ).");
    def_lens(m, "ANSI_Z80_3_tau_v", &colorimetry::ANSI_Z80_3_tau_v,
             "ANSI Z80.3-2015 3.8.1: the luminous transmittance, the ratio of the luminous flux transmitted by the "
             "lens or filter to the incident luminous flux, for V(λ) and CIE illuminant C over 380-780 nm.");
    def_lens(m, "ISO8980_3_tau_v", &colorimetry::ISO8980_3_tau_v,
             "ISO8980-3 Third Edition 2013-10-01 3.4: the luminous transmittance, the ratio of the luminous flux "
             "transmitted by the lens or filter to the incident luminous flux, for V(λ) and CIE illuminant D65 over "
             "380-780 nm.");
    def_lens(m, "ANSI_Z80_3_tau_signal", &colorimetry::ANSI_Z80_3_tau_signal,
             "ANSI Z80.3 3.8.2.2: the luminous transmittance of the lens for the light of the red, yellow and green "
             "traffic signals (illuminant A through each signal lens, weighted by V(λ)), as RYG.");
    def_lens(m, "ISO8980_3_tau_signal_incandescent", &colorimetry::ISO8980_3_tau_signal_incandescent,
             "ISO8980-3 Third Edition 2013-10-01 3.5: the luminous transmittance of the lens for the spectral radiant "
             "power distribution of the incandescent red, yellow, green and blue traffic signal lights, as RYGB.");
    def_lens(m, "ISO8980_3_tau_signal_led", &colorimetry::ISO8980_3_tau_signal_led,
             "ISO8980-3 Third Edition 2013-10-01 3.5: the luminous transmittance of the lens for the spectral radiant "
             "power distribution of the LED red, yellow, green and blue traffic signal lights, as RYGB.");
    m.def("ANSI_Z80_3_tau_spectral_min", &colorimetry::ANSI_Z80_3_tau_spectral_min, "trans"_a,
          "ANSI Z80.3 4.10.2.3: the minimum of τ(λ) between 475 nm and 650 nm, bounds included, over the stored "
          "points (no interpolation). Raises ValueError when the scan has no point in that band.");
    m.def(
        "CIELAB_of_transmittance",
        [](const orvanalysis::Scan& trans, const orvanalysis::Scan& illuminant, const orvanalysis::Observer& observer,
           const std::string& method) {
            return colorimetry::CIELAB_of_transmittance(trans, illuminant, observer,
                                                        colorimetry::method_from_string(method));
        },
        "trans"_a, "illuminant"_a, "observer"_a, "method"_a = "integral",
        (std::string("The CIE 1976 (L*, a*, b*) coordinates (CIELAB) of a transmittance (or reflectance) under an "
                     "illuminant, against the illuminant itself as white: a perfect transmitter is L* = 100, "
                     "a* = b* = 0. X/Xn, Y/Yn and Z/Zn are the transmittance's means weighted by the illuminant "
                     "times each colour-matching function over 380-780 nm.") +
         lens_method_doc)
            .c_str());
    m.def(
        "lens_quantity_bands",
        [] {
            py::dict bands;
            for (const auto& [name, band] : colorimetry::lens_quantity_bands()) {
                bands[py::str(name)] = py::make_tuple(band.from, band.to);
            }
            return bands;
        },
        "The band (from, to) in nm that each lens quantity is worked out over, by name (a signal transmittance once "
        "per colour, as ANSI_Z80_3_tau_signal_red): its nominal band narrowed to where its weighting curves have "
        "data, read off the reference curves now.");
}

void add_photometer_indices(py::module_& m) {
    m.def("f1_prime", &colorimetry::f1_prime, "scan"_a,
          "The integral parameter f1' of a relative spectral responsivity (wavelength in nm): the quality of the "
          "spectral match between the spectrum and the CIE 1931 ȳ(λ) colour-matching function, for CIE illuminant A "
          "over 380-780 nm. Raises ValueError when the scan has no data in that range.");
    m.def("f2", &colorimetry::f2, "Y_0"_a, "Y_pi_2"_a,
          "The directional deviation f2 of a photometer with a plane input window measuring planar illuminances "
          "(ISO/CIE 19476:2014(E) 5.5.3), from its output Y against the angle of incidence ε in radians at azimuth "
          "φ = 0 (negative angles: φ = π) and at φ = π/2 (negative angles: 3π/2). With f2(ε, φ) = Y(ε, φ) / "
          "(Y(0, φ) cos ε) - 1, f2 is the average over φ ∈ {0, π/2, π, 3π/2} of the integral over 0 ≤ ε ≤ 4π/9 of "
          "|f2(ε, φ)| sin(2ε) dε.");
}

}  // namespace

void add_colorimetry_module(py::module_& colorimetry_module) {
    add_records(colorimetry_module);
    add_tristimulus(colorimetry_module);
    add_lens_standards(colorimetry_module);
    add_photometer_indices(colorimetry_module);
}

}  // namespace orvpy
