// Interpolation kinds and the spline cache a Scan evaluates and integrates through.
#pragma once

#include <gsl/gsl_spline.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvanalysis::spline {

// STEFFEN is the monotone cubic of Steffen (1990): between two points it stays within their
// values, so a table that is never negative gives a curve that is never negative.
enum class Type : std::int32_t { NONE = 0, AKIMA = 1, CUBIC = 2, LINEAR = 3, POLYNOMIAL = 4, STEFFEN = 5 };

// "NONE", "AKIMA", "CUBIC", "LINEAR", "POLYNOMIAL", "STEFFEN", or "UNKNOWN" for any other value.
std::string to_string(Type type);

// The fewest points GSL builds a spline of this kind from (AKIMA 5, CUBIC, POLYNOMIAL and
// STEFFEN 3, LINEAR 2); 0 for NONE, which is never built.
std::size_t minimum_points(Type type);

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
};

}  // namespace orvanalysis::spline
