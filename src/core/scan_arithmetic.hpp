// Point-wise combination of scans with scans and numbers: the one rule behind every sum,
// product and ratio of spectra in the library. A combination function takes two doubles and
// returns a double.
#pragma once

#include "core/scan.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace orvanalysis::internal {

// Keys where two scans of kind NONE combine: the keys of a that have a partner in b within
// the larger of the two epsilons.
std::vector<double> common_keys(const Scan& a, const Scan& b);

// Keys where two scans combine when at least one is interpolated: the keys of b inside the
// range of a if a is interpolated, and the keys of a inside the range of b if b is, a key of
// a being dropped when it is equivalent to one of b under the smaller epsilon.
std::vector<double> combined_keys(const Scan& a, const Scan& b);

}  // namespace orvanalysis::internal

namespace orvanalysis {

// f(a(k), b(k)) over the keys where both operands are defined (see the key functions above),
// with the smaller epsilon. Two scans of kind NONE are looked up with at(), each with its own
// epsilon, and give kind AKIMA; otherwise each operand is evaluated (stored value, spline
// value, or 0.0 outside its data) and the result takes a's kind if a is interpolated, else b's.
template <class F>
Scan binary_operation(const Scan& a, const Scan& b, F&& f) {
    const double epsilon = std::min(a.epsilon(), b.epsilon());
    const bool tables = !a.is_interpolated() && !b.is_interpolated();
    std::vector<double> keys = tables ? internal::common_keys(a, b) : internal::combined_keys(a, b);
    std::vector<double> values;
    values.reserve(keys.size());
    for (const double k : keys) {
        const double va = tables ? a.at(k) : a(k);
        const double vb = tables ? b.at(k) : b(k);
        values.push_back(f(va, vb));
    }
    const spline::Type kind =
        tables ? Scan::Default_Interpolation : (a.is_interpolated() ? a.interpolation() : b.interpolation());
    return Scan(std::move(keys), std::move(values), epsilon, kind);
}

// (k, f(v, x)) for every point (k, v) of s; s's keys, epsilon and kind.
template <class F>
Scan binary_operation(const Scan& s, double x, F&& f) {
    Scan result = s;
    result.for_each([&](const double&, double& v) { v = f(v, x); });
    return result;
}

// (k, f(x, v)) for every point (k, v) of s; s's keys, epsilon and kind.
template <class F>
Scan binary_operation(double x, const Scan& s, F&& f) {
    Scan result = s;
    result.for_each([&](const double&, double& v) { v = f(x, v); });
    return result;
}

// (k, f(k, v)) for every point (k, v) of s; s's keys, epsilon and kind.
template <class F>
Scan transform(const Scan& s, F&& f) {
    Scan result = s;
    result.for_each([&](const double& k, double& v) { v = f(k, v); });
    return result;
}

// v becomes f(v, other(k)) for every point (k, v) of self. Every other(k) is read before self
// changes, so when evaluating other throws self is left as it was, and other may be self.
template <class F>
void binary_operation_in_place(Scan& self, const Scan& other, F&& f) {
    std::vector<double> operands;
    operands.reserve(self.size());
    for (const double k : self.wavelengths()) {
        operands.push_back(other(k));
    }
    std::size_t i = 0;
    self.for_each([&](const double&, double& v) { v = f(v, operands[i++]); });
}

// v becomes f(v, x) for every point (k, v) of self.
template <class F>
void binary_operation_in_place(Scan& self, double x, F&& f) {
    self.for_each([&](const double&, double& v) { v = f(v, x); });
}

Scan operator+(const Scan& a, const Scan& b);
Scan operator-(const Scan& a, const Scan& b);
Scan operator*(const Scan& a, const Scan& b);
Scan operator/(const Scan& a, const Scan& b);

// Scan with a number: v + x, v - x, v * x, v / x.
Scan operator+(const Scan& s, double x);
Scan operator-(const Scan& s, double x);
Scan operator*(const Scan& s, double x);
Scan operator/(const Scan& s, double x);

// Number with a scan: v + x, x - v, v * x, x / v.
Scan operator+(double x, const Scan& s);
Scan operator-(double x, const Scan& s);
Scan operator*(double x, const Scan& s);
Scan operator/(double x, const Scan& s);

// v * -1.0: a stored 0.0 becomes -0.0.
Scan operator-(const Scan& s);

// An empty scan plus-assigned another becomes a copy of it and minus-assigned its negation;
// otherwise self keeps its keys and combines with other evaluated at each of them.
Scan& operator+=(Scan& self, const Scan& other);
Scan& operator-=(Scan& self, const Scan& other);
Scan& operator*=(Scan& self, const Scan& other);
Scan& operator/=(Scan& self, const Scan& other);

Scan& operator+=(Scan& self, double x);
Scan& operator-=(Scan& self, double x);
Scan& operator*=(Scan& self, double x);
Scan& operator/=(Scan& self, double x);

}  // namespace orvanalysis
