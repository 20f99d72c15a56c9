// Point-wise combination of scans with scans and numbers: the one rule behind every sum,
// product and ratio of spectra in the library.
#pragma once

#include "core/scan.hpp"

#include <functional>

namespace orvanalysis::utils {

using BinaryFunction = std::function<double(const double&, const double&)>;

// f(a(k), b(k)) over the keys where both operands are defined. With both operands of kind
// NONE: the keys of a that have a partner in b, kind AKIMA. Otherwise: the keys of each
// operand inside the range of the other operand if that one is interpolated, kind of a if a
// is interpolated, else of b. The epsilon is the smaller of the two.
Scan binary_operation(const Scan& a, const Scan& b, const BinaryFunction& f);
// (k, f(v, x)) for every point (k, v) of s; s's keys, epsilon and kind.
Scan binary_operation(const Scan& s, double x, const BinaryFunction& f);
// (k, f(x, v)) for every point (k, v) of s; s's keys, epsilon and kind.
Scan binary_operation(double x, const Scan& s, const BinaryFunction& f);
// (k, f(k, v)) for every point (k, v) of s; s's keys, epsilon and kind.
Scan transform(const Scan& s, const BinaryFunction& f);

// v becomes f(v, other(k)) for every point (k, v) of self. When evaluating other throws, the
// points already combined keep their new values.
void binary_operation_in_place(Scan& self, const Scan& other, const BinaryFunction& f);
// v becomes f(v, x) for every point (k, v) of self.
void binary_operation_in_place(Scan& self, double x, const BinaryFunction& f);

}  // namespace orvanalysis::utils

namespace orvanalysis {

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
