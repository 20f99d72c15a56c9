#include "physics/blackbody.hpp"

#include <cmath>

namespace orvanalysis::physics {

namespace {

using namespace constants;

// exp(hc / (λ k T)), the product formed as (λ · k) · T.
double boltzmann_factor(double T, double wl) { return std::exp(hc / ((wl * k) * T)); }

}  // namespace

double planks_law_sr(double T, double wl) {
    const double e = boltzmann_factor(T, wl);
    return two_hc2 / ((e - 1.0) * std::pow(wl, 5.0));
}

double planks_law_sr_um(double T, double wl) { return planks_law_sr(T, wl * 1e-6) * 1e-6; }

double planks_law_sr_nm(double T, double wl) { return planks_law_sr(T, wl * 1e-9) * 1e-9; }

double planks_law_sr_deriv_T(double T, double wl) {
    const double e = boltzmann_factor(T, wl);
    return (std::pow(h, 2.0) * (std::pow(c, 3.0) + std::pow(c, 3.0)) * e) /
           (std::pow(wl, 6.0) * k * std::pow(T, 2.0) * std::pow(e - 1.0, 2.0));
}

double planks_law_sr_deriv_wl(double T, double wl) {
    const double e = boltzmann_factor(T, wl);
    return ((e * hc - wl * five_k * T * (e - 1.0)) * ((std::pow(c, 2.0) + std::pow(c, 2.0)) * h)) /
           (std::pow(wl, 7.0) * k * T * std::pow(e - 1.0, 2.0));
}

double wiens_displacement_law_T(double wl) { return wien_b / wl; }

double wiens_displacement_law_wl(double T) { return wien_b / T; }

double stefan_boltzmann_law(double T) { return std::pow(T, 4.0) * sigma; }

double stefan_boltzmann_law_surface(double T, double A, double epsilon) {
    return (std::pow(T, 4.0) * sigma) * (A * epsilon);
}

}  // namespace orvanalysis::physics
