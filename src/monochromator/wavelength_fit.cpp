#include "monochromator/wavelength_fit.hpp"

#include "core/gsl_errors.hpp"
#include "core/scan_arithmetic.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit.h>
#include <gsl/gsl_multifit_nlin.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace orvanalysis::monochromator {

namespace {

// Parameter indices.
enum : std::uint32_t {
    d_index,
    omega_t_index,
    omega_m_index,
    cos_K_index,
    theta_z_index,
    alpha_index,
    a_index,
    phi_index
};

struct VectorFree {
    void operator()(gsl_vector* v) const noexcept { gsl_vector_free(v); }
};
struct SolverFree {
    void operator()(gsl_multifit_fdfsolver* s) const noexcept { gsl_multifit_fdfsolver_free(s); }
};

void apply(internal::BoundFunction1D<double>& function, const gsl_vector* x) {
    for (std::uint32_t i = 0; i < function.size(); ++i) {
        function.set(i, gsl_vector_get(x, i));
    }
}

// Model minus measured wavelength at every data entry, in key order.
void residuals(internal::BoundFunction1D<double>& function, const Scan& data, gsl_vector* f) {
    std::size_t row = 0;
    for (const auto& [key, value] : data) {
        gsl_vector_set(f, row++, function.evaluate(key) - value);
    }
}

void jacobian(internal::BoundFunction1D<double>& function, const Scan& data, gsl_matrix* j) {
    std::size_t row = 0;
    for (const auto& point : data) {
        for (std::uint32_t i = 0; i < function.size(); ++i) {
            gsl_matrix_set(j, row, i, function.derivative(point.first, i));
        }
        ++row;
    }
}

}  // namespace

namespace internal {

// The callbacks GSL calls. An exception of the fitted function must not unwind through GSL's C
// frames: it is kept, GSL is told the evaluation failed, and fit() throws it again.
struct CurveFitter::Callbacks {
    template <class Work>
    static int guarded(void* fitter, const gsl_vector* x, Work&& work) {
        auto* self = static_cast<CurveFitter*>(fitter);
        if (self->pending_) {
            return GSL_EBADFUNC;
        }
        try {
            apply(*self->function, x);
            work(*self->function, *self->data);
            return GSL_SUCCESS;
        } catch (...) {
            self->pending_ = std::current_exception();
            return GSL_EBADFUNC;
        }
    }
    static int f(const gsl_vector* x, void* fitter, gsl_vector* out) {
        return guarded(fitter, x, [out](auto& function, const Scan& data) { residuals(function, data, out); });
    }
    static int df(const gsl_vector* x, void* fitter, gsl_matrix* out) {
        return guarded(fitter, x, [out](auto& function, const Scan& data) { jacobian(function, data, out); });
    }
    static int fdf(const gsl_vector* x, void* fitter, gsl_vector* f_out, gsl_matrix* df_out) {
        return guarded(fitter, x, [f_out, df_out](auto& function, const Scan& data) {
            residuals(function, data, f_out);
            jacobian(function, data, df_out);
        });
    }
};

CurveFitter::CurveFitter() { switch_off_gsl_error_handler(); }

namespace {

struct MatrixFree {
    void operator()(gsl_matrix* m) const noexcept { gsl_matrix_free(m); }
};

std::string stop_reason(int status, int info, std::uint32_t max_iterations) {
    if (status == GSL_SUCCESS) {
        return info == 1 ? "the step fell below xtol" : "the gradient fell below gtol";
    }
    if (status == GSL_EMAXITER) {
        return "the iterations ran out (" + std::to_string(max_iterations) + ")";
    }
    return std::string("the solver stopped: ") + gsl_strerror(status);
}

// Model minus data at every entry, with the function as it stands.
std::vector<double> residual_list(const BoundFunction1D<double>& function, const Scan& data) {
    std::vector<double> r;
    r.reserve(data.size());
    for (const auto& [key, value] : data) {
        r.push_back(function.evaluate(key) - value);
    }
    return r;
}

}  // namespace

bool CurveFitter::fit(const Scan& fitted_data, BoundFunction1D<double>& fitted_function) {
    data = &fitted_data;
    function = &fitted_function;
    report = FitReport{};
    const std::size_t n = fitted_data.size();
    const std::size_t p = fitted_function.size();
    // A problem without parameters, or with fewer residuals than parameters, cannot be set up.
    // Not every GSL release refuses these itself: some accept a zero-length vector.
    if (p == 0 || n < p) {
        report.reason =
            p == 0 ? "no parameter is free"
                   : "fewer data points (" + std::to_string(n) + ") than free parameters (" + std::to_string(p) + ")";
        report.residuals = residual_list(fitted_function, fitted_data);
        return false;
    }
    // Nothing can be fitted to data or from a start that is not finite.
    for (const auto& [key, value] : fitted_data) {
        if (!std::isfinite(key) || !std::isfinite(value)) {
            report.reason = "the data are not all finite";
            return false;
        }
    }
    const std::unique_ptr<gsl_vector, VectorFree> start(gsl_vector_alloc(p));
    if (!start) {
        throw std::bad_alloc();
    }
    for (std::uint32_t i = 0; i < p; ++i) {
        if (!std::isfinite(fitted_function.get(i))) {
            report.reason = "the start is not finite";
            return false;
        }
        gsl_vector_set(start.get(), i, fitted_function.get(i));
    }
    const std::unique_ptr<gsl_multifit_fdfsolver, SolverFree> solver(
        gsl_multifit_fdfsolver_alloc(gsl_multifit_fdfsolver_lmsder, n, p));
    if (!solver) {
        throw std::bad_alloc();
    }
    gsl_multifit_function_fdf fdf{&Callbacks::f, &Callbacks::df, &Callbacks::fdf, n, p, this, 0, 0};
    pending_ = nullptr;
    gsl_multifit_fdfsolver_set(solver.get(), &fdf, start.get());
    int info = 0;
    int status = GSL_EBADFUNC;
    if (!pending_) {
        status = gsl_multifit_fdfsolver_driver(solver.get(), max_iterations, xtol, gtol, 0.0, &info);
    }
    // The callbacks left the function at the last point evaluated; it keeps the start unless
    // the solver converged to finite parameters.
    const gsl_vector* result = gsl_multifit_fdfsolver_position(solver.get());
    const gsl_vector* residual = gsl_multifit_fdfsolver_residual(solver.get());
    bool converged = status == GSL_SUCCESS;
    for (std::size_t i = 0; i < n; ++i) {
        converged = converged && std::isfinite(gsl_vector_get(residual, i)) &&
                    (i >= p || std::isfinite(gsl_vector_get(result, i)));
    }
    for (std::uint32_t i = 0; i < p; ++i) {
        fitted_function.set(i, gsl_vector_get(converged ? result : start.get(), i));
    }
    if (pending_) {
        std::rethrow_exception(std::exchange(pending_, nullptr));
    }
    report.iterations = gsl_multifit_fdfsolver_niter(solver.get());
    report.reason = status == GSL_SUCCESS && !converged ? "the parameters or residuals are not finite"
                                                        : stop_reason(status, info, max_iterations);
    report.residuals = residual_list(fitted_function, fitted_data);
    if (converged) {
        const std::unique_ptr<gsl_matrix, MatrixFree> jacobian(gsl_matrix_alloc(n, p));
        const std::unique_ptr<gsl_matrix, MatrixFree> covariance(gsl_matrix_alloc(p, p));
        if (!jacobian || !covariance) {
            throw std::bad_alloc();
        }
        gsl_multifit_fdfsolver_jac(solver.get(), jacobian.get());
        gsl_multifit_covar(jacobian.get(), 0.0, covariance.get());
        double squares = 0.0;
        for (const double r : report.residuals) {
            squares += r * r;
        }
        const double variance = n > p ? squares / static_cast<double>(n - p) : std::nan("");
        for (std::size_t i = 0; i < p; ++i) {
            for (std::size_t j = 0; j < p; ++j) {
                report.covariance.push_back(gsl_matrix_get(covariance.get(), i, j) * variance);
            }
        }
    }
    return converged;
}

}  // namespace internal

double GratingEquation::evaluate(double x) const {
    const auto& p = parameters;
    const double w = p[omega_m_index] * x + p[phi_index];
    const double theta = (p[omega_t_index] * (x + p[a_index] * std::sin(w)) - p[theta_z_index]) / p[alpha_index];
    return std::sin(theta) * ((p[d_index] + p[d_index]) * p[cos_K_index]);
}

double GratingEquation::partial_derivative(double x, std::uint32_t j) const {
    const auto& p = parameters;
    const double d = p[d_index];
    const double w = p[omega_m_index] * x + p[phi_index];
    const double theta = (p[omega_t_index] * (x + p[a_index] * std::sin(w)) - p[theta_z_index]) / p[alpha_index];
    switch (j) {
        case cos_K_index:
            return (d + d) * std::sin(theta);
        case theta_z_index:
            return (std::cos(theta) * ((d * -2.0) * p[cos_K_index])) / p[alpha_index];
        case alpha_index:
            return (std::cos(theta) * ((d * -2.0) * p[cos_K_index] * theta)) / p[alpha_index];
        case a_index:
            return (std::sin(w) * ((d + d) * p[omega_t_index] * p[cos_K_index]) * std::cos(theta)) / p[alpha_index];
        case phi_index:
            return (std::cos(w) * ((d + d) * p[a_index] * p[omega_t_index] * p[cos_K_index]) * std::cos(theta)) /
                   p[alpha_index];
        default:
            return 0.0;  // d, omega_t, omega_m and anything out of range
    }
}

WavelengthFit fit_wavelength_result(const Scan& data, const FitWavelengthParams& params,
                                    const FitWavelengthParamsFree& free) {
    const auto flags = values_of(free);
    WavelengthFit outcome;
    outcome.params = params;
    std::string without_derivative;
    bool fittable = false;
    for (std::uint32_t i = 0; i < flags.size(); ++i) {
        if (flags[i]) {
            outcome.free.push_back(i);
            if (i <= omega_m_index) {
                without_derivative += (without_derivative.empty() ? "" : ", ") + std::string(parameter_name(i));
            } else {
                fittable = true;
            }
        }
    }
    if (!outcome.free.empty() && !fittable) {
        throw std::invalid_argument("fit_wavelength: " + without_derivative +
                                    " cannot be fitted (the model has no derivative for d, omega_t or omega_m); "
                                    "free at least one of cos_K, theta_z, alpha, a and phi");
    }
    // λ is proportional to d, so wavelengths and d divided by the largest wavelength give the
    // same model in a unit where the data are of order 1: the solver's tolerances then mean
    // the same whether the wavelengths come in metres or in nanometres.
    double scale = 0;
    for (const auto& [key, value] : data) {
        scale = std::max(scale, std::abs(value));
    }
    scale = scale > 0 && std::isfinite(scale) ? scale : 1.0;
    const Scan scaled = data / scale;
    internal::BindableFunction1D<GratingEquation> function;
    function.parameters = values_of(params);
    function.parameters[d_index] /= scale;
    function.bound_indices = outcome.free;
    internal::CurveFitter fitter;
    bool finite_start = true;
    for (const double value : function.parameters) {
        finite_start = finite_start && std::isfinite(value);
    }
    if (finite_start) {
        outcome.success = fitter.fit(scaled, function);
        outcome.reason = fitter.report.reason;
        outcome.iterations = fitter.report.iterations;
        outcome.covariance = fitter.report.covariance;
    } else {
        outcome.reason = "the start is not finite";
    }
    if (outcome.success) {
        // d, omega_t and omega_m have no derivative: the fit never moves them.
        auto fitted = function.parameters;
        const auto start = values_of(params);
        for (const std::uint32_t i : {d_index, omega_t_index, omega_m_index}) {
            fitted[i] = start[i];
        }
        outcome.params = params_from(fitted);
    }
    internal::BindableFunction1D<GratingEquation> model;
    model.parameters = values_of(outcome.params);
    for (const auto& [key, value] : data) {
        const double r = model.evaluate(key) - value;
        outcome.residuals.push_back(r);
        outcome.rms += r * r;
        // Written so that a NaN residual makes the largest one NaN too.
        if (!(std::abs(r) <= outcome.max_residual)) {
            outcome.max_residual = std::abs(r);
        }
    }
    outcome.rms = outcome.residuals.empty() ? 0.0 : std::sqrt(outcome.rms / static_cast<double>(data.size()));
    return outcome;
}

bool fit_wavelength(const Scan& data, FitWavelengthParams& params, const FitWavelengthParamsFree& free) {
    const WavelengthFit outcome = fit_wavelength_result(data, params, free);
    if (outcome.success) {
        params = outcome.params;
    }
    return outcome.success;
}

}  // namespace orvanalysis::monochromator
