#include "core/spline.hpp"

#include "core/gsl_errors.hpp"

namespace orvanalysis::spline {

namespace {

const gsl_interp_type* gsl_type(Type type) noexcept {
    switch (type) {
        case Type::AKIMA:
            return gsl_interp_akima;
        case Type::CUBIC:
            return gsl_interp_cspline;
        case Type::POLYNOMIAL:
            return gsl_interp_polynomial;
        case Type::STEFFEN:
            return gsl_interp_steffen;
        case Type::LINEAR:
        case Type::NONE:
            break;
    }
    return gsl_interp_linear;
}

}  // namespace

std::string to_string(Type type) {
    switch (type) {
        case Type::NONE:
            return "NONE";
        case Type::AKIMA:
            return "AKIMA";
        case Type::CUBIC:
            return "CUBIC";
        case Type::LINEAR:
            return "LINEAR";
        case Type::POLYNOMIAL:
            return "POLYNOMIAL";
        case Type::STEFFEN:
            return "STEFFEN";
    }
    return "UNKNOWN";
}

std::size_t minimum_points(Type type) {
    return type == Type::NONE ? 0 : static_cast<std::size_t>(gsl_interp_type_min_size(gsl_type(type)));
}

Spline::Spline() noexcept { switch_off_gsl_error_handler(); }

Spline& Spline::operator=(const Spline& /*other*/) noexcept {
    reset();
    return *this;
}

bool Spline::init(const double* x, const double* y, std::size_t n, Type type) {
    const gsl_interp_type* selected = gsl_type(type);
    if (!spline_ || spline_->size != n || spline_->interp->type != selected) {
        spline_.reset(gsl_spline_alloc(selected, n));
        accelerator_.reset(gsl_interp_accel_alloc());
    }
    if (!spline_) {
        return false;
    }
    // The keys handed in are strictly increasing, the only precondition GSL checks.
    gsl_spline_init(spline_.get(), x, y, n);
    return true;
}

double Spline::eval_integ(double a, double b) {
    return spline_ ? gsl_spline_eval_integ(spline_.get(), a, b, accelerator_.get()) : 0.0;
}

void Spline::reset() noexcept {
    if (spline_) {
        spline_.reset();
        accelerator_.reset();
    }
}

}  // namespace orvanalysis::spline
