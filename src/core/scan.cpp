#include "core/scan.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <locale>
#include <numeric>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace orvanalysis {

namespace {

double checked_epsilon(double e, const char* message) {
    // A negative epsilon orders a key before itself and a NaN one makes every key equal to
    // every other; neither gives a usable ordering.
    if (!(e >= 0.0)) {
        throw std::invalid_argument(message);
    }
    return e;
}

spline::Type checked_kind(spline::Type type) {
    switch (type) {
        case spline::Type::NONE:
        case spline::Type::AKIMA:
        case spline::Type::CUBIC:
        case spline::Type::LINEAR:
        case spline::Type::POLYNOMIAL:
        case spline::Type::STEFFEN:
            return type;
    }
    throw std::invalid_argument("Scan: " + std::to_string(static_cast<std::int32_t>(type)) +
                                " is not an interpolation kind");
}

// The kind, the points it needs and the way out, after the words callers have long matched.
std::string too_few_points(spline::Type type, std::size_t points) {
    const std::size_t linear = spline::minimum_points(spline::Type::LINEAR);
    std::string text = "Cannot initialize a spline, too few points: " + spline::to_string(type) +
                       " interpolation needs at least " + std::to_string(spline::minimum_points(type)) +
                       " points and this scan has " + std::to_string(points);
    if (type != spline::Type::LINEAR && points >= linear) {
        text += "; Interpolation.LINEAR needs " + std::to_string(linear) +
                " (scan.interpolation = Interpolation.LINEAR, or interpolation=Interpolation.LINEAR when it is made)";
    }
    return text;
}

}  // namespace

Scan::Scan(double epsilon, spline::Type interpolation)
    : epsilon_(checked_epsilon(epsilon, "Scan::Scan: epsilon must be zero or positive")),
      interpolation_(checked_kind(interpolation)) {}

Scan::Scan(std::vector<double> wavelength, std::vector<double> signal, double epsilon, spline::Type interpolation)
    : Scan(epsilon, interpolation) {
    if (wavelength.size() != signal.size()) {
        throw std::runtime_error("Scan::Scan: wavelength and signal must be the same size");
    }
    store(std::move(wavelength), std::move(signal), Repeat::Assign);
}

Scan::Scan(const std::vector<value_type>& points) : Scan() {
    std::vector<double> wavelength;
    std::vector<double> signal;
    wavelength.reserve(points.size());
    signal.reserve(points.size());
    for (const auto& [w, v] : points) {
        wavelength.push_back(w);
        signal.push_back(v);
    }
    store(std::move(wavelength), std::move(signal), Repeat::Ignore);
}

void Scan::store(std::vector<double> wavelength, std::vector<double> signal, Repeat repeat) {
    const EpsilonLess less{epsilon_};
    bool ascending = true;
    for (std::size_t i = 0; i < wavelength.size(); ++i) {
        if (std::isnan(wavelength[i])) {
            throw std::invalid_argument("Scan::Scan: wavelength must not be NaN");
        }
        if (i > 0 && !less(wavelength[i - 1], wavelength[i])) {
            ascending = false;
        }
    }
    if (ascending) {
        keys_ = std::move(wavelength);
        values_ = std::move(signal);
        return;
    }
    const double epsilon = epsilon_;
    if (std::all_of(wavelength.begin(), wavelength.end(), [epsilon](double k) { return k + epsilon == k; })) {
        store_sorted(wavelength, signal, repeat);
        return;
    }
    store_replayed(wavelength, signal, repeat);
}

namespace {

// Positions 0 to n - 1, some of them marked, with the first mark at or after a position found in
// logarithmic time: a bit set under summary bit sets, each bit of which says whether a word of
// the level below holds a mark.
class MarkedPositions {
public:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    explicit MarkedPositions(std::size_t n) {
        do {
            n = (n + 63) / 64;
            levels_.emplace_back(n, 0);
        } while (n > 1);
    }

    void mark(std::size_t i) {
        for (auto& level : levels_) {
            level[i / 64] |= std::uint64_t{1} << (i % 64);
            i /= 64;
        }
    }

    std::size_t next(std::size_t i, std::size_t level = 0) const {
        const std::vector<std::uint64_t>& bits = levels_[level];
        std::size_t word = i / 64;
        if (word >= bits.size()) {
            return none;
        }
        std::uint64_t found = bits[word] & (~std::uint64_t{0} << (i % 64));
        if (found == 0) {
            word = level + 1 < levels_.size() ? next(word + 1, level + 1) : none;
            if (word == none) {
                return none;
            }
            found = bits[word];
        }
        return word * 64 + static_cast<std::size_t>(__builtin_ctzll(found));
    }

private:
    std::vector<std::vector<std::uint64_t>> levels_;
};

}  // namespace

void Scan::store_replayed(const std::vector<double>& wavelength, const std::vector<double>& signal, Repeat repeat) {
    // Under a tolerance that merges distinct keys the outcome depends on the order of the
    // insertions, so they are replayed one by one, against the keys sorted once: the kept keys
    // are marked among them, and a new key meets the first kept key at or after the first sorted
    // key that does not order before it, as a search of the kept keys alone would.
    const EpsilonLess less{epsilon_};
    const std::size_t n = wavelength.size();
    std::vector<double> sorted(n);
    std::vector<std::size_t> position(n);
    {
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return wavelength[a] < wavelength[b]; });
        for (std::size_t k = 0; k < n; ++k) {
            sorted[k] = wavelength[order[k]];
            position[order[k]] = k;
        }
    }
    // The first sorted key that does not order before the key at each sorted position: it
    // never moves back as the keys ascend.
    std::vector<std::size_t> first(n);
    for (std::size_t k = 0, f = 0; k < n; ++k) {
        while (less(sorted[f], sorted[k])) {
            ++f;
        }
        first[k] = f;
    }
    MarkedPositions kept(n);
    std::vector<double> value_at(n);
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = wavelength[i];
        const std::size_t at = kept.next(first[position[i]]);
        if (at != MarkedPositions::none && !less(w, sorted[at])) {
            if (repeat == Repeat::Assign) {
                value_at[at] = signal[i];
            }
        } else {
            kept.mark(position[i]);
            value_at[position[i]] = signal[i];
            ++count;
        }
    }
    keys_.reserve(count);
    values_.reserve(count);
    for (std::size_t at = kept.next(0); at != MarkedPositions::none; at = kept.next(at + 1)) {
        keys_.push_back(sorted[at]);
        values_.push_back(value_at[at]);
    }
}

std::uint64_t Scan::Revision::get() const noexcept {
    static std::atomic<std::uint64_t> last{0};
    if (id_ == 0) {
        id_ = last.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return id_;
}

void Scan::store_sorted(const std::vector<double>& wavelength, const std::vector<double>& signal, Repeat repeat) {
    // The tolerance is below every key's rounding, so equivalent keys are equal keys and the
    // insertions come down to a stable sort: of equal keys the first stays, with the last value
    // (insert-or-assign) or the first value (insert-if-absent).
    std::vector<std::size_t> order(wavelength.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return wavelength[a] < wavelength[b]; });
    keys_.reserve(order.size());
    values_.reserve(order.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t last = i;
        while (last + 1 < order.size() && wavelength[order[last + 1]] == wavelength[order[i]]) {
            ++last;
        }
        keys_.push_back(wavelength[order[i]]);
        values_.push_back(signal[order[repeat == Repeat::Assign ? last : i]]);
        i = last + 1;
    }
}

Scan Scan::empty_like(const Scan& other) { return Scan(other.epsilon_, other.interpolation_); }

void Scan::set_epsilon(double e) {
    checked_epsilon(e, "Scan::set_epsilon: epsilon must be zero or positive");
    const EpsilonLess less{e};
    // Keys ascend, so a key is equivalent to some kept key exactly when it is equivalent to
    // the last kept one.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (kept == 0 || less(keys_[kept - 1], keys_[i])) {
            keys_[kept] = keys_[i];
            values_[kept] = values_[i];
            ++kept;
        }
    }
    keys_.resize(kept);
    values_.resize(kept);
    epsilon_ = e;
    changed();
}

void Scan::set_interpolation(spline::Type type) {
    if (checked_kind(type) != interpolation_) {
        interpolation_ = type;
        changed();
    }
}

double Scan::min_wavelength() const {
    if (keys_.empty()) {
        throw std::runtime_error("Scan::min_wavelength: empty scan");
    }
    return keys_.front();
}

double Scan::max_wavelength() const {
    if (keys_.empty()) {
        throw std::runtime_error("Scan::max_wavelength: empty scan");
    }
    return keys_.back();
}

std::vector<std::vector<double>> Scan::to_lists() const { return {keys_, values_}; }

Scan::const_iterator Scan::find(double w) const noexcept { return at_index(find_index(w)); }

const double& Scan::at(double w) const {
    const std::size_t i = find_index(w);
    if (i == keys_.size()) {
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text.precision(12);
        text << "no point at wavelength " << w << " (within the scan's epsilon " << epsilon_
             << "); a scan of kind NONE is not interpolated";
        throw std::out_of_range(text.str());
    }
    return values_[i];
}

double& Scan::at(double w) {
    const double& value = std::as_const(*this).at(w);
    changed();
    return const_cast<double&>(value);
}

void Scan::add(double w, double v) {
    if (std::isnan(w)) {
        throw std::invalid_argument("Scan::add: wavelength must not be NaN");
    }
    const EpsilonLess less{epsilon_};
    if (keys_.empty() || less(keys_.back(), w)) {
        keys_.push_back(w);
        values_.push_back(v);
    } else {
        const std::size_t i = lower_bound_index(w);
        if (i < keys_.size() && !less(w, keys_[i])) {
            values_[i] = v;
        } else {
            const auto offset = static_cast<std::ptrdiff_t>(i);
            keys_.insert(keys_.begin() + offset, w);
            values_.insert(values_.begin() + offset, v);
        }
    }
    changed();
}

void Scan::reserve(std::size_t n) {
    keys_.reserve(n);
    values_.reserve(n);
}

void Scan::crop(double lo, double hi) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (!(keys_[i] < lo) && !(keys_[i] > hi)) {
            keys_[kept] = keys_[i];
            values_[kept] = values_[i];
            ++kept;
        }
    }
    keys_.resize(kept);
    values_.resize(kept);
    changed();
}

spline::Spline& Scan::built_spline() const {
    if (!spline_.is_built()) {
        if (interpolation_ == spline::Type::NONE) {
            throw std::runtime_error("Cannot initialize a spline with type None");
        }
        if (!spline_.init(keys_.data(), values_.data(), keys_.size(), interpolation_)) {
            throw std::runtime_error(too_few_points(interpolation_, keys_.size()));
        }
    }
    return spline_;
}

std::size_t Scan::search(double w) const noexcept {
    // A lower bound by halving without branches: on lookups in no order, half of the branches of
    // std::lower_bound are mispredicted.
    const EpsilonLess less{epsilon_};
    const double* base = keys_.data();
    std::size_t n = keys_.size();
    if (n == 0) {
        return search_hint_ = 0;
    }
    while (n > 1) {
        const std::size_t half = n / 2;
        base = less(base[half], w) ? base + half : base;
        n -= half;
    }
    search_hint_ = static_cast<std::size_t>(base - keys_.data()) + (less(*base, w) ? 1 : 0);
    return search_hint_;
}

const spline::Cubics& Scan::cubics(spline::Type kind) const {
    spline::Cubics& cubics = spline_.cubics();
    if (!cubics.is_built() || cubics.type() != kind) {
        if (kind == spline::Type::NONE) {
            throw std::runtime_error("Cannot initialize a spline with type None");
        }
        if (kind == spline::Type::POLYNOMIAL) {
            throw std::runtime_error("Cannot make piecewise cubics of a polynomial");
        }
        if (!cubics.build(keys_.data(), values_.data(), keys_.size(), kind)) {
            throw std::runtime_error(too_few_points(kind, keys_.size()));
        }
    }
    return cubics;
}

double Scan::integral(double from, double to) const {
    if (keys_.empty() || from == to) {
        return 0.0;
    }
    // The piecewise kinds integrate through their totals, at a cost independent of the span; a
    // polynomial is one curve over all the points and GSL integrates it.
    const bool piecewise = interpolation_ != spline::Type::POLYNOMIAL;
    const spline::Cubics* curve = piecewise ? &cubics(interpolation_) : nullptr;
    spline::Spline* spline = piecewise ? nullptr : &built_spline();
    if (std::isnan(from) || std::isnan(to)) {
        return 0.0;
    }
    double lo = from;
    double hi = to;
    if (from > to) {
        std::swap(lo, hi);
    }
    lo = std::max(keys_.front(), lo);
    hi = std::min(keys_.back(), hi);
    if (!(hi > lo)) {
        return 0.0;
    }
    return piecewise ? curve->integral(keys_.data(), values_.data(), lo, hi) : spline->eval_integ(lo, hi);
}

double Scan::integral() const {
    if (keys_.empty() || keys_.front() == keys_.back()) {
        return 0.0;
    }
    return integral(keys_.front(), keys_.back());
}

template <class Better>
Scan::const_iterator Scan::extremum_in_range(double lo, double hi, Better better) const {
    const std::size_t first = lower_bound_index(lo);
    if (first == keys_.size() || keys_[first] > hi) {
        return end();
    }
    const double upper = hi + epsilon_;
    std::size_t best = first;
    for (std::size_t i = first + 1; i < keys_.size() && !(keys_[i] > upper); ++i) {
        if (better(values_[i], values_[best])) {
            best = i;
        }
    }
    return at_index(best);
}

Scan::const_iterator Scan::max_in_range(double lo, double hi) const {
    return extremum_in_range(lo, hi, [](double a, double b) { return a > b; });
}

Scan::const_iterator Scan::min_in_range(double lo, double hi) const {
    return extremum_in_range(lo, hi, [](double a, double b) { return a < b; });
}

bool operator==(const Scan& a, const Scan& b) noexcept {
    if (!(a.epsilon_ == b.epsilon_) || a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!(std::abs(a.keys_[i] - b.keys_[i]) <= a.epsilon_) || !(a.values_[i] == b.values_[i])) {
            return false;
        }
    }
    return true;
}

std::ostream& operator<<(std::ostream& os, const Scan& scan) {
    os << std::endl;
    for (const auto& [w, v] : scan) {
        os << w << ", " << v << std::endl;
    }
    return os;
}

}  // namespace orvanalysis
