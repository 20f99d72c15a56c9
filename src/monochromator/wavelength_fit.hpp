// Least-squares fit of the grating equation of a scanning monochromator to micro-step /
// wavelength calibration data.
#pragma once

#include "core/record_fields.hpp"
#include "core/scan.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvanalysis::monochromator {

// The parameters of the grating equation, in index order (fields_of below says what each is).
struct FitWavelengthParams {
    double d = 0.0;
    double omega_t = 0.0;
    double omega_m = 0.0;
    double cos_K = 0.0;
    double theta_z = 0.0;
    double alpha = 0.0;
    double a = 0.0;
    double phi = 0.0;
};

// Which parameters the fit may change.
struct FitWavelengthParamsFree {
    bool d = false;
    bool omega_t = false;
    bool omega_m = false;
    bool cos_K = false;
    bool theta_z = false;
    bool alpha = false;
    bool a = false;
    bool phi = false;
};

constexpr auto fields_of(const FitWavelengthParams*) {
    using P = FitWavelengthParams;
    return std::make_tuple(
        field("d", &P::d, "Grating line distance, in the unit of the wavelengths (m or nm: the fit is the same)"),
        field("omega_t", &P::omega_t, "Angular frequency of the turret (radians per micro-step)"),
        field("omega_m", &P::omega_m, "Angular frequency of the motor (radians per micro-step)"),
        field("cos_K", &P::cos_K, "Cosine of the displacement angle"),
        field("theta_z", &P::theta_z, "Zero order angle (radians)"), field("alpha", &P::alpha, "Alpha fit factor"),
        field("a", &P::a, "Turret error amplitude (micro-steps)"),
        field("phi", &P::phi, "Turret error phase (radians)"));
}

constexpr auto fields_of(const FitWavelengthParamsFree*) {
    using F = FitWavelengthParamsFree;
    return std::make_tuple(field("d", &F::d, "Whether grating line distance is free to be fitted"),
                           field("omega_t", &F::omega_t, "Whether angular frequency of the turret is free"),
                           field("omega_m", &F::omega_m, "Whether angular frequency of the motor is free"),
                           field("cos_K", &F::cos_K, "Whether cosine of the displacement angle is free"),
                           field("theta_z", &F::theta_z, "Whether zero order angle is free"),
                           field("alpha", &F::alpha, "Whether alpha fit factor is free"),
                           field("a", &F::a, "Whether turret error amplitude is free"),
                           field("phi", &F::phi, "Whether turret error phase is free"));
}

// A record's eight values in index order, and back.
template <class Record>
auto values_of(const Record& record) {
    using Value = std::decay_t<decltype(record.d)>;
    std::array<Value, field_count<Record>> values{};
    std::size_t i = 0;
    for_each_field<Record>([&](const auto& f) { values[i++] = record.*(f.member); });
    return values;
}

inline FitWavelengthParams params_from(const std::array<double, field_count<FitWavelengthParams>>& values) {
    FitWavelengthParams params;
    std::size_t i = 0;
    for_each_field<FitWavelengthParams>([&](const auto& f) { params.*(f.member) = values[i++]; });
    return params;
}

// The name of parameter i, in index order.
inline const char* parameter_name(std::size_t i) {
    const char* name = "";
    std::size_t at = 0;
    for_each_field<FitWavelengthParams>([&](const auto& f) { name = at++ == i ? f.name : name; });
    return name;
}

namespace internal {

// A function of one variable with a list of bound (free) parameters, addressed 0 ... size() - 1.
template <class T>
class BoundFunction1D {
public:
    BoundFunction1D() = default;
    BoundFunction1D(const BoundFunction1D&) = default;
    BoundFunction1D& operator=(const BoundFunction1D&) = default;
    virtual ~BoundFunction1D() = default;

    virtual std::uint32_t size() const = 0;
    virtual T evaluate(T x) const = 0;
    // The derivative with respect to bound parameter i.
    virtual T derivative(T x, std::uint32_t i) const = 0;
    virtual T get(std::uint32_t i) const = 0;
    virtual void set(std::uint32_t i, T value) = 0;
};

// A model with N parameters.
template <class T, std::size_t N>
class Function1D : public BoundFunction1D<T> {
public:
    // The derivative with respect to parameter j of the model; 0 for j >= N.
    virtual T partial_derivative(T x, std::uint32_t j) const = 0;

    std::array<T, N> parameters{};
};

// A model whose bound parameters are the ones listed in bound_indices.
template <class F>
class BindableFunction1D : public F {
public:
    using value_type = decltype(std::declval<const F&>().evaluate(0.0));

    std::uint32_t size() const override { return static_cast<std::uint32_t>(bound_indices.size()); }
    value_type derivative(value_type x, std::uint32_t i) const override {
        return i < size() ? this->partial_derivative(x, bound_indices[i]) : value_type{};
    }
    value_type get(std::uint32_t i) const override {
        return i < size() && bound_indices[i] < this->parameters.size() ? this->parameters[bound_indices[i]]
                                                                        : value_type{};
    }
    void set(std::uint32_t i, value_type value) override {
        if (i < size() && bound_indices[i] < this->parameters.size()) {
            this->parameters[bound_indices[i]] = value;
        }
    }

    std::vector<std::uint32_t> bound_indices;
};

// What a fit ended with: the solver's reason for stopping, its iterations, the residuals (model
// minus data, in key order) and the covariance of the bound parameters (row-major), s² (JᵀJ)⁻¹
// with s² = Σ r² / (n - p); a parameter whose Jacobian column vanishes has zero rows there.
struct FitReport {
    std::string reason;
    std::size_t iterations = 0;
    std::vector<double> residuals;
    std::vector<double> covariance;
};

// Fits a bound function to a scan (keys as x, values as the data) with GSL's lmsder
// Levenberg-Marquardt solver.
class CurveFitter {
public:
    CurveFitter();

    // True when the solver converged to finite parameters and residuals, which the function then
    // holds. False, the function keeping its start, when the problem cannot be set up (no bound
    // parameter, fewer entries than bound parameters, data or a start that is not finite), when
    // the solver stops on an error or its iterations run out. An exception of the function stops
    // the fit and reaches the caller unchanged.
    bool fit(const Scan& data, BoundFunction1D<double>& function);

    std::uint32_t max_iterations = 500;
    double xtol = 1e-12;
    double gtol = 1e-12;
    const Scan* data = nullptr;
    BoundFunction1D<double>* function = nullptr;
    // Of the last fit; empty residuals and covariance when it could not be set up.
    FitReport report;

private:
    struct Callbacks;
    std::exception_ptr pending_;
};

}  // namespace internal

// λ(x) = 2 d cos_K sin θ with θ = (omega_t (x + a sin(omega_m x + phi)) - theta_z) / alpha, x the
// motor position in micro-steps.
class GratingEquation : public internal::Function1D<double, 8> {
public:
    double evaluate(double x) const override;
    // Derivatives for cos_K, theta_z, alpha, a and phi; 0 for d, omega_t and omega_m, so the fit
    // leaves those three at their starting values.
    double partial_derivative(double x, std::uint32_t j) const override;
};

// A wavelength fit and how it went: the parameters (the start where it failed), which of them
// were fitted (indices in FitWavelengthParams order), success, the solver's reason for stopping,
// its iterations, the residuals in the data's unit (model minus data, in key order), their root
// mean square and largest magnitude, and the covariance of the fitted parameters (row-major, in
// the order of free).
struct WavelengthFit {
    FitWavelengthParams params;
    std::vector<std::uint32_t> free;
    bool success = false;
    std::string reason;
    std::size_t iterations = 0;
    std::vector<double> residuals;
    double rms = 0.0;
    double max_residual = 0.0;
    std::vector<double> covariance;
};

// Fits the free parameters to data (micro-step -> wavelength, in any unit of length, d in the
// same) from the start params. Throws std::invalid_argument when every free parameter is one the
// model has no derivative for (d, omega_t, omega_m): nothing could be fitted.
WavelengthFit fit_wavelength_result(const Scan& data, const FitWavelengthParams& params,
                                    const FitWavelengthParamsFree& free);

// Fits the free parameters to data, starting from params, which receives the result. False,
// params unchanged, when the fit cannot be set up (no free parameter, fewer data entries than
// free ones, data or a start that is not finite) or does not converge (an error of the solver,
// or its iterations used up). Throws as fit_wavelength_result does.
bool fit_wavelength(const Scan& data, FitWavelengthParams& params, const FitWavelengthParamsFree& free);

}  // namespace orvanalysis::monochromator
