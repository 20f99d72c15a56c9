// The prelude of the C++ tests: the headers and names every test file uses, and helpers.
#pragma once

#include "core/scan.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using orvanalysis::Scan;
using orvanalysis::spline::Type;
using Keys = std::vector<double>;

// The message of the exception of type E that f throws; a test failure when f throws
// something else or nothing.
template <class E = std::exception, class F>
std::string message_of(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (...) {
        ADD_FAILURE() << "an exception of another type";
        return {};
    }
    ADD_FAILURE() << "no exception";
    return {};
}

// A scan of the given kind and epsilon from two arrays.
inline Scan make(Keys w, Keys v, Type kind = Type::LINEAR, double epsilon = Scan::Default_Wavelength_Epsilon) {
    return Scan(std::move(w), std::move(v), epsilon, kind);
}

// f sampled at from, from + step, ... up to to (inclusive).
inline Scan sampled(double from, double to, double step, const std::function<double(double)>& f,
                    Type kind = Type::AKIMA) {
    Keys w;
    Keys v;
    const long n = std::lround((to - from) / step);
    for (long i = 0; i <= n; ++i) {
        w.push_back(from + static_cast<double>(i) * step);
        v.push_back(f(w.back()));
    }
    return make(std::move(w), std::move(v), kind);
}
