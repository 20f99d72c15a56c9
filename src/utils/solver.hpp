// One-dimensional bracketed root search and minimisation over GSL's Brent methods.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

namespace orvanalysis::utils {

// The searches of the analysis utilities build a fresh solver with these settings. An
// exception thrown by the searched function is caught before it reaches GSL's C frames, the
// search is stopped, and the exception is rethrown to the caller unchanged.
class Solver1D {
public:
    Solver1D();

    // Brent root search over [lower, upper]; x receives the estimate of every iteration. False
    // when the interval is reversed, does not bracket a sign change, or f is not finite at its
    // ends: the search then does not start and x is not written.
    bool find_root(double lower, double upper, std::function<double(double)> f, double* x);
    // Brent minimisation over [lower, upper] from guess; false when the guess is not strictly
    // inside, f(guess) is not below both ends, or f is not finite there.
    bool find_minimum(double lower, double upper, double guess, std::function<double(double)> f, double* x);

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
