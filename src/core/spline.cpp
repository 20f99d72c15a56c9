#include "core/spline.hpp"

#include "core/gsl_errors.hpp"

#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cmath>

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

// The slopes at the points of Steffen's monotone cubic (Steffen 1990, eq. 11, and the simplest
// choice at the ends): never steeper than twice either neighbouring secant, zero at an extremum.
void steffen_slopes(const double* x, const double* y, std::size_t n, std::vector<double>& slope) {
    // Steffen's sign, +1 for zero.
    const auto sign = [](double v) { return v < 0 ? -1.0 : 1.0; };
    const auto lesser = [](double a, double b) { return a < b ? a : b; };
    slope.resize(n);
    slope[0] = (y[1] - y[0]) / (x[1] - x[0]);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double h = x[i + 1] - x[i];
        const double h_before = x[i] - x[i - 1];
        const double secant = (y[i + 1] - y[i]) / h;
        const double secant_before = (y[i] - y[i - 1]) / h_before;
        const double parabola = (secant_before * h + secant * h_before) / (h_before + h);
        slope[i] = (sign(secant_before) + sign(secant)) *
                   lesser(std::fabs(secant_before), lesser(std::fabs(secant), 0.5 * std::fabs(parabola)));
    }
    slope[n - 1] = (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]);
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

bool Cubics::build(const double* x, const double* y, std::size_t n, Type type) {
    reset();
    if (type == Type::NONE || type == Type::POLYNOMIAL || n < minimum_points(type)) {
        return false;
    }
    type_ = type;
    const std::size_t intervals = n - 1;
    b_.resize(intervals);
    c_.resize(intervals);
    d_.resize(intervals);
    switch (type) {
        case Type::AKIMA: {
            // Akima's slopes from the secants m, two made-up secants continuing each end; the
            // ends of an interval take their own slopes, so that the curve is linear where the
            // secants around it agree.
            std::vector<double> secants(n + 3);
            double* m = secants.data() + 2;
            for (std::size_t i = 0; i < intervals; ++i) {
                m[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
            }
            m[-2] = 3.0 * m[0] - 2.0 * m[1];
            m[-1] = 2.0 * m[0] - m[1];
            m[n - 1] = 2.0 * m[n - 2] - m[n - 3];
            m[n] = 3.0 * m[n - 2] - 2.0 * m[n - 3];
            for (std::size_t i = 0; i < intervals; ++i) {
                // s points at the interval's own secant, so s[-2] to s[2] are its neighbours.
                const double* s = m + i;
                const double weights = std::fabs(s[1] - s[0]) + std::fabs(s[-1] - s[-2]);
                if (weights == 0.0) {
                    b_[i] = s[0];
                    c_[i] = 0.0;
                    d_[i] = 0.0;
                    continue;
                }
                const double h = x[i + 1] - x[i];
                const double weights_next = std::fabs(s[2] - s[1]) + std::fabs(s[0] - s[-1]);
                const double alpha = std::fabs(s[-1] - s[-2]) / weights;
                double end_slope = s[0];
                if (weights_next != 0.0) {
                    const double alpha_next = std::fabs(s[0] - s[-1]) / weights_next;
                    end_slope = (1.0 - alpha_next) * s[0] + alpha_next * s[1];
                }
                b_[i] = (1.0 - alpha) * s[-1] + alpha * s[0];
                c_[i] = (3.0 * s[0] - 2.0 * b_[i] - end_slope) / h;
                d_[i] = (b_[i] + end_slope - 2.0 * s[0]) / (h * h);
            }
            break;
        }
        case Type::CUBIC: {
            // The natural spline's second derivatives (halved) at the inner points, from the
            // symmetric tridiagonal system GSL solves, by GSL's own solver.
            std::vector<double> half_second(n, 0.0);
            const std::size_t inner = n - 2;
            std::vector<double> diagonal(inner);
            std::vector<double> off_diagonal(inner);
            std::vector<double> rhs(inner);
            for (std::size_t i = 0; i < inner; ++i) {
                const double h = x[i + 1] - x[i];
                const double h_next = x[i + 2] - x[i + 1];
                off_diagonal[i] = h_next;
                diagonal[i] = 2.0 * (h_next + h);
                rhs[i] = 3.0 * ((y[i + 2] - y[i + 1]) * (1.0 / h_next) - (y[i + 1] - y[i]) * (1.0 / h));
            }
            if (inner == 1) {
                half_second[1] = rhs[0] / diagonal[0];
            } else {
                gsl_vector_view d = gsl_vector_view_array(diagonal.data(), inner);
                gsl_vector_view e = gsl_vector_view_array(off_diagonal.data(), inner - 1);
                gsl_vector_view g = gsl_vector_view_array(rhs.data(), inner);
                gsl_vector_view solution = gsl_vector_view_array(half_second.data() + 1, inner);
                gsl_linalg_solve_symm_tridiag(&d.vector, &e.vector, &g.vector, &solution.vector);
            }
            for (std::size_t i = 0; i < intervals; ++i) {
                const double h = x[i + 1] - x[i];
                b_[i] = (y[i + 1] - y[i]) / h - h * (half_second[i + 1] + 2.0 * half_second[i]) / 3.0;
                c_[i] = half_second[i];
                d_[i] = (half_second[i + 1] - half_second[i]) / (3.0 * h);
            }
            break;
        }
        case Type::STEFFEN: {
            std::vector<double> slope;
            steffen_slopes(x, y, n, slope);
            for (std::size_t i = 0; i < intervals; ++i) {
                const double h = x[i + 1] - x[i];
                const double secant = (y[i + 1] - y[i]) / h;
                b_[i] = slope[i];
                c_[i] = (3 * secant - 2 * slope[i] - slope[i + 1]) / h;
                d_[i] = (slope[i] + slope[i + 1] - 2 * secant) / h / h;
            }
            break;
        }
        default:  // LINEAR
            for (std::size_t i = 0; i < intervals; ++i) {
                b_[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
                c_[i] = 0.0;
                d_[i] = 0.0;
            }
            break;
    }
    // Each whole interval as GSL integrates it (to rounding: a third is multiplied, not divided
    // by), kept apart first so that the running sum below is the only chain of dependent steps.
    total_.resize(n);
    total_error_.resize(n);
    double* whole = total_error_.data() + 1;
    for (std::size_t i = 0; i < intervals; ++i) {
        const double h = x[i + 1] - x[i];
        whole[i] = h * (y[i] + h * (0.5 * b_[i] + h * (c_[i] * (1.0 / 3.0) + 0.25 * d_[i] * h)));
    }
    if (type == Type::LINEAR || type == Type::STEFFEN) {
        for (std::size_t i = 0; i < intervals; ++i) {
            whole[i] =
                type == Type::LINEAR ? 0.5 * (x[i + 1] - x[i]) * (y[i] + y[i + 1]) : part(x, y, i, x[i], x[i + 1]);
        }
    }
    double sum = 0.0;
    double error = 0.0;
    total_[0] = 0.0;
    total_error_[0] = 0.0;
    for (std::size_t i = 0; i < intervals; ++i) {
        // Knuth's two-sum: the rounding error of sum + whole, exactly.
        const double next = sum + whole[i];
        const double whole_part = next - sum;
        error += (sum - (next - whole_part)) + (whole[i] - whole_part);
        sum = next;
        total_[i + 1] = sum;
        total_error_[i + 1] = error;
    }
    // Monotone, by Fritsch and Carlson, when both end slopes have the secant's sign and are at
    // most three times as steep; a flat interval must be constant.
    for (std::size_t i = 0; i < intervals; ++i) {
        const double h = x[i + 1] - x[i];
        const double rise = y[i + 1] - y[i];
        const double start = b_[i] * h;
        const double end = (b_[i] + h * (2.0 * c_[i] + 3.0 * d_[i] * h)) * h;
        const double limit = 3.0 * std::fabs(rise);
        const bool monotone = rise == 0.0 ? (b_[i] == 0.0 && c_[i] == 0.0 && d_[i] == 0.0)
                                          : (start * rise >= 0.0 && std::fabs(start) <= limit && end * rise >= 0.0 &&
                                             std::fabs(end) <= limit);
        if (!monotone) {
            overshooting_.push_back(i);
        }
    }
    n_ = n;
    return true;
}

void Cubics::reset() noexcept {
    n_ = 0;
    overshooting_.clear();
}

std::size_t Cubics::interval(const double* x, double w) const noexcept {
    // The last abscissa at or below w, by halving without branches: bounds in no order would
    // mispredict half of a branching search's steps.
    const double* base = x;
    std::size_t n = n_;
    while (n > 1) {
        const std::size_t half = n / 2;
        base = base[half] <= w ? base + half : base;
        n -= half;
    }
    return std::min(static_cast<std::size_t>(base - x), n_ - 2);
}

double Cubics::part(const double* x, const double* y, std::size_t i, double u, double v) const noexcept {
    if (type_ == Type::STEFFEN) {
        // GSL integrates Steffen's cubic by its antiderivative at both ends, which loses digits
        // near the end of a long interval; kept, so that integrals stay what they were.
        const double t1 = u - x[i];
        const double t2 = v - x[i];
        return (1.0 / 4.0) * d_[i] * (t2 * t2 * t2 * t2 - t1 * t1 * t1 * t1) +
               (1.0 / 3.0) * c_[i] * (t2 * t2 * t2 - t1 * t1 * t1) + (1.0 / 2.0) * b_[i] * (t2 * t2 - t1 * t1) +
               y[i] * (t2 - t1);
    }
    // GSL's integral of a cubic over part of its interval, term for term.
    const double r1 = u - x[i];
    const double r2 = v - x[i];
    const double r12 = r1 + r2;
    const double linear = 0.5 * b_[i] * r12;
    const double quadratic = (1.0 / 3.0) * c_[i] * (r1 * r1 + r2 * r2 + r1 * r2);
    const double cubic = 0.25 * d_[i] * r12 * (r1 * r1 + r2 * r2);
    return (v - u) * (y[i] + linear + quadratic + cubic);
}

double Cubics::integral(const double* x, const double* y, double lo, double hi) const noexcept {
    const std::size_t first = interval(x, lo);
    const std::size_t last = interval(x, hi);
    if (first == last) {
        return part(x, y, first, lo, hi);
    }
    const double left = part(x, y, first, lo, x[first + 1]);
    const double right = part(x, y, last, x[last], hi);
    // The whole intervals between: a difference of two totals, with its rounding error (by
    // two-sum) and the difference of the totals' own errors added back.
    const double a = total_[last];
    const double b = -total_[first + 1];
    const double difference = a + b;
    const double b_part = difference - a;
    const double rounding = (a - (difference - b_part)) + (b - b_part);
    const double middle = difference + (rounding + (total_error_[last] - total_error_[first + 1]));
    return left + middle + right;
}

void Spline::reset() noexcept {
    if (spline_) {
        spline_.reset();
        accelerator_.reset();
    }
    cubics_.reset();
}

}  // namespace orvanalysis::spline
