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

// What every lens quantity's docstring says of its scan, its method and its band; each then
// says what it returns and the clause it implements.
const std::string lens_band_doc =
    "\n\nA band the scan covers only in part is averaged over that part; a band it does not reach gives NaN.";
const std::string lens_trans_doc = R"doc(

Parameters
----------
trans : Scan
    Spectral transmittance of the lens or filter over wavelength (nm), as a fraction.
)doc";
const std::string lens_method_doc = R"doc(method : {'integral', 'sum'}
    'integral' (the default: the integral of the transmittance's own curve, held between each two
    neighbouring points to their values, times the weighting curves) or 'sum' (the standards'
    summation at the weighting tables' wavelengths, 5 nm, band ends included).
)doc";
const std::string lens_raises_doc = R"doc(
Raises
------
ValueError
    For a method other than 'integral' or 'sum'.
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.
)doc";
const std::string mean_transmittance = R"doc(
Returns
-------
float
    The mean transmittance, a fraction as the scan's values are.
)doc";

void add_records(py::module_& m) {
    using colorimetry::CIELAB;
    using colorimetry::CIEXYZ;
    using colorimetry::RYG;
    using colorimetry::RYGB;
    bind_record<CIEXYZ>(m, "CIEXYZ", "CIE 1931 tristimulus values X, Y, Z.", "CIEXYZ",
                        RecordField<CIEXYZ>{"X", "X", &CIEXYZ::X, "Tristimulus value X."},
                        RecordField<CIEXYZ>{"Y", "Y", &CIEXYZ::Y, "Tristimulus value Y."},
                        RecordField<CIEXYZ>{"Z", "Z", &CIEXYZ::Z, "Tristimulus value Z."});
    bind_record<CIELAB>(m, "CIELAB", "CIE 1976 coordinates: lightness L* and the colour-opponent dimensions a* and b*.",
                        "CIELAB", RecordField<CIELAB>{"L_star", "L*", &CIELAB::L_star, "Lightness L*."},
                        RecordField<CIELAB>{"a_star", "a*", &CIELAB::a_star, "Colour-opponent dimension a*."},
                        RecordField<CIELAB>{"b_star", "b*", &CIELAB::b_star, "Colour-opponent dimension b*."});
    bind_record<RYG>(m, "RYG", "Intensities of the red, yellow and green primaries.", "RYG",
                     RecordField<RYG>{"red", "red", &RYG::red, "Intensity of the red primary."},
                     RecordField<RYG>{"yellow", "yellow", &RYG::yellow, "Intensity of the yellow primary."},
                     RecordField<RYG>{"green", "green", &RYG::green, "Intensity of the green primary."});
    bind_record<RYGB>(m, "RYGB", "Intensities of the red, yellow, green and blue primaries.", "RYGB",
                      RecordField<RYGB>{"red", "red", &RYGB::red, "Intensity of the red primary."},
                      RecordField<RYGB>{"yellow", "yellow", &RYGB::yellow, "Intensity of the yellow primary."},
                      RecordField<RYGB>{"green", "green", &RYGB::green, "Intensity of the green primary."},
                      RecordField<RYGB>{"blue", "blue", &RYGB::blue, "Intensity of the blue primary."});
}

void add_tristimulus(py::module_& m) {
    m.def("CIE_tristimulus_values", &colorimetry::CIE_tristimulus_values, "scan"_a, "observer"_a,
          R"doc(Return the CIE tristimulus values (CIEXYZ) of a spectrum for an observer.

The values are the integrals over 380-780 nm of each colour-matching function times the spectrum
(wavelength in nm), without normalisation.

Parameters
----------
scan : Scan
    The spectrum over wavelength (nm).
observer : Observer
    The colour-matching functions x̄(λ), ȳ(λ), z̄(λ).

Returns
-------
CIEXYZ
    The tristimulus values X, Y, Z.

Raises
------
RuntimeError
    When the scan's interpolation cannot be built: too few points for its kind.

References
----------
CIE 15:2004.
)doc");
    m.def("CIELAB_f", &colorimetry::CIELAB_f, "t"_a,
          R"doc(Apply the non-linear function of the forward transformation from CIEXYZ to CIELAB.

The function is t^(1/3) above (6/29)^3, t / (3 (6/29)^2) + 4/29 otherwise.

Parameters
----------
t : float
    A tristimulus value over that of the white point, such as X/Xn.

Returns
-------
float
    f(t).

References
----------
CIE 15:2004.
)doc");
    m.def("CIELAB_tristimulus_values", &colorimetry::CIELAB_tristimulus_values, "scan"_a, "white_point_reference"_a,
          "observer"_a,
          R"doc(Return the CIE 1976 (L*, a*, b*) coordinates (CIELAB) of a spectrum.

The coordinates are those of the spectrum for an observer and a white-point reference spectrum.

Parameters
----------
scan : Scan
    The spectrum over wavelength (nm).
white_point_reference : Scan
    The white point's spectrum over wavelength (nm).
observer : Observer
    The colour-matching functions x̄(λ), ȳ(λ), z̄(λ).

Returns
-------
CIELAB
    The coordinates L*, a*, b*.

Raises
------
RuntimeError
    When a scan's interpolation cannot be built: too few points for its kind.

References
----------
CIE 15:2004.
)doc");
}

// The binding of a lens quantity: the core function with its method named as Python users write it.
template <class Result>
void def_lens(py::module_& m, const char* name, Result (*quantity)(const orvanalysis::Scan&, colorimetry::Method),
              const std::string& doc, const std::string& returns, const std::string& reference) {
    m.def(
        name,
        [quantity](const orvanalysis::Scan& trans, const std::string& method) {
            return quantity(trans, colorimetry::method_from_string(method));
        },
        "trans"_a, "method"_a = "integral",
        wrapped(doc + lens_band_doc + lens_trans_doc + lens_method_doc + returns + lens_raises_doc +
                "\nReferences\n----------\n" + reference + "\n")
            .c_str());
}

void add_lens_standards(py::module_& m) {
    def_lens(m, "ANSI_Z80_3_tau_uva", &colorimetry::ANSI_Z80_3_tau_uva,
             "Return the mean transmittance between 315 and 380 nm (UV-A) of ANSI Z80.3.", mean_transmittance,
             "ANSI Z80.3-2015, 3.8.3.");
    def_lens(m, "ANSI_Z80_3_tau_uvb", &colorimetry::ANSI_Z80_3_tau_uvb,
             "Return the mean transmittance between 280 and 315 nm (UV-B) of ANSI Z80.3.", mean_transmittance,
             "ANSI Z80.3-2015, 3.8.3.");
    def_lens(m, "ISO8980_3_tau_uva", &colorimetry::ISO8980_3_tau_uva,
             "Return the mean transmittance between 315 and 380 nm (UV-A) of ISO 8980-3.", mean_transmittance,
             "ISO 8980-3:2013 (third edition, 2013-10-01), 3.1.");
    def_lens(m, "ISO8980_3_tau_suva", &colorimetry::ISO8980_3_tau_suva,
             "Return the solar UV-A transmittance of ISO 8980-3.\n\n"
             "The mean of the spectral transmittance between 315 and 380 nm weighted by the solar radiation Es(λ) at "
             "sea level for air mass 2 and by the relative spectral effectiveness S(λ).",
             mean_transmittance, "ISO 8980-3:2013 (third edition, 2013-10-01), 3.2.");
    def_lens(m, "ISO8980_3_tau_suvb", &colorimetry::ISO8980_3_tau_suvb,
             "Return the solar UV-B transmittance of ISO 8980-3.\n\n"
             "The mean of the spectral transmittance between 280 and 315 nm weighted by the solar radiation Es(λ) at "
             "sea level for air mass 2 and by the relative spectral effectiveness S(λ).",
             mean_transmittance, "ISO 8980-3:2013 (third edition, 2013-10-01), 3.3.");
    def_lens(m, "ASNZS1067_2016_tau_suva", &colorimetry::ASNZS1067_2016_tau_suva,
             "Return the solar UV-A transmittance of AS/NZS 1067.2.\n\n"
             "The mean of the spectral transmittance between 315 and 400 nm weighted by the solar radiation Es(λ) at "
             "sea level for air mass 2 and by S(λ).",
             mean_transmittance, "AS/NZS 1067.2:2016.");
    def_lens(m, "ISO12311_tau_sb", &colorimetry::ISO12311_tau_sb,
             "Return the solar blue-light transmittance of ISO 12311.\n\n"
             "The mean of the spectral transmittance between 380 nm and 500 nm weighted by Es(λ) and the blue-light "
             "hazard function B(λ).",
             mean_transmittance, "ISO 12311:2013 (corrected version 2013-11-15), 7.4.");
    def_lens(m, "ANSI_Z80_3_tau_v", &colorimetry::ANSI_Z80_3_tau_v,
             "Return the luminous transmittance of ANSI Z80.3, for CIE illuminant C.\n\n"
             "The ratio of the luminous flux transmitted by the lens or filter to the incident luminous flux, for "
             "V(λ) and CIE illuminant C over 380-780 nm.",
             mean_transmittance, "ANSI Z80.3-2015, 3.8.1.");
    def_lens(m, "ISO8980_3_tau_v", &colorimetry::ISO8980_3_tau_v,
             "Return the luminous transmittance of ISO 8980-3, for CIE illuminant D65.\n\n"
             "The ratio of the luminous flux transmitted by the lens or filter to the incident luminous flux, for "
             "V(λ) and CIE illuminant D65 over 380-780 nm.",
             mean_transmittance, "ISO 8980-3:2013 (third edition, 2013-10-01), 3.4.");
    def_lens(m, "ANSI_Z80_3_tau_signal", &colorimetry::ANSI_Z80_3_tau_signal,
             "Return the luminous transmittance of the lens for the traffic signals of ANSI Z80.3.\n\n"
             "The transmittance for the light of the red, yellow and green traffic signals (illuminant A through each "
             "signal lens, weighted by V(λ)).",
             "\nReturns\n-------\nRYG\n    The transmittance for each signal, a fraction as the scan's values are.\n",
             "ANSI Z80.3-2015, 3.8.2.2.");
    def_lens(m, "ISO8980_3_tau_signal_incandescent", &colorimetry::ISO8980_3_tau_signal_incandescent,
             "Return the luminous transmittance of the lens for the incandescent signal lights of ISO 8980-3."
             "\n\nThe transmittance for the spectral radiant power distribution of the incandescent red, yellow, green "
             "and blue traffic signal lights.",
             "\nReturns\n-------\nRYGB\n    The transmittance for each signal, a fraction as the scan's values are.\n",
             "ISO 8980-3:2013 (third edition, 2013-10-01), 3.5.");
    def_lens(m, "ISO8980_3_tau_signal_led", &colorimetry::ISO8980_3_tau_signal_led,
             "Return the luminous transmittance of the lens for the LED traffic signal lights of ISO 8980-3.\n\n"
             "The transmittance for the spectral radiant power distribution of the LED red, yellow, green and blue "
             "traffic signal lights.",
             "\nReturns\n-------\nRYGB\n    The transmittance for each signal, a fraction as the scan's values are.\n",
             "ISO 8980-3:2013 (third edition, 2013-10-01), 3.5.");
    m.def("ANSI_Z80_3_tau_spectral_min", &colorimetry::ANSI_Z80_3_tau_spectral_min, "trans"_a,
          R"doc(Return the minimum of τ(λ) between 475 nm and 650 nm of ANSI Z80.3.

The minimum is taken over the stored points, bounds included (no interpolation).

Parameters
----------
trans : Scan
    Spectral transmittance of the lens over wavelength (nm).

Returns
-------
float
    The least stored value in the band.

Raises
------
ValueError
    When the scan has no point in that band.

References
----------
ANSI Z80.3-2015, 4.10.2.3.
)doc");
    m.def(
        "CIELAB_of_transmittance",
        [](const orvanalysis::Scan& trans, const orvanalysis::Scan& illuminant, const orvanalysis::Observer& observer,
           const std::string& method) {
            return colorimetry::CIELAB_of_transmittance(trans, illuminant, observer,
                                                        colorimetry::method_from_string(method));
        },
        "trans"_a, "illuminant"_a, "observer"_a, "method"_a = "integral",
        (std::string(R"doc(Return the CIE 1976 (L*, a*, b*) coordinates (CIELAB) of a transmittance under an illuminant.

The transmittance (or reflectance) is seen under the illuminant, against the illuminant itself as
white: a perfect transmitter is L* = 100, a* = b* = 0. X/Xn, Y/Yn and Z/Zn are the transmittance's
means weighted by the illuminant times each colour-matching function over 380-780 nm.)doc") +
         lens_band_doc + lens_trans_doc +
         R"doc(illuminant : Scan
    The illuminant's relative spectral power over wavelength (nm).
observer : Observer
    The colour-matching functions x̄(λ), ȳ(λ), z̄(λ).
)doc" + lens_method_doc +
         R"doc(
Returns
-------
CIELAB
    The coordinates L*, a*, b*.
)doc" + lens_raises_doc +
         "\nReferences\n----------\nCIE 15:2004.\n")
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
        R"doc(Return the band (from, to) in nm that each lens quantity is worked out over, by name.

A signal transmittance is named once per colour, as ANSI_Z80_3_tau_signal_red. Each band is the
quantity's nominal band narrowed to where its weighting curves have data, read off the reference
curves now.

Returns
-------
dict of str to (float, float)
    Each quantity's band (nm).
)doc");
}

void add_photometer_indices(py::module_& m) {
    m.def("f1_prime", &colorimetry::f1_prime, "scan"_a,
          R"doc(Return the integral parameter f1' of a relative spectral responsivity.

f1' is the quality of the spectral match between the spectrum and the CIE 1931 ȳ(λ)
colour-matching function, for CIE illuminant A over 380-780 nm.

Parameters
----------
scan : Scan
    The photometer's relative spectral responsivity over wavelength (nm).

Returns
-------
float
    f1', a fraction (0 for a perfect match).

Raises
------
ValueError
    When the scan has no data in that range, or does not cover all of it.

References
----------
ISO/CIE 19476:2014(E).
)doc");
    m.def("f2", &colorimetry::f2, "Y_0"_a, "Y_pi_2"_a,
          R"doc(Return the directional deviation f2 of a photometer with a plane input window.

The photometer measures planar illuminances (ISO/CIE 19476:2014(E) 5.5.3); f2 is worked out from
its output Y against the angle of incidence ε in radians at azimuth φ = 0 (negative angles:
φ = π) and at φ = π/2 (negative angles: 3π/2). With f2(ε, φ) = Y(ε, φ) / (Y(0, φ) cos ε) - 1, f2
is the average over φ ∈ {0, π/2, π, 3π/2} of the integral over 0 ≤ ε ≤ 4π/9 of
|f2(ε, φ)| sin(2ε) dε.

Parameters
----------
Y_0 : Scan
    The output over the angle of incidence ε (radians) at φ = 0, negative angles at φ = π.
Y_pi_2 : Scan
    The output over the angle of incidence ε (radians) at φ = π/2, negative angles at φ = 3π/2.

Returns
-------
float
    f2, a fraction.

Raises
------
ValueError
    When a response is empty or does not cover -4π/9 to 4π/9 rad (±80°).

References
----------
ISO/CIE 19476:2014(E), 5.5.3.
)doc");
}

}  // namespace

void add_colorimetry_module(py::module_& colorimetry_module) {
    add_records(colorimetry_module);
    add_tristimulus(colorimetry_module);
    add_lens_standards(colorimetry_module);
    add_photometer_indices(colorimetry_module);
}

}  // namespace orvpy
