// The built-in reference spectra: each accessor returns a process-wide Scan (epsilon 1e-20,
// kind STEFFEN, which never leaves the range of two neighbouring points) built from its
// compiled-in table on first use. The library only reads them; Python receives live views
// through which they can be changed.
#pragma once

#include "core/scan.hpp"

namespace orvanalysis::curves {

// Solar spectral irradiance, W m-2 nm-1.
const Scan& AM0_ASTM_E490();      // ASTM E490 air mass 0, 119.5 to 1e6 nm, integrates to 1366.1 W m-2
const Scan& AM15D_ASTM_G17303();  // ASTM G173-03 direct + circumsolar, 280 to 4000 nm, about 900 W m-2
const Scan& AM15G_ASTM_G17303();  // ASTM G173-03 global tilt, 280 to 4000 nm, about 1000 W m-2

// Traffic-signal lens transmittances of ANSI Z80.3-2015, fraction 0..1, 10 nm steps.
const Scan& ANSI_Z80_3_2015_red_signal_transmittance();     // 590 to 780 nm
const Scan& ANSI_Z80_3_2015_yellow_signal_transmittance();  // 500 to 780 nm
const Scan& ANSI_Z80_3_2015_green_signal_transmittance();   // 380 to 780 nm

// ISO 8980-3 signal light spectra E_signal(λ) V(λ), relative, 5 nm steps.
const Scan& ISO8980_3_incandescent_red();     // 495 to 765 nm
const Scan& ISO8980_3_incandescent_yellow();  // 470 to 740 nm
const Scan& ISO8980_3_incandescent_green();   // 430 to 750 nm
const Scan& ISO8980_3_incandescent_blue();    // 395 to 765 nm
const Scan& ISO8980_3_led_red();              // 550 to 685 nm
const Scan& ISO8980_3_led_yellow();           // 515 to 640 nm
const Scan& ISO8980_3_led_green();            // 435 to 640 nm
const Scan& ISO8980_3_led_blue();             // 420 to 670 nm

// ICNIRP weighting functions, relative, 5 nm steps.
const Scan& aphake_hazard();                    // aphakic hazard A(λ), 300 to 700 nm
const Scan& blue_light_hazard();                // blue-light hazard B(λ), 380 to 500 nm
const Scan& relative_spectral_effectiveness();  // UV effectiveness S(λ), 280 to 400 nm

// CIE colour-matching functions at 5 nm from 380 nm; the z̄ tables stop where they reach 0.
const Scan& cie_1931_standard_observer_x();  // 2° observer x̄(λ), to 780 nm
const Scan& cie_1931_standard_observer_y();  // 2° observer ȳ(λ) = V(λ), to 780 nm
const Scan& cie_1931_standard_observer_z();  // 2° observer z̄(λ), to 650 nm
const Scan& cie_1964_standard_observer_x();  // 10° observer x̄10(λ), to 780 nm
const Scan& cie_1964_standard_observer_y();  // 10° observer ȳ10(λ), to 780 nm
const Scan& cie_1964_standard_observer_z();  // 10° observer z̄10(λ), to 560 nm

// CIE standard illuminants, relative spectral power.
const Scan& cie_illuminant_a();    // 300 to 780 nm, 5 nm, 100 at 560 nm
const Scan& cie_illuminant_c();    // 380 to 780 nm, 10 nm, 1 at 560 nm
const Scan& cie_illuminant_d65();  // 300 to 830 nm, 5 nm, 100 at 560 nm

// Sea-level solar spectral irradiance at air mass 2, Es(λ) of the eyewear standards,
// mW m-2 nm-1, 290 to 500 nm in 5 nm steps.
const Scan& solar_spectral_irradiance();

}  // namespace orvanalysis::curves
