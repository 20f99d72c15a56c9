// Scan: a spectrum held as (wavelength, value) points in ascending wavelength order, with a
// key tolerance and an interpolation kind.
#pragma once

#include "core/columns.hpp"
#include "core/spline.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <iterator>
#include <utility>
#include <vector>

namespace orvanalysis {

// Key ordering under a tolerance: a orders before b exactly when a + epsilon < b, the sum
// rounded first. Two keys are the same key when neither orders before the other.
struct EpsilonLess {
    double epsilon;
    bool operator()(double a, double b) const noexcept { return a + epsilon < b; }
};

// Threads: a Scan may be used from one thread at a time, even through const access, since its
// spline cache and search hint change on evaluation; copies are independent of each other. The
// Python bindings never release the interpreter lock while a Scan is in use, so Python threads
// cannot reach one Scan at once.
class Scan {
public:
    static constexpr double Default_Wavelength_Epsilon = 1e-20;
    static constexpr spline::Type Default_Interpolation = spline::Type::AKIMA;
    // The most points the curve generators make: 1 GiB of keys and values, far beyond any
    // spectrum, and refused before anything is allocated.
    static constexpr std::uint32_t Max_Generated_Points = std::uint32_t{1} << 26;

    using value_type = std::pair<double, double>;

    // Walks the points as (wavelength, value) pairs in ascending wavelength order.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Scan::value_type;
        using difference_type = std::ptrdiff_t;
        using reference = value_type;
        struct pointer {
            value_type point;
            const value_type* operator->() const noexcept { return &point; }
        };

        const_iterator() = default;
        reference operator*() const noexcept { return {*key_, *value_}; }
        pointer operator->() const noexcept { return {**this}; }
        reference operator[](difference_type n) const noexcept { return *(*this + n); }
        const_iterator& operator++() noexcept { return *this += 1; }
        const_iterator operator++(int) noexcept {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        const_iterator& operator--() noexcept { return *this -= 1; }
        const_iterator operator--(int) noexcept {
            const_iterator old = *this;
            --*this;
            return old;
        }
        const_iterator& operator+=(difference_type n) noexcept {
            key_ += n;
            value_ += n;
            return *this;
        }
        const_iterator& operator-=(difference_type n) noexcept { return *this += -n; }
        friend const_iterator operator+(const_iterator it, difference_type n) noexcept { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) noexcept { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) noexcept { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) noexcept {
            return a.key_ - b.key_;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ == b.key_; }
        friend bool operator!=(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ != b.key_; }
        friend bool operator<(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ < b.key_; }
        friend bool operator>(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ > b.key_; }
        friend bool operator<=(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ <= b.key_; }
        friend bool operator>=(const const_iterator& a, const const_iterator& b) noexcept { return a.key_ >= b.key_; }

    private:
        friend class Scan;
        const_iterator(const double* key, const double* value) noexcept : key_(key), value_(value) {}
        const double* key_ = nullptr;
        const double* value_ = nullptr;
    };
    using iterator = const_iterator;

    // An empty scan. Throws std::invalid_argument for a negative or NaN epsilon or a kind that
    // is none of spline::Type's.
    explicit Scan(double epsilon = Default_Wavelength_Epsilon, spline::Type interpolation = Default_Interpolation);
    // Stores point i for i = 0, 1, ... with insert-or-assign semantics (see add). Throws
    // std::runtime_error when the lengths differ and std::invalid_argument for a NaN wavelength
    // or an invalid epsilon, in each case before storing anything.
    Scan(std::vector<double> wavelength, std::vector<double> signal, double epsilon, spline::Type interpolation);
    // Reference tables: default epsilon and interpolation; of two equivalent wavelengths the
    // first pair wins.
    explicit Scan(const std::vector<value_type>& points);

    Scan(const Scan&) = default;
    Scan(Scan&&) noexcept = default;
    Scan& operator=(const Scan&) = default;
    Scan& operator=(Scan&&) noexcept = default;
    ~Scan() = default;

    // An empty scan with the other scan's epsilon and interpolation.
    static Scan empty_like(const Scan& other);

    // The scan of n points whose wavelengths key(i) and values value(i) give, for i = 0 to n - 1,
    // as the array constructor stores them, each read and written once: the keys are checked in
    // blocks as they are copied, and only keys out of order take the constructor's sorting.
    // Throws std::invalid_argument for a NaN wavelength or an invalid epsilon or kind.
    template <class Key, class Value>
    static Scan copied(std::size_t n, const Key& key, const Value& value, double epsilon, spline::Type interpolation);

    double epsilon() const noexcept { return epsilon_; }
    // Re-keys the points under e: in a run of wavelengths closer than e the lowest survives.
    // Throws std::invalid_argument for a negative or NaN e, leaving the scan unchanged.
    void set_epsilon(double e);
    spline::Type interpolation() const noexcept { return interpolation_; }
    // Throws std::invalid_argument for a kind that is none of spline::Type's.
    void set_interpolation(spline::Type type);
    bool is_interpolated() const noexcept { return interpolation_ != spline::Type::NONE; }

    std::size_t size() const noexcept { return keys_.size(); }
    bool empty() const noexcept { return keys_.empty(); }
    double min_wavelength() const;
    double max_wavelength() const;
    // Keys and values in ascending key order; read from a temporary scan they are moved out.
    const std::vector<double>& wavelengths() const& noexcept { return keys_; }
    std::vector<double> wavelengths() && noexcept { return std::move(keys_); }
    const std::vector<double>& values() const& noexcept { return values_; }
    std::vector<double> values() && noexcept { return std::move(values_); }
    std::vector<std::vector<double>> to_lists() const;

    const_iterator begin() const noexcept { return {keys_.data(), values_.data()}; }
    const_iterator end() const noexcept { return begin() + static_cast<std::ptrdiff_t>(size()); }

    // The point whose key is equivalent to w, or end(). A NaN w finds nothing.
    const_iterator find(double w) const noexcept;
    bool contains(double w) const noexcept { return find(w) != end(); }
    // The value stored under w; std::out_of_range naming w when there is none.
    // The non-const form discards the spline cache, since the caller may write through it.
    const double& at(double w) const;
    double& at(double w);

    // Insert-or-assign: an equivalent stored key keeps its place and takes the value v.
    // Throws std::invalid_argument for a NaN w.
    void add(double w, double v);
    void reserve(std::size_t n);
    // Calls f(wavelength, value&) on every point in ascending order; f may change the values.
    // The spline cache is discarded afterwards, also when f throws.
    template <class F>
    void for_each(F&& f);
    // Removes every point whose key is below lo or above hi.
    void crop(double lo, double hi);

    // Stored value at a stored key, interpolated value inside the key range, 0.0 outside.
    // Throws std::runtime_error when interpolation is needed and cannot be built.
    double operator()(double w) const {
        if (std::isnan(w)) {
            return 0.0;
        }
        const std::size_t i = lower_bound_index(w);
        return i != keys_.size() && !EpsilonLess{epsilon_}(w, keys_[i]) ? values_[i] : interpolate(w, i);
    }
    // Integral of the interpolated function over the part of [min(from, to), max(from, to)]
    // that lies inside the key range; the bounds may come in either order.
    double integral(double from, double to) const;
    double integral() const;

    // The point with the greatest (least) value among keys k with k + epsilon >= lo and
    // k <= hi + epsilon; the lowest wavelength wins ties; end() when no key qualifies.
    const_iterator max_in_range(double lo, double hi) const;
    const_iterator min_in_range(double lo, double hi) const;

    // The curve as one cubic per interval, of the given kind (AKIMA, CUBIC, LINEAR or STEFFEN),
    // built on first use for the current points. Throws std::runtime_error, as evaluation does,
    // for NONE and for too few points; POLYNOMIAL is not piecewise and is refused too.
    const spline::Cubics& cubics(spline::Type kind) const;

    bool has_spline() const noexcept { return spline_.is_built(); }
    // Identifies the scan's current content: it changes with every change of the points, the
    // epsilon or the interpolation kind, and no other content in the process ever has it, so
    // results derived from scans can be kept under the identifiers of their inputs.
    std::uint64_t revision() const noexcept { return revision_.get(); }

    friend bool operator==(const Scan& a, const Scan& b) noexcept;
    friend bool operator!=(const Scan& a, const Scan& b) noexcept { return !(a == b); }

private:
    // Drawn from a process-wide counter when first asked for, forgotten on every change;
    // copies start without one and a move hands it over.
    class Revision {
    public:
        Revision() = default;
        Revision(const Revision& /*other*/) noexcept {}
        Revision(Revision&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
        Revision& operator=(const Revision& /*other*/) noexcept {
            id_ = 0;
            return *this;
        }
        Revision& operator=(Revision&& other) noexcept {
            id_ = std::exchange(other.id_, 0);
            return *this;
        }
        ~Revision() = default;
        std::uint64_t get() const noexcept;
        void clear() noexcept { id_ = 0; }

    private:
        mutable std::uint64_t id_ = 0;
    };

    // Every change of the points or the kind ends here.
    void changed() noexcept {
        spline_.reset();
        revision_.clear();
    }

    // What storing a wavelength equivalent to an earlier one does to the earlier value.
    enum class Repeat { Assign, Ignore };
    // Stores the points in their given order; the scan must be empty. Throws
    // std::invalid_argument for a NaN wavelength before storing anything.
    void store(std::vector<double> wavelength, std::vector<double> signal, Repeat repeat);
    void store_sorted(const std::vector<double>& wavelength, const std::vector<double>& signal, Repeat repeat);
    void store_replayed(const std::vector<double>& wavelength, const std::vector<double>& signal, Repeat repeat);

    // The first index whose key does not order before w. Lookups in ascending order
    // (arithmetic, integrands, loops over a grid) land one past the previous position or on
    // it, which is checked before searching.
    std::size_t lower_bound_index(double w) const noexcept {
        // The lower bound is the one index with every key before it ordering before w and the
        // key at it, if any, not.
        const EpsilonLess less{epsilon_};
        const std::size_t n = keys_.size();
        const auto is_lower_bound = [&](std::size_t i) {
            return i <= n && (i == 0 || less(keys_[i - 1], w)) && (i == n || !less(keys_[i], w));
        };
        if (is_lower_bound(search_hint_ + 1)) {
            return ++search_hint_;
        }
        if (is_lower_bound(search_hint_)) {
            return search_hint_;
        }
        return search(w);
    }
    // The index of the key equivalent to w, or size(); a NaN w finds nothing.
    std::size_t find_index(double w) const noexcept {
        if (std::isnan(w)) {
            return keys_.size();
        }
        const std::size_t i = lower_bound_index(w);
        return i != keys_.size() && !EpsilonLess{epsilon_}(w, keys_[i]) ? i : keys_.size();
    }
    std::size_t search(double w) const noexcept;
    // Evaluation at a wavelength that is not a stored key, whose lower bound index is after:
    // between keys after - 1 and after, or outside the data (0). Inline, as evaluation on a grid
    // calls it for every point.
    double interpolate(double w, std::size_t after) const {
        if (after == 0 || after == keys_.size()) {
            return 0.0;
        }
        return (spline_.is_built() ? spline_ : built_spline()).eval(w, after - 1);
    }
    const_iterator at_index(std::size_t i) const noexcept { return begin() + static_cast<std::ptrdiff_t>(i); }
    spline::Spline& built_spline() const;
    template <class Better>
    const_iterator extremum_in_range(double lo, double hi, Better better) const;

    double epsilon_;
    std::vector<double> keys_;
    std::vector<double> values_;
    spline::Type interpolation_;
    // Built from exactly the current points and kind, or empty; evaluation through a const
    // scan may build it.
    mutable spline::Spline spline_;
    // Where the last lookup landed.
    mutable std::size_t search_hint_ = 0;
    Revision revision_;
};

// A newline, then "wavelength, value" and a newline for each point, in the stream's format.
std::ostream& operator<<(std::ostream& os, const Scan& scan);

template <class Key, class Value>
Scan Scan::copied(std::size_t n, const Key& key, const Value& value, double epsilon, spline::Type interpolation) {
    Scan scan(epsilon, interpolation);
    std::vector<double> keys;
    std::vector<double> values;
    keys.reserve(n);
    values.reserve(n);
    advise_huge_pages(keys.data(), n * sizeof(double));
    advise_huge_pages(values.data(), n * sizeof(double));
    // Blocks small enough to stay in the first-level cache between the copy and the check. A NaN
    // orders before nothing, so it counts as out of order too, and the constructor refuses it.
    const double e = scan.epsilon_;
    constexpr std::size_t block = 512;
    bool ordered = true;
    for (std::size_t start = 0; start < n; start += block) {
        const std::size_t end = std::min(n, start + block);
        append_values(keys, start, end, key);
        append_values(values, start, end, value);
        ordered = all_ordered(keys.data(), std::max<std::size_t>(start, 1), end, e) && ordered;
    }
    if (ordered) {
        scan.keys_ = std::move(keys);
        scan.values_ = std::move(values);
    } else {
        scan.store(std::move(keys), std::move(values), Repeat::Assign);
    }
    return scan;
}

template <class F>
void Scan::for_each(F&& f) {
    struct ChangedOnExit {
        Scan& scan;
        ~ChangedOnExit() { scan.changed(); }
    } changed_on_exit{*this};
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        f(static_cast<const double&>(keys_[i]), values_[i]);
    }
}

}  // namespace orvanalysis
