#include "core/scan.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <numeric>
#include <ostream>
#include <stdexcept>

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

}  // namespace

Scan::Scan(double epsilon, spline::Type interpolation)
    : epsilon_(checked_epsilon(epsilon, "Scan::Scan: epsilon must be zero or positive")),
      interpolation_(interpolation) {}

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
    // Out of order under a tolerance that merges distinct keys: a tree replays the insertions
    // one by one, which matters because the outcome then depends on their order.
    std::map<double, double, EpsilonLess> points(less);
    for (std::size_t i = 0; i < wavelength.size(); ++i) {
        if (repeat == Repeat::Assign) {
            points.insert_or_assign(wavelength[i], signal[i]);
        } else {
            points.try_emplace(wavelength[i], signal[i]);
        }
    }
    keys_.reserve(points.size());
    values_.reserve(points.size());
    for (const auto& [k, v] : points) {
        keys_.push_back(k);
        values_.push_back(v);
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

void Scan::set_interpolation(spline::Type type) noexcept {
    if (type != interpolation_) {
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
        throw std::out_of_range("invalid map<K, T> key");
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
            throw std::runtime_error("Cannot initialize a spline, too few points");
        }
    }
    return spline_;
}

double Scan::interpolate(double w) const {
    if (keys_.empty() || !(w >= keys_.front()) || !(keys_.back() >= w)) {
        return 0.0;
    }
    return built_spline().eval(w);
}

std::size_t Scan::search(double w) const noexcept {
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), w, EpsilonLess{epsilon_});
    search_hint_ = static_cast<std::size_t>(it - keys_.begin());
    return search_hint_;
}

double Scan::integral(double from, double to) const {
    if (keys_.empty() || from == to) {
        return 0.0;
    }
    spline::Spline& spline = built_spline();
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
    return spline.eval_integ(lo, hi);
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
