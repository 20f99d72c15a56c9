// One-dimensional bracketed root search and minimisation over GSL's Brent methods.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

namespace orvanalysis::utils {

// The searches of the analysis utilities build a fresh solver with these settings. An
// exception thrown by the searched function is caught before it reaches GSL's C frames, the
// search is stopped, and the exception is rethrown to the caller unchanged.
class Solver1D {
public:
    Solver1D();

    // Brent root search over [lower, upper]: the last estimate. Nothing when the interval is
    // reversed, does not bracket a sign change, or f is not finite at its ends.
    std::optional<double> find_root(double lower, double upper, std::function<double(double)> f);
    // Brent minimisation over [lower, upper] from guess; nothing when the guess is not strictly
    // inside, f(guess) is not below both ends, or f is not finite there.
    std::optional<double> find_minimum(double lower, double upper, double guess, std::function<double(double)> f);

    std::uint32_t max_iterations = 100;
    double epsabs = 0.0;
    double epsrel = 1e-4;
    std::function<double(double)> function;

private:
    static double evaluate(double x, void* solver);
    void rethrow_pending();

    std::exception_ptr pending_;
};

}  // namespace orvanalysis::utils
