#include "core/scan_arithmetic.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace orvanalysis::utils {

namespace {

double plus(const double& a, const double& b) { return a + b; }
double minus(const double& a, const double& b) { return a - b; }
double times(const double& a, const double& b) { return a * b; }
double divided(const double& a, const double& b) { return a / b; }

using KeyRange = std::pair<std::size_t, std::size_t>;

// Indices [first, last) of the keys k with k + e >= min and k <= max + e of the range scan,
// or an empty range when that scan is not interpolated or is empty.
KeyRange keys_inside(const std::vector<double>& keys, const Scan& range, double e) {
    if (!range.is_interpolated() || range.empty()) {
        return {0, 0};
    }
    const double upper = range.max_wavelength() + e;
    const auto first = std::lower_bound(keys.begin(), keys.end(), range.min_wavelength(), EpsilonLess{e});
    const auto last = std::upper_bound(first, keys.end(), upper);
    return {static_cast<std::size_t>(first - keys.begin()), static_cast<std::size_t>(last - keys.begin())};
}

// Both operands are tables: the keys of a that have a partner in b within the larger
// tolerance, each value looked up with its own scan's epsilon.
Scan combine_tables(const Scan& a, const Scan& b, const BinaryFunction& f, Scan result) {
    const std::vector<double>& ka = a.wavelengths();
    const std::vector<double>& kb = b.wavelengths();
    const double tolerance = std::max(a.epsilon(), b.epsilon());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < ka.size() && j < kb.size()) {
        if (std::abs(ka[i] - kb[j]) <= tolerance) {
            const double k = ka[i];
            result.add(k, f(a.at(k), b.at(k)));
            ++i;
            ++j;
        } else if (kb[j] > ka[i]) {
            ++i;
        } else {
            ++j;
        }
    }
    return result;
}

}  // namespace

Scan binary_operation(const Scan& a, const Scan& b, const BinaryFunction& f) {
    const double e = std::min(a.epsilon(), b.epsilon());
    if (!a.is_interpolated() && !b.is_interpolated()) {
        return combine_tables(a, b, f, Scan(e, Scan::Default_Interpolation));
    }

    // The keys of b inside a's range go in first; a key of a joins them unless it is
    // equivalent under e to one of them. Keys of one scan never collide among themselves,
    // since e is at most that scan's own epsilon, so the merged keys ascend under e.
    const std::vector<double>& ka = a.wavelengths();
    const std::vector<double>& kb = b.wavelengths();
    const auto [b_first, b_last] = keys_inside(kb, a, e);
    const auto [a_first, a_last] = keys_inside(ka, b, e);
    const EpsilonLess less{e};
    std::vector<double> keys;
    std::vector<double> values;
    keys.reserve((b_last - b_first) + (a_last - a_first));
    values.reserve(keys.capacity());
    const auto emit = [&](double k) {
        keys.push_back(k);
        values.push_back(f(a(k), b(k)));
    };

    std::size_t j = b_first;        // next key of b to emit
    std::size_t partner = b_first;  // first key m of b with m + e >= the current key of a
    for (std::size_t i = a_first; i < a_last; ++i) {
        const double k = ka[i];
        while (partner < b_last && less(kb[partner], k)) {
            ++partner;
        }
        if (partner < b_last && !less(k, kb[partner])) {
            continue;
        }
        for (; j < b_last && kb[j] < k; ++j) {
            emit(kb[j]);
        }
        emit(k);
    }
    for (; j < b_last; ++j) {
        emit(kb[j]);
    }
    return Scan(std::move(keys), std::move(values), e, a.is_interpolated() ? a.interpolation() : b.interpolation());
}

Scan binary_operation(const Scan& s, double x, const BinaryFunction& f) {
    Scan result = s;
    result.for_each([&](const double&, double& v) { v = f(v, x); });
    return result;
}

Scan binary_operation(double x, const Scan& s, const BinaryFunction& f) {
    Scan result = s;
    result.for_each([&](const double&, double& v) { v = f(x, v); });
    return result;
}

Scan transform(const Scan& s, const BinaryFunction& f) {
    Scan result = s;
    result.for_each([&](const double& k, double& v) { v = f(k, v); });
    return result;
}

void binary_operation_in_place(Scan& self, const Scan& other, const BinaryFunction& f) {
    // When other is self, other(k) hits the stored key k and reads its value before the
    // assignment, so aliasing is safe.
    self.for_each([&](const double& k, double& v) { v = f(v, other(k)); });
}

void binary_operation_in_place(Scan& self, double x, const BinaryFunction& f) {
    self.for_each([&](const double&, double& v) { v = f(v, x); });
}

}  // namespace orvanalysis::utils

namespace orvanalysis {

using utils::binary_operation;
using utils::binary_operation_in_place;
using utils::divided;
using utils::minus;
using utils::plus;
using utils::times;

Scan operator+(const Scan& a, const Scan& b) { return binary_operation(a, b, plus); }
Scan operator-(const Scan& a, const Scan& b) { return binary_operation(a, b, minus); }
Scan operator*(const Scan& a, const Scan& b) { return binary_operation(a, b, times); }
Scan operator/(const Scan& a, const Scan& b) { return binary_operation(a, b, divided); }

Scan operator+(const Scan& s, double x) { return binary_operation(s, x, plus); }
Scan operator-(const Scan& s, double x) { return binary_operation(s, x, minus); }
Scan operator*(const Scan& s, double x) { return binary_operation(s, x, times); }
Scan operator/(const Scan& s, double x) { return binary_operation(s, x, divided); }

Scan operator+(double x, const Scan& s) { return binary_operation(s, x, plus); }
Scan operator-(double x, const Scan& s) { return binary_operation(x, s, minus); }
Scan operator*(double x, const Scan& s) { return binary_operation(s, x, times); }
Scan operator/(double x, const Scan& s) { return binary_operation(x, s, divided); }

Scan operator-(const Scan& s) { return s * -1.0; }

Scan& operator+=(Scan& self, const Scan& other) {
    if (self.empty()) {
        self = other;
    } else {
        binary_operation_in_place(self, other, plus);
    }
    return self;
}

Scan& operator-=(Scan& self, const Scan& other) {
    if (self.empty()) {
        self = -other;
    } else {
        binary_operation_in_place(self, other, minus);
    }
    return self;
}

Scan& operator*=(Scan& self, const Scan& other) {
    binary_operation_in_place(self, other, times);
    return self;
}

Scan& operator/=(Scan& self, const Scan& other) {
    binary_operation_in_place(self, other, divided);
    return self;
}

Scan& operator+=(Scan& self, double x) {
    binary_operation_in_place(self, x, plus);
    return self;
}

Scan& operator-=(Scan& self, double x) {
    binary_operation_in_place(self, x, minus);
    return self;
}

Scan& operator*=(Scan& self, double x) {
    binary_operation_in_place(self, x, times);
    return self;
}

Scan& operator/=(Scan& self, double x) {
    binary_operation_in_place(self, x, divided);
    return self;
}

}  // namespace orvanalysis
