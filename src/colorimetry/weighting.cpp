#include "colorimetry/weighting.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace orvanalysis::colorimetry {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// The plain means have no table of their own: the standards sum them in 5 nm steps too.
constexpr double plain_sum_step = 5.0;

// Gauss-Legendre nodes and weights on [-1, 1].
struct Rule {
    std::vector<double> nodes;
    std::vector<double> weights;
};

constexpr std::size_t max_rule = 8;

const Rule& gauss_legendre(std::size_t n) {
    static const std::array<Rule, max_rule + 1> rules = [] {
        std::array<Rule, max_rule + 1> built;
        for (std::size_t n = 1; n <= max_rule; ++n) {
            const std::unique_ptr<gsl_integration_glfixed_table, void (*)(gsl_integration_glfixed_table*)> table(
                gsl_integration_glfixed_table_alloc(n), gsl_integration_glfixed_table_free);
            if (!table) {
                throw std::bad_alloc();
            }
            for (std::size_t i = 0; i < n; ++i) {
                double x = 0.0;
                double w = 0.0;
                gsl_integration_glfixed_point(-1.0, 1.0, i, &x, &w, table.get());
                built[n].nodes.push_back(x);
                built[n].weights.push_back(w);
            }
        }
        return built;
    }();
    return rules[std::min(n, max_rule)];
}

double weight_at(const Weighting& weighting, double w) {
    double product = 1.0;
    for (const Scan* factor : weighting) {
        product *= (*factor)(w);
    }
    return product;
}

// The spectrum's curve at w, held to the values of the two points around it: no spline overshoot
// can take a mean outside the values of the spectrum. segment walks forward with w: the index of
// the last point at or before w.
double held_value(const Scan& spectrum, double w, std::size_t& segment) {
    const std::vector<double>& keys = spectrum.wavelengths();
    const std::vector<double>& values = spectrum.values();
    while (segment + 2 < keys.size() && keys[segment + 1] <= w) {
        ++segment;
    }
    const double a = values[segment];
    const double b = values[std::min(segment + 1, keys.size() - 1)];
    return std::clamp(spectrum(w), std::min(a, b), std::max(a, b));
}

// The keys strictly inside (from, to), appended to out and merged with what it holds.
void merge_keys_inside(const std::vector<double>& keys, double from, double to, std::vector<double>& out) {
    const auto first = std::upper_bound(keys.begin(), keys.end(), from);
    const auto last = std::lower_bound(first, keys.end(), to);
    const auto middle = static_cast<std::ptrdiff_t>(out.size());
    out.insert(out.end(), first, last);
    std::inplace_merge(out.begin(), out.begin() + middle, out.end());
}

// Where a weighted mean reads the spectrum and how much each reading counts (weighting.hpp).
using Quadrature = Readings;

Quadrature integral_quadrature(const std::vector<double>& keys, const Weighting& weighting, Band part) {
    // Every piece between two breakpoints is a polynomial: a cubic of the spectrum times a cubic
    // of each weighting curve, which a rule of this many nodes integrates exactly.
    const Rule& rule = gauss_legendre((5 + 3 * weighting.size()) / 2);
    std::vector<double> breaks;
    merge_keys_inside(keys, part.from, part.to, breaks);
    for (const Scan* factor : weighting) {
        merge_keys_inside(factor->wavelengths(), part.from, part.to, breaks);
    }
    breaks.insert(breaks.begin(), part.from);
    breaks.push_back(part.to);
    Quadrature q;
    q.used = part;
    q.nodes.reserve(breaks.size() * rule.nodes.size());
    q.weights.reserve(breaks.size() * rule.nodes.size());
    for (std::size_t b = 0; b + 1 < breaks.size(); ++b) {
        const double u = breaks[b];
        const double v = breaks[b + 1];
        if (!(v > u)) {
            continue;
        }
        const double half = 0.5 * (v - u);
        const double middle = 0.5 * (u + v);
        for (std::size_t i = 0; i < rule.nodes.size(); ++i) {
            const double w = middle + half * rule.nodes[i];
            q.nodes.push_back(w);
            q.weights.push_back(rule.weights[i] * half * weight_at(weighting, w));
            q.total += q.weights.back();
        }
    }
    return q;
}

// measured: the wavelengths at which the spectrum has data, its epsilon included.
Quadrature sum_quadrature(const Weighting& weighting, Band band, Band measured) {
    std::vector<double> nodes;
    if (weighting.empty()) {
        for (std::size_t i = 0;; ++i) {
            const double w = band.from + static_cast<double>(i) * plain_sum_step;
            if (w > band.to) {
                break;
            }
            nodes.push_back(w);
        }
    } else {
        // The tables' own wavelengths in the band, ends included, each once.
        for (const Scan* factor : weighting) {
            const std::vector<double>& keys = factor->wavelengths();
            const auto first = std::lower_bound(keys.begin(), keys.end(), band.from);
            const auto last = std::upper_bound(first, keys.end(), band.to);
            const auto middle = static_cast<std::ptrdiff_t>(nodes.size());
            nodes.insert(nodes.end(), first, last);
            std::inplace_merge(nodes.begin(), nodes.begin() + middle, nodes.end());
        }
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    }
    Quadrature q;
    q.used = {nan, nan};
    for (const double w : nodes) {
        if (w < measured.from || w > measured.to) {
            continue;
        }
        q.nodes.push_back(w);
        q.weights.push_back(weight_at(weighting, w));
        q.total += q.weights.back();
        q.used.from = std::isnan(q.used.from) ? w : q.used.from;
        q.used.to = w;
    }
    return q;
}

// What a quadrature was made for. Revisions identify the weighting curves' content for good, so
// a curve changed through a view, or a user's curve gone and another in its place, never meets
// a quadrature of the old one.
struct QuadratureKey {
    Method method;
    double from;
    double to;
    std::vector<std::uint64_t> revisions;
    std::vector<double> keys;  // the spectrum's keys (integral), or the measured range (sum)

    bool operator==(const QuadratureKey& other) const {
        return method == other.method && from == other.from && to == other.to && revisions == other.revisions &&
               keys.size() == other.keys.size() &&
               std::memcmp(keys.data(), other.keys.data(), keys.size() * sizeof(double)) == 0;
    }
};

// The quadratures last used on this thread, most recent first: a rating asks for one per
// quantity, and the data sets of a file, or the files of a batch, are mostly sampled alike.
std::shared_ptr<const Quadrature> cached_quadrature(QuadratureKey key, const std::function<Quadrature()>& make) {
    constexpr std::size_t capacity = 64;
    thread_local std::vector<std::pair<QuadratureKey, std::shared_ptr<const Quadrature>>> cache;
    const auto hit = std::find_if(cache.begin(), cache.end(), [&](const auto& entry) { return entry.first == key; });
    if (hit != cache.end()) {
        std::rotate(cache.begin(), hit, hit + 1);
        return cache.front().second;
    }
    auto made = std::make_shared<const Quadrature>(make());
    if (cache.size() == capacity) {
        cache.pop_back();
    }
    cache.emplace(cache.begin(), std::move(key), made);
    return made;
}

WeightedTotals apply(const Quadrature& q, const Scan& spectrum) {
    WeightedTotals totals;
    totals.used = q.used;
    totals.weight = q.total;
    std::size_t segment = 0;
    for (std::size_t j = 0; j < q.nodes.size(); ++j) {
        totals.weighted += q.weights[j] * held_value(spectrum, q.nodes[j], segment);
    }
    return totals;
}

// A copy read through Steffen's monotone cubic for a table (kind NONE), else nothing.
std::optional<Scan> steffen_copy(const Scan& spectrum) {
    std::optional<Scan> interpolated;
    if (!spectrum.is_interpolated()) {
        interpolated.emplace(spectrum);
        interpolated->set_interpolation(spline::Type::STEFFEN);
    }
    return interpolated;
}

// Every wavelength some of the readings read, ascending and each once, and where each reading's
// nodes are among them.
struct SharedNodes {
    std::vector<std::shared_ptr<const Readings>> readings;  // what it was made of, kept alive
    std::vector<double> nodes;
    std::vector<std::vector<std::size_t>> positions;
};

// Made once per grid and thread: the readings of spectra sampled alike are the same objects.
std::shared_ptr<const SharedNodes> shared_nodes(const std::vector<std::shared_ptr<const Readings>>& readings) {
    constexpr std::size_t capacity = 8;
    thread_local std::vector<std::shared_ptr<const SharedNodes>> cache;
    const auto hit =
        std::find_if(cache.begin(), cache.end(), [&](const auto& entry) { return entry->readings == readings; });
    if (hit != cache.end()) {
        std::rotate(cache.begin(), hit, hit + 1);
        return cache.front();
    }
    auto made = std::make_shared<SharedNodes>();
    made->readings = readings;
    for (const auto& r : readings) {
        if (r) {
            made->nodes.insert(made->nodes.end(), r->nodes.begin(), r->nodes.end());
        }
    }
    std::sort(made->nodes.begin(), made->nodes.end());
    made->nodes.erase(std::unique(made->nodes.begin(), made->nodes.end()), made->nodes.end());
    for (const auto& r : readings) {
        std::vector<std::size_t> at;
        if (r) {
            at.reserve(r->nodes.size());
            for (const double w : r->nodes) {
                at.push_back(static_cast<std::size_t>(std::lower_bound(made->nodes.begin(), made->nodes.end(), w) -
                                                      made->nodes.begin()));
            }
        }
        made->positions.push_back(std::move(at));
    }
    if (cache.size() == capacity) {
        cache.pop_back();
    }
    cache.insert(cache.begin(), made);
    return made;
}

}  // namespace

Method method_from_string(const std::string& name) {
    if (name == "integral") {
        return Method::Integral;
    }
    if (name == "sum") {
        return Method::Sum;
    }
    throw std::invalid_argument("method must be 'integral' or 'sum', not '" + name + "'");
}

double WeightedTotals::mean() const { return weight > 0.0 ? weighted / weight : nan; }

Band weighting_band(const Weighting& weighting, Band nominal) {
    Band band = nominal;
    for (const Scan* factor : weighting) {
        if (factor->empty()) {
            return {nan, nan};
        }
        band.from = std::max(band.from, factor->min_wavelength());
        band.to = std::min(band.to, factor->max_wavelength());
    }
    return band;
}

std::shared_ptr<const Readings> weighted_readings(const Scan& spectrum, const Weighting& weighting, Band band,
                                                  Method method) {
    const Band weighted = weighting_band(weighting, band);
    if (spectrum.empty() || !(weighted.to >= weighted.from)) {
        return nullptr;
    }
    QuadratureKey key{method, band.from, band.to, {}, {}};
    for (const Scan* factor : weighting) {
        key.revisions.push_back(factor->revision());
    }
    if (method == Method::Sum) {
        // A table wavelength within the spectrum's epsilon of its first or last point is measured.
        const double e = spectrum.epsilon();
        const Band measured{spectrum.min_wavelength() - e, spectrum.max_wavelength() + e};
        key.keys = {measured.from, measured.to};
        return cached_quadrature(std::move(key), [&] { return sum_quadrature(weighting, weighted, measured); });
    }
    const Band part{std::max(weighted.from, spectrum.min_wavelength()),
                    std::min(weighted.to, spectrum.max_wavelength())};
    if (!(part.to > part.from)) {
        return nullptr;
    }
    key.keys = spectrum.wavelengths();
    return cached_quadrature(std::move(key),
                             [&] { return integral_quadrature(spectrum.wavelengths(), weighting, part); });
}

WeightedTotals weighted_totals(const Scan& spectrum, const Weighting& weighting, Band band, Method method) {
    const std::shared_ptr<const Readings> readings = weighted_readings(spectrum, weighting, band, method);
    if (!readings) {
        return {0.0, 0.0, {nan, nan}};
    }
    // A table (kind NONE) is read as the reference curves are: through Steffen's monotone cubic.
    const std::optional<Scan> interpolated = steffen_copy(spectrum);
    return apply(*readings, interpolated ? *interpolated : spectrum);
}

std::vector<WeightedTotals> weighted_totals_many(const Scan& spectrum, const std::vector<WeightedMean>& means,
                                                 Method method) {
    std::vector<std::shared_ptr<const Readings>> readings;
    readings.reserve(means.size());
    for (const WeightedMean& mean : means) {
        readings.push_back(weighted_readings(spectrum, mean.weighting, mean.band, method));
    }
    const std::shared_ptr<const SharedNodes> shared = shared_nodes(readings);
    const std::optional<Scan> interpolated = steffen_copy(spectrum);
    const Scan& curve = interpolated ? *interpolated : spectrum;
    std::vector<double> held(shared->nodes.size());
    std::size_t segment = 0;
    for (std::size_t j = 0; j < held.size(); ++j) {
        held[j] = held_value(curve, shared->nodes[j], segment);
    }
    std::vector<WeightedTotals> totals(means.size(), WeightedTotals{0.0, 0.0, {nan, nan}});
    for (std::size_t i = 0; i < readings.size(); ++i) {
        if (readings[i]) {
            totals[i].used = readings[i]->used;
            totals[i].weight = readings[i]->total;
            const std::vector<std::size_t>& at = shared->positions[i];
            for (std::size_t j = 0; j < at.size(); ++j) {
                totals[i].weighted += readings[i]->weights[j] * held[at[j]];
            }
        }
    }
    return totals;
}

}  // namespace orvanalysis::colorimetry
