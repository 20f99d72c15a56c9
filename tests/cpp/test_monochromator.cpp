#include "core/scan_arithmetic.hpp"
#include "curves/synthetic.hpp"
#include "monochromator/slit_function.hpp"
#include "monochromator/wavelength_fit.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cstring>
#include <random>

using namespace orvanalysis;
using namespace orvanalysis::curves;
using namespace orvanalysis::monochromator;

namespace {

constexpr double K = 0.80794550659902;

// The overlap of two equal circles x diameters apart, per circle area, from its geometry.
double overlap(double x) { return 2.0 / M_PI * (std::acos(x) - x * std::sqrt(1 - x * x)); }

}  // namespace

TEST(SlitFunction, ValuesAndSymmetricScans) {
    EXPECT_EQ(uniform_fibres_value(500, 2, 500), 1.0);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 499), 0.5, 1e-12);
    EXPECT_NEAR(uniform_fibres_value(500, 2, 500.7), overlap(0.7 * K / 2), 1e-14);
    EXPECT_EQ(uniform_fibres_value(500, 2, 500 + 2 / K + 1e-9), 0.0);
    const double r = 1.0 / K;
    const Scan five = uniform_fibres(500, 1, 5);
    ASSERT_EQ(five.size(), 5u);
    EXPECT_NEAR(five.wavelengths()[1], 500 - r / 2, 1e-12);  // 499.3811
    EXPECT_NEAR(five.values()[1], overlap(0.5), 1e-15);      // (π/3 - √3/4) 2/π = 0.3910
    EXPECT_TRUE(five.values()[2] == 1.0 && five.values()[1] == five.values()[3]);
    EXPECT_NEAR(uniform_fibres(500, 1, 4).wavelengths()[1], 500 - r / 3, 1e-12);
    EXPECT_EQ(uniform_fibres(500, 1, 2).values(), (Keys{0, 0}));
    // Refused at once: a point count no scan should hold, a bandwidth that is not positive.
    for (const auto& [bandwidth, points] : std::vector<std::pair<double, std::uint32_t>>{
             {1, 1}, {1, Scan::Max_Generated_Points + 1}, {0, 5}, {-1, 5}, {std::nan(""), 5}, {HUGE_VAL, 5}}) {
        EXPECT_THROW((void)uniform_fibres(500, bandwidth, points), std::invalid_argument) << bandwidth << " " << points;
    }
}

TEST(SyntheticCurves, LogisticFiltersAndTheirGrid) {
    const Scan up = longpass_filter(500, 20, 400, 600, 1);
    ASSERT_EQ(up.size(), 201u);
    EXPECT_EQ(up(500), 0.5);
    // At ±bandwidth / 2 the logistic's argument is ∓ln 19, up to the 12 digits of 2 ln 19.
    EXPECT_NEAR(up(490), 0.05, 1e-11);
    EXPECT_NEAR(up(510), 0.95, 1e-11);
    const Scan down = shortpass_filter(500, 20, 400, 600, 1);
    for (std::size_t i = 0; i < up.size(); ++i) {
        EXPECT_EQ(down.values()[i], 1.0 - up.values()[i]);
    }
    const Scan grid = longpass_filter(400, 1, 400, 401, 0.3);
    EXPECT_EQ(grid.size(), 4u);
    EXPECT_NEAR(grid.max_wavelength(), 400.9, 1e-12);
    EXPECT_EQ(longpass_filter(400, 1, 400, 401, 1).size(), 2u);
    const std::string too_many = "min_wl, max_wl and step_wl must give a finite grid of at most 67108864 points";
    const std::vector<std::pair<std::array<double, 3>, std::string>> refused{
        {{401, 401, 0.5}, "min_wl >= max_wl"},
        {{400, 401, 2}, "step_wl > (max_wl - min_wl)"},
        {{400, 401, 0}, "step_wl <= 0"},
        {{400, 401, -1}, "step_wl <= 0"},
        {{400, INFINITY, 1}, too_many},
        {{400, 500, 1e-9}, too_many},
        {{1e16, 1e16 + 2, 2 / (4294967296.0 - 2)}, too_many}};  // no i * step_wl + min_wl exceeds max_wl
    for (const auto& [grid, message] : refused) {
        EXPECT_EQ(message_of<std::invalid_argument>([&g = grid] { (void)longpass_filter(5, 1, g[0], g[1], g[2]); }),
                  message);
        EXPECT_EQ(message_of<std::invalid_argument>([&g = grid] { (void)lognormal(5, 1, g[0], g[1], g[2]); }), message);
    }
    // Rounding keeps several grid wavelengths equal here: the count of the check ends the grid.
    EXPECT_EQ(longpass_filter(1e16, 1, 1e16, 1e16 + 2, 0.25).max_wavelength(), 1e16 + 2);
    for (const double bandwidth : {0.0, -20.0, std::nan(""), HUGE_VAL}) {
        EXPECT_EQ(message_of<std::invalid_argument>([=] { (void)shortpass_filter(500, bandwidth, 400, 600, 1); }),
                  "bandwidth must be finite and greater than 0");
    }
    EXPECT_EQ(message_of<std::invalid_argument>([] { (void)lognormal(500, 50, 0, 600, 1); }), "min_wl <= 0");
}

TEST(SyntheticCurves, LognormalIsOneAtThePeakAndAsWideAsAsked) {
    const Scan curve = lognormal(500, 50, 300, 800, 0.01);
    EXPECT_EQ(curve(500), 1.0);
    EXPECT_LE(*std::max_element(curve.values().begin(), curve.values().end()), 1.0);
    // The width at half height, measured on the curve (half-height crossings interpolated between
    // grid points), equals the asked FWHM to the grid's resolution, narrow and broad peaks alike.
    for (const auto& [peak, fwhm, step] :
         std::vector<std::tuple<double, double, double>>{{500, 50, 0.01}, {400, 300, 0.01}, {300, 1000, 0.05}}) {
        const Scan c = lognormal(peak, fwhm, 10, 5000, step);
        double left = 0;
        double right = 0;
        for (std::size_t i = 1; i < c.size(); ++i) {
            const double a = c.values()[i - 1] - 0.5;
            const double b = c.values()[i] - 0.5;
            if (a * b <= 0 && a != b) {
                (a < 0 ? left : right) =
                    c.wavelengths()[i - 1] + (c.wavelengths()[i] - c.wavelengths()[i - 1]) * a / (a - b);
            }
        }
        EXPECT_NEAR(right - left, fwhm, step) << peak << " " << fwhm;
    }
    for (const auto& [peak, fwhm] : std::vector<std::pair<double, double>>{{0, 50}, {500, 0}, {500, -1}}) {
        EXPECT_EQ(message_of<std::invalid_argument>([p = peak, f = fwhm] { (void)lognormal(p, f, 400, 300, 1); }),
                  "peak_wl <= 0 || fwhm <= 0");
    }
}

namespace {

// 1200 lines per mm (d in nm), the turret's and the motor's angular step, and a turret error.
const FitWavelengthParams truth{
    833.3333333333334, 2 * M_PI / 5120000, 2 * M_PI / 51200, std::cos(0.2), 0.05, 1.0, 30.0, 0.3};

monochromator::internal::BindableFunction1D<GratingEquation> model_of(const FitWavelengthParams& p) {
    monochromator::internal::BindableFunction1D<GratingEquation> model;
    model.parameters = {p.d, p.omega_t, p.omega_m, p.cos_K, p.theta_z, p.alpha, p.a, p.phi};
    return model;
}

Scan calibration(const FitWavelengthParams& p) {
    return sampled(500, 199500, 500, [model = model_of(p)](double x) { return model.evaluate(x); });
}

}  // namespace

TEST(GratingEquation, ModelAndDerivatives) {
    const FitWavelengthParams& p = truth;
    const auto model = model_of(p);
    const double x = 12345;
    const double theta = (p.omega_t * (x + p.a * std::sin(p.omega_m * x + p.phi)) - p.theta_z) / p.alpha;
    EXPECT_NEAR(model.evaluate(x), 2 * p.d * p.cos_K * std::sin(theta), 1e-12);
    for (std::uint32_t j = 3; j < 8; ++j) {  // d, omega_t and omega_m have none
        auto up = model;
        auto down = model;
        const double step = 1e-6 * std::max(1.0, std::abs(model.parameters[j]));
        up.parameters[j] += step;
        down.parameters[j] -= step;
        const double numeric = (up.evaluate(x) - down.evaluate(x)) / (2 * step);
        EXPECT_NEAR(model.partial_derivative(x, j), numeric, 1e-6 * std::max(1.0, std::abs(numeric))) << j;
    }
    EXPECT_EQ(model.partial_derivative(x, 0), 0.0);
}

TEST(FitWavelength, RecoversTheGeneratingParameters) {
    FitWavelengthParams p{
        truth.d,        truth.omega_t,   truth.omega_m, truth.cos_K * 0.99, truth.theta_z * 1.01, truth.alpha * 1.005,
        truth.a * 1.05, truth.phi + 0.05};
    FitWavelengthParamsFree free{false, false, false, true, true, true, true, true};
    ASSERT_TRUE(fit_wavelength(calibration(truth), p, free));
    EXPECT_NEAR(p.cos_K, truth.cos_K, 1e-9);
    EXPECT_NEAR(p.theta_z, truth.theta_z, 1e-9);
    EXPECT_NEAR(p.alpha, truth.alpha, 1e-9);
    EXPECT_NEAR(p.a, truth.a, 1e-6);
    EXPECT_NEAR(p.phi, truth.phi, 1e-8);
    EXPECT_EQ(p.d, truth.d) << "not free";
    // The residuals and their summaries are of the fitted model against the data.
    const WavelengthFit outcome = fit_wavelength_result(calibration(truth), truth, free);
    ASSERT_TRUE(outcome.success);
    EXPECT_EQ(outcome.free, (std::vector<std::uint32_t>{3, 4, 5, 6, 7}));
    EXPECT_EQ(outcome.residuals.size(), calibration(truth).size());
    EXPECT_LT(outcome.max_residual, 1e-9);
    EXPECT_EQ(outcome.covariance.size(), 25U);
    // Only parameters the model has no derivative for: nothing could be fitted.
    FitWavelengthParams start = truth;
    EXPECT_EQ(message_of<std::invalid_argument>([&] {
                  (void)fit_wavelength(calibration(truth), start, FitWavelengthParamsFree{true, false, true});
              }),
              "fit_wavelength: d, omega_m cannot be fitted (the model has no derivative for d, omega_t or omega_m); "
              "free at least one of cos_K, theta_z, alpha, a and phi");
}

TEST(FitWavelength, TheSameFitInAnyUnitOfLength) {
    // Noisy calibration data, in nm and in m: the fit does not depend on the unit.
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.02);
    const Scan nm = orvanalysis::transform(calibration(truth), [&](double, double v) { return v + noise(rng); });
    FitWavelengthParams in_nm{truth.d,     truth.omega_t, truth.omega_m,  truth.cos_K * 0.99, truth.theta_z * 1.01,
                              truth.alpha, truth.a * 1.5, truth.phi + 0.2};
    FitWavelengthParams in_m = in_nm;
    in_m.d *= 1e-9;
    const FitWavelengthParamsFree free{false, false, false, true, true, false, true, true};
    ASSERT_TRUE(fit_wavelength(nm, in_nm, free));
    ASSERT_TRUE(fit_wavelength(nm * 1e-9, in_m, free));
    for (const auto& [a, b] : {std::pair{in_nm.cos_K, in_m.cos_K}, std::pair{in_nm.theta_z, in_m.theta_z},
                               std::pair{in_nm.a, in_m.a}, std::pair{in_nm.phi, in_m.phi}}) {
        EXPECT_NEAR(a, b, 1e-6 * std::abs(a));
    }
    EXPECT_NEAR(in_nm.a, truth.a, 0.5);
    EXPECT_NEAR(in_nm.phi, truth.phi, 0.02);
}

TEST(FitWavelength, CasesThatCannotBeFitted) {
    const FitWavelengthParamsFree free{false, false, false, false, true, false, true, false};
    FitWavelengthParams nan_start = truth;
    nan_start.a = NAN;
    FitWavelengthParams no_alpha = truth;  // every wavelength NaN: the solver stops on an error
    no_alpha.alpha = 0;
    for (auto [data, start, with] : std::vector<std::tuple<Scan, FitWavelengthParams, FitWavelengthParamsFree>>{
             {calibration(truth), truth, FitWavelengthParamsFree{}},
             {Scan(), truth, free},
             {make({1}, {1}), truth, free},  // 1 point, 2 parameters
             {make({1, 2, 3}, {1, NAN, 3}), truth, free},
             {calibration(truth), nan_start, free},
             {calibration(truth), no_alpha, free}}) {
        const FitWavelengthParams before = start;
        EXPECT_FALSE(fit_wavelength(data, start, with));
        // Bit for bit, so that a NaN start compares equal to itself; the record has no padding.
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        EXPECT_EQ(std::memcmp(&start, &before, sizeof start), 0) << "unchanged";
    }
    auto model = model_of(truth);
    model.bound_indices = {4, 6};
    model.parameters[4] = 0.06;
    monochromator::internal::CurveFitter fitter;
    fitter.max_iterations = 1;
    EXPECT_FALSE(fitter.fit(calibration(truth), model)) << "out of iterations";
    EXPECT_EQ(fitter.report.reason, "the iterations ran out (1)");
    EXPECT_EQ(model.parameters[4], 0.06);
    for (const auto& [bound, points, reason] : std::vector<std::tuple<std::vector<std::uint32_t>, Scan, std::string>>{
             {{}, calibration(truth), "no parameter is free"},
             {{4, 6}, make({1}, {1}), "fewer data points (1) than free parameters (2)"}}) {
        model.bound_indices = bound;
        EXPECT_FALSE(fitter.fit(points, model));
        EXPECT_EQ(fitter.report.reason, reason);
    }
    model.bound_indices = {4, 99};  // an index past the parameters reads 0 and takes nothing
    model.set(1, 5.0);
    EXPECT_EQ(std::make_tuple(model.get(0), model.get(1), model.get(2)),
              std::make_tuple(model.parameters[4], 0.0, 0.0));
    struct Throws : monochromator::internal::BindableFunction1D<GratingEquation> {
        double evaluate(double) const override { throw std::logic_error("model failed"); }
    } failing;
    failing.bound_indices = {4};
    EXPECT_EQ(message_of<std::logic_error>([&] { (void)fitter.fit(calibration(truth), failing); }), "model failed");
}
