// Interpolation kinds and the spline cache a Scan evaluates and integrates through.
#pragma once

#include <gsl/gsl_spline.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvanalysis::spline {

// STEFFEN is the monotone cubic of Steffen (1990): between two points it stays within their
// values, so a table that is never negative gives a curve that is never negative.
enum class Type : std::int32_t { NONE = 0, AKIMA = 1, CUBIC = 2, LINEAR = 3, POLYNOMIAL = 4, STEFFEN = 5 };

// "NONE", "AKIMA", "CUBIC", "LINEAR", "POLYNOMIAL", "STEFFEN", or "UNKNOWN" for any other value.
std::string to_string(Type type);

// The fewest points GSL builds a spline of this kind from (AKIMA 5, CUBIC, POLYNOMIAL and
// STEFFEN 3, LINEAR 2); 0 for NONE, which is never built.
std::size_t minimum_points(Type type);

// The curve of a piecewise kind (AKIMA, CUBIC, LINEAR, STEFFEN) between n points as one cubic per
// interval, y[i] + t (b[i] + t (c[i] + t d[i])) with t = w - x[i], its coefficients worked out as
// GSL works them out, and the integrals from the first point to every point. An integral over
// any span then costs two partial intervals and a difference of two totals.
class Cubics {
public:
    // Builds from n strictly increasing abscissae x and ordinates y, which are not kept: every
    // later call is given the same arrays. False for POLYNOMIAL and NONE, which are not
    // piecewise, and for fewer points than GSL takes for the kind.
    bool build(const double* x, const double* y, std::size_t n, Type type);
    bool is_built() const noexcept { return n_ != 0; }
    Type type() const noexcept { return type_; }
    void reset() noexcept;

    // The interval holding w as GSL finds it: the last i with x[i] <= w, kept within 0 to n - 2.
    std::size_t interval(const double* x, double w) const noexcept;
    // The integral over [lo, hi], x[0] <= lo <= hi <= x[n - 1].
    double integral(const double* x, const double* y, double lo, double hi) const noexcept;

    const double* b() const noexcept { return b_.data(); }
    const double* c() const noexcept { return c_.data(); }
    const double* d() const noexcept { return d_.data(); }
    // The intervals, ascending, whose cubic may leave the range of the values at their two ends;
    // every other interval's cubic is monotone.
    const std::vector<std::size_t>& overshooting() const noexcept { return overshooting_; }

private:
    // The integral of interval i from u to v, both inside it.
    double part(const double* x, const double* y, std::size_t i, double u, double v) const noexcept;

    Type type_ = Type::NONE;
    std::size_t n_ = 0;
    std::vector<double> b_;
    std::vector<double> c_;
    std::vector<double> d_;
    // The integral from x[0] to x[i] is total_[i] + total_error_[i], the error of the running
    // sum carried along, so that a difference of two totals loses nothing to their size.
    std::vector<double> total_;
    std::vector<double> total_error_;
    std::vector<std::size_t> overshooting_;
};

// Owns the GSL spline and accelerator built from a scan's points. A copy starts empty:
// the cache belongs to one set of points and is rebuilt on demand.
class Spline {
public:
    Spline() noexcept;
    Spline(const Spline& /*other*/) noexcept : Spline() {}
    Spline(Spline&&) noexcept = default;
    Spline& operator=(const Spline& /*other*/) noexcept;
    Spline& operator=(Spline&&) noexcept = default;
    ~Spline() = default;

    // Builds the cache from n strictly increasing abscissae x and ordinates y; GSL keeps its
    // own copy of both arrays. False when GSL refuses n points for this kind.
    bool init(const double* x, const double* y, std::size_t n, Type type);

    // Interpolated value at a w known to lie in the interval from abscissa i to abscissa i + 1
    // (GSL is spared its search); 0.0 when the cache is empty.
    double eval(double w, std::size_t i) {
        if (!spline_) {
            return 0.0;
        }
        accelerator_->cache = i;
        return gsl_interp_eval(spline_->interp, spline_->x, spline_->y, w, accelerator_.get());
    }
    // Integral from a to b (a <= b, both inside the abscissae); 0.0 when the cache is empty.
    double eval_integ(double a, double b);

    // The points' cubics, kept beside the GSL spline and forgotten with it.
    Cubics& cubics() noexcept { return cubics_; }

    void reset() noexcept;
    bool is_built() const noexcept { return spline_ != nullptr; }

private:
    struct SplineFree {
        void operator()(gsl_spline* s) const noexcept { gsl_spline_free(s); }
    };
    struct AccelFree {
        void operator()(gsl_interp_accel* a) const noexcept { gsl_interp_accel_free(a); }
    };

    std::unique_ptr<gsl_spline, SplineFree> spline_;
    std::unique_ptr<gsl_interp_accel, AccelFree> accelerator_;
    Cubics cubics_;
};

}  // namespace orvanalysis::spline
