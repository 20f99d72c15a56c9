// Submodule colorimetry.data: live views of the built-in reference spectra.
#include "curves/reference_spectra.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <string>

namespace py = pybind11;

namespace orvpy {

namespace {

using orvanalysis::Scan;
namespace curves = orvanalysis::curves;

// Python receives a view of the process-wide curve, not a copy: while a view lives every call
// returns it, and a change made through it is seen by every later computation. The curves are
// not const objects, so writing through the view is sound.
void def_curve(py::module_& data, const char* name, const Scan& (*curve)(), const char* summary,
               const char* description, const char* reference) {
    const std::string doc = std::string(summary) + "\n\n" + description +
                            "\n\nReturns\n-------\nScan\n    A view of the process-wide curve, not a copy: a change "
                            "made through it is seen by every later computation.\n\nReferences\n----------\n" +
                            reference + "\n";
    data.def(
        name, [curve]() -> Scan& { return const_cast<Scan&>(curve()); }, py::return_value_policy::reference,
        wrapped(doc).c_str());
}

}  // namespace

void add_reference_spectra(py::module_& data) {
    def_curve(data, "AM0_ASTM_E490", &curves::AM0_ASTM_E490,
              "Return the ASTM E490 air mass zero solar spectral irradiance.",
              "ASTM E490 air mass zero (extraterrestrial) solar spectral irradiance in W m-2 nm-1, 119.5 nm to 1 mm. "
              "The spectrum has an integrated power of 1366.1 W m-2.",
              "ASTM E490.");
    def_curve(data, "AM15D_ASTM_G17303", &curves::AM15D_ASTM_G17303,
              "Return the ASTM G173-03 AM1.5 direct + circumsolar solar spectral irradiance.",
              "ASTM G173-03 AM1.5 direct + circumsolar spectral irradiance in W m-2 nm-1, 280 to 4000 nm, for solar "
              "concentrator work. It includes the direct beam from the sun and the circumsolar component in a disk 2.5 "
              "degrees around the sun, and integrates to 900 W m-2.",
              "ASTM G173-03.");
    def_curve(data, "AM15G_ASTM_G17303", &curves::AM15G_ASTM_G17303,
              "Return the ASTM G173-03 AM1.5 global solar spectral irradiance.",
              "ASTM G173-03 AM1.5 global spectral irradiance in W m-2 nm-1, 280 to 4000 nm, for flat plate modules. It "
              "integrates to 1000 W m-2.",
              "ASTM G173-03.");
    def_curve(data, "ANSI_Z80_3_2015_red_signal_transmittance", &curves::ANSI_Z80_3_2015_red_signal_transmittance,
              "Return the transmittance of the red traffic signal lens of ANSI Z80.3-2015.",
              "Transmittance of the red traffic signal lens specified in ANSI Z80.3-2015, 590 to 780 nm, steps 10nm.",
              "ANSI Z80.3-2015.");
    def_curve(
        data, "ANSI_Z80_3_2015_yellow_signal_transmittance", &curves::ANSI_Z80_3_2015_yellow_signal_transmittance,
        "Return the transmittance of the yellow traffic signal lens of ANSI Z80.3-2015.",
        "Transmittance of the yellow traffic signal lens specified in ANSI Z80.3-2015, 500 to 780 nm, steps 10nm.",
        "ANSI Z80.3-2015.");
    def_curve(data, "ANSI_Z80_3_2015_green_signal_transmittance", &curves::ANSI_Z80_3_2015_green_signal_transmittance,
              "Return the transmittance of the green traffic signal lens of ANSI Z80.3-2015.",
              "Transmittance of the green traffic signal lens specified in ANSI Z80.3-2015, 380 to 780 nm, steps 10nm.",
              "ANSI Z80.3-2015.");
    def_curve(data, "ISO8980_3_incandescent_red", &curves::ISO8980_3_incandescent_red,
              "Return ESignal(λ) V(λ) of the red incandescent signal light of ISO 8980-3.",
              "Red Signal: relative spectral distribution of the radiation emitted by incandescent signal lights, "
              "ESignal(λ), weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 495 to 765 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_incandescent_yellow", &curves::ISO8980_3_incandescent_yellow,
              "Return ESignal(λ) V(λ) of the yellow incandescent signal light of ISO 8980-3.",
              "Yellow Signal: relative spectral distribution of the radiation emitted by incandescent signal lights, "
              "ESignal(λ), weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 470 to 740 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_incandescent_green", &curves::ISO8980_3_incandescent_green,
              "Return ESignal(λ) V(λ) of the green incandescent signal light of ISO 8980-3.",
              "Green Signal: relative spectral distribution of the radiation emitted by incandescent signal lights, "
              "ESignal(λ), weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 430 to 750 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_incandescent_blue", &curves::ISO8980_3_incandescent_blue,
              "Return ESignal(λ) V(λ) of the blue incandescent signal light of ISO 8980-3.",
              "Blue Signal: relative spectral distribution of the radiation emitted by incandescent signal lights, "
              "ESignal(λ), weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 395 to 765 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_led_red", &curves::ISO8980_3_led_red,
              "Return ESignal(λ) V(λ) of the red LED signal light of ISO 8980-3.",
              "Red Signal: relative spectral distribution of the radiation emitted by LED signal lights, ESignal(λ), "
              "weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 550 to 685 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_led_yellow", &curves::ISO8980_3_led_yellow,
              "Return ESignal(λ) V(λ) of the yellow LED signal light of ISO 8980-3.",
              "Yellow Signal: relative spectral distribution of the radiation emitted by LED signal lights, "
              "ESignal(λ), weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 515 to 640 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_led_green", &curves::ISO8980_3_led_green,
              "Return ESignal(λ) V(λ) of the green LED signal light of ISO 8980-3.",
              "Green Signal: relative spectral distribution of the radiation emitted by LED signal lights, ESignal(λ), "
              "weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 435 to 640 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "ISO8980_3_led_blue", &curves::ISO8980_3_led_blue,
              "Return ESignal(λ) V(λ) of the blue LED signal light of ISO 8980-3.",
              "Blue Signal: relative spectral distribution of the radiation emitted by LED signal lights, ESignal(λ), "
              "weighted by V(λ) as specified in ISO 11664-1 (ISO 8980-3), 420 to 670 nm, steps 5nm.",
              "ISO 8980-3:2013; ISO 11664-1.");
    def_curve(data, "aphake_hazard", &curves::aphake_hazard, "Return the aphakic hazard function A(λ).",
              "Aphakic hazard function A(λ) (ICNIRP), relative, 300 to 700 nm, steps 5nm.", "ICNIRP.");
    def_curve(data, "blue_light_hazard", &curves::blue_light_hazard, "Return the blue-light hazard function B(λ).",
              "Blue-light hazard function B(λ) (ICNIRP), relative, 380 to 500 nm, steps 5nm.", "ICNIRP.");
    def_curve(data, "cie_1931_standard_observer_x", &curves::cie_1931_standard_observer_x,
              "Return the CIE 1931 2° standard observer's colour-matching function x̄(λ).",
              "CIE 1931 2° standard observer, colour-matching function x̄(λ), 380 to 780 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(data, "cie_1931_standard_observer_y", &curves::cie_1931_standard_observer_y,
              "Return the CIE 1931 2° standard observer's colour-matching function ȳ(λ) = V(λ).",
              "CIE 1931 2° standard observer, colour-matching function ȳ(λ) = V(λ), 380 to 780 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(
        data, "cie_1931_standard_observer_z", &curves::cie_1931_standard_observer_z,
        "Return the CIE 1931 2° standard observer's colour-matching function z̄(λ).",
        "CIE 1931 2° standard observer, colour-matching function z̄(λ), 380 to 650 nm (0 from there on), steps 5nm.",
        "CIE 15:2004.");
    def_curve(data, "cie_1964_standard_observer_x", &curves::cie_1964_standard_observer_x,
              "Return the CIE 1964 10° standard observer's colour-matching function x̄10(λ).",
              "CIE 1964 10° standard observer, colour-matching function x̄10(λ), 380 to 780 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(data, "cie_1964_standard_observer_y", &curves::cie_1964_standard_observer_y,
              "Return the CIE 1964 10° standard observer's colour-matching function ȳ10(λ).",
              "CIE 1964 10° standard observer, colour-matching function ȳ10(λ), 380 to 780 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(
        data, "cie_1964_standard_observer_z", &curves::cie_1964_standard_observer_z,
        "Return the CIE 1964 10° standard observer's colour-matching function z̄10(λ).",
        "CIE 1964 10° standard observer, colour-matching function z̄10(λ), 380 to 560 nm (0 from there on), steps 5nm.",
        "CIE 15:2004.");
    def_curve(data, "cie_illuminant_a", &curves::cie_illuminant_a, "Return CIE standard illuminant A.",
              "CIE standard illuminant A, relative spectral power (100 at 560 nm), 300 to 780 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(data, "cie_illuminant_c", &curves::cie_illuminant_c, "Return CIE standard illuminant C.",
              "CIE standard illuminant C, relative spectral power (1 at 560 nm), 380 to 780 nm, steps 10nm.",
              "CIE 15:2004.");
    def_curve(data, "cie_illuminant_d65", &curves::cie_illuminant_d65, "Return CIE standard illuminant D65.",
              "CIE standard illuminant D65, relative spectral power (100 at 560 nm), 300 to 830 nm, steps 5nm.",
              "CIE 15:2004.");
    def_curve(data, "relative_spectral_effectiveness", &curves::relative_spectral_effectiveness,
              "Return the UV relative spectral effectiveness S(λ).",
              "UV relative spectral effectiveness S(λ) (ICNIRP, Health Phys. 2004, 87 (2) pp. 171-186), 280 to 400 nm, "
              "steps 5nm.",
              "ICNIRP, Health Phys. 2004, 87 (2) pp. 171-186.");
    def_curve(data, "solar_spectral_irradiance", &curves::solar_spectral_irradiance,
              "Return the solar spectral irradiance Es(λ) at sea level for air mass 2.",
              "Solar spectral irradiance Es(λ) at sea level for air mass 2, in mW m-2 nm-1, 290 to 500 nm, steps 5nm.",
              "ISO 8980-3:2013, 3.2 and 3.3 (the solar UV transmittances it weights).");
}

}  // namespace orvpy
