// Black-body radiation laws. SI units unless a name says otherwise; temperatures in kelvin.
// Every product is formed in the written order, so results are reproducible to the bit.
#pragma once

namespace orvanalysis::physics::constants {

inline constexpr double h = 6.62606896e-34;         // Planck constant, J s
inline constexpr double c = 299792458.0;            // speed of light, m/s
inline constexpr double k = 1.3806504e-23;          // Boltzmann constant, J/K
inline constexpr double hc = h * c;                 // J m
inline constexpr double two_hc2 = 2.0 * h * c * c;  // W m²
inline constexpr double five_k = 6.903252e-23;      // J/K
inline constexpr double sigma = 5.67040047374e-08;  // Stefan-Boltzmann constant, W/(m² K⁴)
inline constexpr double wien_b = 0.0028977721;      // Wien's displacement constant, m K

}  // namespace orvanalysis::physics::constants

namespace orvanalysis::physics {

// Spectral radiance of a black body at temperature T, in W/(sr m²) per metre, micrometre or
// nanometre of wavelength, with the wavelength wl in the same unit.
double planks_law_sr(double T, double wl);
double planks_law_sr_um(double T, double wl);
double planks_law_sr_nm(double T, double wl);

// Partial derivatives of planks_law_sr with respect to T and to wl (wl in metres).
double planks_law_sr_deriv_T(double T, double wl);
double planks_law_sr_deriv_wl(double T, double wl);

// Wien's displacement law: the temperature (K) whose radiance peaks at wl (m), and the
// wavelength (m) of the peak at temperature T.
double wiens_displacement_law_T(double wl);
double wiens_displacement_law_wl(double T);

// Radiant exitance σT⁴ in W/m², and the power in W radiated by a surface of area A (m²) and
// emissivity epsilon.
double stefan_boltzmann_law(double T);
double stefan_boltzmann_law_surface(double T, double A, double epsilon);

}  // namespace orvanalysis::physics
