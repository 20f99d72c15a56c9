// Submodule colorimetry: colour records, tristimulus values and the lens transmittance standards.
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/photometry.hpp"
#include "colorimetry/tristimulus.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace colorimetry = orvanalysis::colorimetry;

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

void add_lens_standards(py::module_& m) {
    m.def("ANSI_Z80_3_tau_uva", &colorimetry::ANSI_Z80_3_tau_uva, "trans"_a,
          "ANSI Z80.3 2015 3.8.3: the mean transmittance between 315 and 380 nm (UV-A): the integral over the band "
          "divided by its 65 nm width.");
    m.def("ANSI_Z80_3_tau_uvb", &colorimetry::ANSI_Z80_3_tau_uvb, "trans"_a,
          "ANSI Z80.3 2015 3.8.3: the mean transmittance between 280 and 315 nm (UV-B): the integral over the band "
          "divided by its 35 nm width.");
    m.def("ISO8980_3_tau_uva", &colorimetry::ISO8980_3_tau_uva, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.1: the mean transmittance between 315 and 380 nm (UV-A).");
    m.def("ISO8980_3_tau_suva", &colorimetry::ISO8980_3_tau_suva, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.2: the solar UV-A transmittance, the mean of the spectral "
          "transmittance between 315 and 380 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 "
          "and by the relative spectral effectiveness S(λ).");
    m.def("ISO8980_3_tau_suvb", &colorimetry::ISO8980_3_tau_suvb, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.3: the solar UV-B transmittance, the mean of the spectral "
          "transmittance between 280 and 315 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 "
          "and by the relative spectral effectiveness S(λ).");
    m.def("ASNZS1067_2016_tau_suva", &colorimetry::ASNZS1067_2016_tau_suva, "trans"_a,
          "ASNZS 1067.2 - 2016: the solar UV-A transmittance, the mean of the spectral transmittance between 315 and "
          "400 nm weighted by the solar radiation Es(λ) at sea level for air mass 2 and by S(λ).");
    m.def("ISO12311_tau_sb", &colorimetry::ISO12311_tau_sb, "trans"_a,
          "ISO12311 Corrected version 2013-11-15 7.4: the solar blue-light transmittance, the mean of the spectral "
          "transmittance between 380 nm and 500 nm weighted by Es(λ) and the blue-light hazard function B(λ).");
    m.def("ANSI_Z80_3_tau_v", &colorimetry::ANSI_Z80_3_tau_v, "trans"_a,
          "ANSI Z80.3-2015 3.8.1: the luminous transmittance, the ratio of the luminous flux transmitted by the lens "
          "or filter to the incident luminous flux, for V(λ) and CIE illuminant C over 380-780 nm.");
    m.def("ISO8980_3_tau_v", &colorimetry::ISO8980_3_tau_v, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.4: the luminous transmittance, the ratio of the luminous flux "
          "transmitted by the lens or filter to the incident luminous flux, for V(λ) and CIE illuminant D65 over "
          "380-780 nm.");
    m.def("ANSI_Z80_3_tau_signal", &colorimetry::ANSI_Z80_3_tau_signal, "trans"_a,
          "ANSI Z80.3 3.8.2.2: the luminous transmittance of the lens for the light of the red, yellow and green "
          "traffic signals (illuminant A through each signal lens, weighted by V(λ)), as RYG.");
    m.def("ISO8980_3_tau_signal_incandescent", &colorimetry::ISO8980_3_tau_signal_incandescent, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.5: the luminous transmittance of the lens for the spectral radiant "
          "power distribution of the incandescent red, yellow, green and blue traffic signal lights, as RYGB.");
    m.def("ISO8980_3_tau_signal_led", &colorimetry::ISO8980_3_tau_signal_led, "trans"_a,
          "ISO8980-3 Third Edition 2013-10-01 3.5: the luminous transmittance of the lens for the spectral radiant "
          "power distribution of the LED red, yellow, green and blue traffic signal lights, as RYGB.");
    m.def("ANSI_Z80_3_tau_spectral_min", &colorimetry::ANSI_Z80_3_tau_spectral_min, "trans"_a,
          "ANSI Z80.3 4.10.2.3: the minimum of τ(λ) between 475 nm and 650 nm, bounds included, over the stored "
          "points (no interpolation). Raises ValueError when the scan has no point in that band.");
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
