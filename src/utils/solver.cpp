#include "utils/solver.hpp"

#include "core/gsl_errors.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_min.h>
#include <gsl/gsl_roots.h>

#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace orvanalysis::utils {

namespace {

struct RootSolverFree {
    void operator()(gsl_root_fsolver* s) const noexcept { gsl_root_fsolver_free(s); }
};
struct MinimizerFree {
    void operator()(gsl_min_fminimizer* s) const noexcept { gsl_min_fminimizer_free(s); }
};

}  // namespace

Solver1D::Solver1D() { switch_off_gsl_error_handler(); }

double Solver1D::evaluate(double x, void* solver) {
    auto* self = static_cast<Solver1D*>(solver);
    if (self->pending_) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    try {
        return self->function(x);
    } catch (...) {
        // Unwinding through GSL's C frames is undefined; GSL gets a NaN, which ends its step,
        // and the exception is thrown again once GSL has returned.
        self->pending_ = std::current_exception();
        return std::numeric_limits<double>::quiet_NaN();
    }
}

void Solver1D::rethrow_pending() {
    if (pending_) {
        std::rethrow_exception(std::exchange(pending_, nullptr));
    }
}

std::optional<double> Solver1D::find_root(double lower, double upper, std::function<double(double)> f) {
    function = std::move(f);
    gsl_function gsl_f{&Solver1D::evaluate, this};
    const std::unique_ptr<gsl_root_fsolver, RootSolverFree> solver(gsl_root_fsolver_alloc(gsl_root_fsolver_brent));
    if (!solver) {
        throw std::bad_alloc();
    }
    const int set = gsl_root_fsolver_set(solver.get(), &gsl_f, lower, upper);
    rethrow_pending();
    // GSL_EINVAL: no bracket; GSL_EBADFUNC: a value that is not finite. Either way no search.
    if (set != GSL_SUCCESS) {
        return std::nullopt;
    }
    double x = 0.0;
    std::uint32_t iterations = 0;
    int status = GSL_CONTINUE;
    do {
        ++iterations;
        gsl_root_fsolver_iterate(solver.get());
        rethrow_pending();
        x = gsl_root_fsolver_root(solver.get());
        status = gsl_root_test_interval(gsl_root_fsolver_x_lower(solver.get()), gsl_root_fsolver_x_upper(solver.get()),
                                        epsabs, epsrel);
    } while (status == GSL_CONTINUE && iterations < max_iterations);
    return x;
}

std::optional<double> Solver1D::find_minimum(double lower, double upper, double guess,
                                             std::function<double(double)> f) {
    function = std::move(f);
    gsl_function gsl_f{&Solver1D::evaluate, this};
    const std::unique_ptr<gsl_min_fminimizer, MinimizerFree> solver(gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent));
    if (!solver) {
        throw std::bad_alloc();
    }
    const int set = gsl_min_fminimizer_set(solver.get(), &gsl_f, guess, lower, upper);
    rethrow_pending();
    if (set != GSL_SUCCESS) {
        return std::nullopt;
    }
    double x = 0.0;
    std::uint32_t iterations = 0;
    int status = GSL_CONTINUE;
    do {
        ++iterations;
        gsl_min_fminimizer_iterate(solver.get());
        rethrow_pending();
        x = gsl_min_fminimizer_x_minimum(solver.get());
        status = gsl_min_test_interval(gsl_min_fminimizer_x_lower(solver.get()),
                                       gsl_min_fminimizer_x_upper(solver.get()), epsabs, epsrel);
    } while (status == GSL_CONTINUE && iterations < max_iterations);
    return x;
}

}  // namespace orvanalysis::utils
