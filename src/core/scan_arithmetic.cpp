#include "core/scan_arithmetic.hpp"

#include <cmath>
#include <cstddef>
#include <functional>

namespace orvanalysis::internal {

namespace {

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

}  // namespace

std::vector<double> common_keys(const Scan& a, const Scan& b) {
    const std::vector<double>& ka = a.wavelengths();
    const std::vector<double>& kb = b.wavelengths();
    const double tolerance = std::max(a.epsilon(), b.epsilon());
    std::vector<double> keys;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < ka.size() && j < kb.size()) {
        if (std::abs(ka[i] - kb[j]) <= tolerance) {
            keys.push_back(ka[i]);
            ++i;
            ++j;
        } else if (kb[j] > ka[i]) {
            ++i;
        } else {
            ++j;
        }
    }
    return keys;
}

std::vector<double> combined_keys(const Scan& a, const Scan& b) {
    // The keys of b inside a's range go in first; a key of a joins them unless it is
    // equivalent under e to one of them. Keys of one scan never collide among themselves,
    // since e is at most that scan's own epsilon, so the merged keys ascend under e.
    const double e = std::min(a.epsilon(), b.epsilon());
    const std::vector<double>& ka = a.wavelengths();
    const std::vector<double>& kb = b.wavelengths();
    const auto [b_first, b_last] = keys_inside(kb, a, e);
    const auto [a_first, a_last] = keys_inside(ka, b, e);
    const EpsilonLess less{e};
    std::vector<double> keys;
    keys.reserve((b_last - b_first) + (a_last - a_first));

    std::size_t j = b_first;        // next key of b to take
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
            keys.push_back(kb[j]);
        }
        keys.push_back(k);
    }
    keys.insert(keys.end(), kb.begin() + static_cast<std::ptrdiff_t>(j),
                kb.begin() + static_cast<std::ptrdiff_t>(b_last));
    return keys;
}

}  // namespace orvanalysis::internal

namespace orvanalysis {

Scan operator+(const Scan& a, const Scan& b) { return binary_operation(a, b, std::plus<>()); }
Scan operator-(const Scan& a, const Scan& b) { return binary_operation(a, b, std::minus<>()); }
Scan operator*(const Scan& a, const Scan& b) { return binary_operation(a, b, std::multiplies<>()); }
Scan operator/(const Scan& a, const Scan& b) { return binary_operation(a, b, std::divides<>()); }

Scan operator+(const Scan& s, double x) { return binary_operation(s, x, std::plus<>()); }
Scan operator-(const Scan& s, double x) { return binary_operation(s, x, std::minus<>()); }
Scan operator*(const Scan& s, double x) { return binary_operation(s, x, std::multiplies<>()); }
Scan operator/(const Scan& s, double x) { return binary_operation(s, x, std::divides<>()); }

Scan operator+(double x, const Scan& s) { return binary_operation(s, x, std::plus<>()); }
Scan operator-(double x, const Scan& s) { return binary_operation(x, s, std::minus<>()); }
Scan operator*(double x, const Scan& s) { return binary_operation(s, x, std::multiplies<>()); }
Scan operator/(double x, const Scan& s) { return binary_operation(x, s, std::divides<>()); }

Scan operator-(const Scan& s) { return s * -1.0; }

Scan& operator+=(Scan& self, const Scan& other) {
    if (self.empty()) {
        self = other;
    } else {
        binary_operation_in_place(self, other, std::plus<>());
    }
    return self;
}

Scan& operator-=(Scan& self, const Scan& other) {
    if (self.empty()) {
        self = -other;
    } else {
        binary_operation_in_place(self, other, std::minus<>());
    }
    return self;
}

Scan& operator*=(Scan& self, const Scan& other) {
    binary_operation_in_place(self, other, std::multiplies<>());
    return self;
}

Scan& operator/=(Scan& self, const Scan& other) {
    binary_operation_in_place(self, other, std::divides<>());
    return self;
}

Scan& operator+=(Scan& self, double x) {
    binary_operation_in_place(self, x, std::plus<>());
    return self;
}

Scan& operator-=(Scan& self, double x) {
    binary_operation_in_place(self, x, std::minus<>());
    return self;
}

Scan& operator*=(Scan& self, double x) {
    binary_operation_in_place(self, x, std::multiplies<>());
    return self;
}

Scan& operator/=(Scan& self, double x) {
    binary_operation_in_place(self, x, std::divides<>());
    return self;
}

}  // namespace orvanalysis
