#include "curves/synthetic.hpp"
#include "monochromator/slit_function.hpp"
#include "monochromator/wavelength_fit.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

using orvanalysis::Scan;
using namespace orvanalysis;

namespace {

constexpr double K = 0.80794550659902;

// The overlap of two equal circles x diameters apart, per circle area, from its geometry.
double overlap(double x) { return 2.0 / M_PI * (std::acos(x) - x * std::sqrt(1 - x * x)); }

}  // namespace

TEST(SlitFunction, ValuesAtTheCentreHalfWidthAndBase) {
    EXPECT_EQ(uniform_fibres_value(500, 2, 500), 1.0);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 501), 0.5, 1e-12);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 499), 0.5, 1e-12);
    EXPECT_EQ(uniform_fibres_value(500, 2, 500 + 2 / K + 1e-9), 0.0);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 500.7), overlap(0.7 * K / 2), 1e-14);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 500 + 2 / K), 0.0, 1e-7);
}

TEST(SlitFunction, ScansSpanTheBaseSymmetrically) {
    const double r = 1.0 / K;
    const Scan five = uniform_fibres(500, 1, 5);
    ASSERT_EQ(five.size(), 5u);
    EXPECT_NEAR(five.wavelengths()[0], 500 - r, 1e-12);
    EXPECT_NEAR(five.wavelengths()[1], 500 - r / 2, 1e-12);
    EXPECT_NEAR(five.wavelengths()[1], 499.3811, 1e-4);
    EXPECT_EQ(five.values()[2], 1.0);
    EXPECT_NEAR(five.values()[1], overlap(0.5), 1e-15);  // (π/3 - √3/4) 2/π = 0.3910
    EXPECT_NEAR(five.values()[1], 0.3910, 1e-4);
    EXPECT_EQ(five.values()[0], five.values()[4]);
    const Scan four = uniform_fibres(500, 1, 4);
    EXPECT_NEAR(four.wavelengths()[1], 500 - r / 3, 1e-12);
    EXPECT_FALSE(four.contains(500));
    const Scan two = uniform_fibres(500, 1, 2);
    EXPECT_EQ(two.values(), (std::vector<double>{0, 0}));
    for (const std::uint32_t n : {6u, 7u, 101u}) {
        const Scan s = uniform_fibres(300, 3, n);
        ASSERT_EQ(s.size(), n);
        for (std::uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(s.values()[i], s.values()[n - 1 - i]) << n;
        }
    }
    EXPECT_THROW((void)uniform_fibres(500, 1, 1), std::invalid_argument);
    EXPECT_THROW((void)uniform_fibres(500, 1, 0), std::invalid_argument);
}

TEST(Filters, LogisticEdgesFromFiveToNinetyFivePercent) {
    const Scan up = longpass_filter(500, 20, 400, 600, 1);
    ASSERT_EQ(up.size(), 201u);
    EXPECT_EQ(up(500), 0.5);
    // At ±bandwidth / 2 the logistic's argument is ∓ln 19, up to the 12 digits of 2 ln 19.
    EXPECT_NEAR(up(490), 0.05, 1e-11);
    EXPECT_NEAR(up(510), 0.95, 1e-11);
    const Scan down = shortpass_filter(500, 20, 400, 600, 1);
    ASSERT_EQ(down.wavelengths(), up.wavelengths());
    for (std::size_t i = 0; i < up.size(); ++i) {
        EXPECT_EQ(down.values()[i], 1.0 - up.values()[i]);
    }
    EXPECT_EQ(up.interpolation(), Scan::Default_Interpolation);
}

TEST(Filters, GridAndItsChecks) {
    const Scan grid = longpass_filter(400, 1, 400, 401, 0.3);
    ASSERT_EQ(grid.size(), 4u);
    EXPECT_NEAR(grid.wavelengths()[3], 400.9, 1e-12);
    EXPECT_EQ(longpass_filter(400, 1, 400, 401, 1).size(), 2u);
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)longpass_filter(5, 1, 401, 401, 0.5); }),
              "min_wl >= max_wl");
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)shortpass_filter(5, 1, 400, 401, 2); }),
              "step_wl > (max_wl - min_wl)");
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)longpass_filter(5, 1, 400, 401, 0); }), "step_wl <= 0");
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)longpass_filter(5, 1, 400, 401, -1); }), "step_wl <= 0");
    // A grid that never ends or cannot be counted in 32 bits is refused, not run.
    EXPECT_THROW((void)longpass_filter(5, 1, 400, INFINITY, 1), std::invalid_argument);
    EXPECT_THROW((void)longpass_filter(5, 1, 400, 500, 1e-9), std::invalid_argument);
    EXPECT_THROW((void)longpass_filter(5, 1, NAN, 500, 1), std::invalid_argument);
}

TEST(Lognormal, OneAtThePeakWithTheWidthOfItsShape) {
    const double peak = 500;
    const double fwhm = 50;
    const Scan curve = lognormal(peak, fwhm, 300, 800, 0.01);
    EXPECT_EQ(curve(peak), 1.0);
    for (const double v : curve.values()) {
        EXPECT_LE(v, 1.0);
    }
    // Its density ∝ exp(-(ln x - ln m)² / 2σ²) / ... reaches half the mode's height at
    // m e^(±σ√(2 ln 2)), so the width is 2m sinh(σ√(2 ln 2)) with σ² = ln(h²/(2 ln 2) + 1),
    // h = fwhm / 2m. That is fwhm (1 + O(h²)): with h = 0.05 within 0.05 % of it.
    const double h = fwhm * 0.5 / peak;
    const double sigma = std::sqrt(std::log(h * h / (2 * std::log(2.0)) + 1));
    const double width = 2 * peak * std::sinh(sigma * std::sqrt(2 * std::log(2.0)));
    EXPECT_NEAR(width, fwhm, 5e-4 * fwhm);
    // The half-height points of the curve on its 0.01 nm grid.
    double left = 0;
    double right = 0;
    for (std::size_t i = 1; i < curve.size(); ++i) {
        const double a = curve.values()[i - 1] - 0.5;
        const double b = curve.values()[i] - 0.5;
        if (a * b <= 0 && a != b) {
            const double x = curve.wavelengths()[i - 1] + 0.01 * a / (a - b);
            (a < 0 ? left : right) = x;
        }
    }
    EXPECT_NEAR(right - left, width, 1e-4);
}

TEST(Lognormal, ChecksThePeakFirst) {
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)lognormal(0, 50, 400, 300, 1); }),
              "peak_wl <= 0 || fwhm <= 0");
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)lognormal(500, -1, 400, 300, 1); }),
              "peak_wl <= 0 || fwhm <= 0");
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)lognormal(500, 50, 400, 300, 1); }), "min_wl >= max_wl");
    const Scan through_zero = lognormal(500, 50, -10, 10, 5);
    EXPECT_TRUE(std::isnan(through_zero(-10)));
}

namespace {

FitWavelengthParams generating() {
    FitWavelengthParams p;
    p.d = 833.3333333333334;  // nm: 1200 lines per mm
    p.omega_t = 2 * M_PI / (200 * 256 * 100);
    p.omega_m = 2 * M_PI / (200 * 256);
    p.cos_K = std::cos(0.2);
    p.theta_z = 0.05;
    p.alpha = 1.0;
    p.a = 30.0;
    p.phi = 0.3;
    return p;
}

Scan calibration(const FitWavelengthParams& p) {
    internal::BindableFunction1D<GratingEquation> model;
    model.parameters = {p.d, p.omega_t, p.omega_m, p.cos_K, p.theta_z, p.alpha, p.a, p.phi};
    std::vector<double> steps;
    std::vector<double> wavelengths;
    for (int i = 1; i < 400; ++i) {
        steps.push_back(500.0 * i);
        wavelengths.push_back(model.evaluate(steps.back()));
    }
    return Scan(steps, wavelengths, Scan::Default_Wavelength_Epsilon, Scan::Default_Interpolation);
}

struct Throws : internal::BindableFunction1D<GratingEquation> {
    double evaluate(double) const override { throw std::logic_error("model failed"); }
};

}  // namespace

TEST(GratingEquation, ModelAndDerivatives) {
    const FitWavelengthParams p = generating();
    internal::BindableFunction1D<GratingEquation> model;
    model.parameters = {p.d, p.omega_t, p.omega_m, p.cos_K, p.theta_z, p.alpha, p.a, p.phi};
    const double x = 12345;
    const double theta = (p.omega_t * (x + p.a * std::sin(p.omega_m * x + p.phi)) - p.theta_z) / p.alpha;
    EXPECT_NEAR(model.evaluate(x), 2 * p.d * p.cos_K * std::sin(theta), 1e-12);
    for (std::uint32_t j = 0; j < 8; ++j) {
        internal::BindableFunction1D<GratingEquation> up = model;
        internal::BindableFunction1D<GratingEquation> down = model;
        const double step = 1e-6 * std::max(1.0, std::abs(model.parameters[j]));
        up.parameters[j] += step;
        down.parameters[j] -= step;
        const double numeric = (up.evaluate(x) - down.evaluate(x)) / (2 * step);
        if (j < 3) {
            EXPECT_EQ(model.partial_derivative(x, j), 0.0) << j;  // d, omega_t, omega_m: none
        } else {
            EXPECT_NEAR(model.partial_derivative(x, j), numeric, 1e-6 * std::max(1.0, std::abs(numeric))) << j;
        }
    }
    EXPECT_EQ(model.partial_derivative(x, 8), 0.0);
}

TEST(GratingEquation, BoundParameterAccess) {
    internal::BindableFunction1D<GratingEquation> f;
    f.parameters = {1, 2, 3, 4, 5, 6, 7, 8};
    f.bound_indices = {4, 6, 9};
    EXPECT_EQ(f.size(), 3u);
    EXPECT_EQ(f.get(0), 5.0);
    EXPECT_EQ(f.get(1), 7.0);
    EXPECT_EQ(f.get(2), 0.0) << "index 9 is no parameter";
    EXPECT_EQ(f.get(3), 0.0);
    f.set(1, 70);
    f.set(2, 90);
    f.set(5, 50);
    EXPECT_EQ(f.parameters, (std::array<double, 8>{1, 2, 3, 4, 5, 6, 70, 8}));
    EXPECT_EQ(f.derivative(100, 3), 0.0);
}

TEST(FitWavelength, RecoversTheGeneratingParameters) {
    const FitWavelengthParams truth = generating();
    FitWavelengthParams p = truth;
    p.cos_K *= 0.99;
    p.theta_z *= 1.01;
    p.alpha *= 1.005;
    p.a *= 1.05;
    p.phi += 0.05;
    FitWavelengthParamsFree free;
    free.cos_K = free.theta_z = free.alpha = free.a = free.phi = true;
    ASSERT_TRUE(fit_wavelength(calibration(truth), p, free));
    EXPECT_NEAR(p.cos_K, truth.cos_K, 1e-9);
    EXPECT_NEAR(p.theta_z, truth.theta_z, 1e-9);
    EXPECT_NEAR(p.alpha, truth.alpha, 1e-9);
    EXPECT_NEAR(p.a, truth.a, 1e-6);
    EXPECT_NEAR(p.phi, truth.phi, 1e-8);
    EXPECT_EQ(p.d, truth.d) << "not free";
}

TEST(FitWavelength, CasesThatCannotBeFitted) {
    const FitWavelengthParams truth = generating();
    FitWavelengthParams p = truth;
    p.a = 1;
    const FitWavelengthParams before = p;
    EXPECT_FALSE(fit_wavelength(calibration(truth), p, FitWavelengthParamsFree{}));
    EXPECT_EQ(p.a, before.a);
    FitWavelengthParamsFree free;
    free.theta_z = free.a = true;
    EXPECT_FALSE(fit_wavelength(Scan(), p, free));
    EXPECT_FALSE(fit_wavelength(Scan({1}, {1}, 0.0, Scan::Default_Interpolation), p, free)) << "1 point, 2 parameters";
    // Parameters without a derivative stay where they started, free or not.
    FitWavelengthParamsFree scale_only;
    scale_only.d = scale_only.omega_t = scale_only.omega_m = true;
    EXPECT_TRUE(fit_wavelength(calibration(truth), p, scale_only));
    EXPECT_EQ(p.d, before.d);
    EXPECT_EQ(p.omega_t, before.omega_t);
    // A zero alpha divides by zero everywhere; the fit still ends.
    FitWavelengthParams zero = truth;
    zero.alpha = 0;
    EXPECT_TRUE(fit_wavelength(calibration(truth), zero, free));
}

TEST(FitWavelength, AnExceptionOfTheModelReachesTheCaller) {
    Throws model;
    model.bound_indices = {4};
    internal::CurveFitter fitter;
    EXPECT_EQ(fitter.max_iterations, 500u);
    EXPECT_EQ(fitter.xtol, 1e-12);
    EXPECT_EQ(message_of<std::logic_error>([&] { (void)fitter.fit(calibration(generating()), model); }),
              "model failed");
}
