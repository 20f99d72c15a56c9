#include "colorimetry/weighting.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Where a weighted mean reads the spectrum and how much each reading counts (weighting.hpp), and
// for the integral the nodes by the spectrum's interval they fall in (intervals first,
// first + 1, ...; those of interval first + k from starts[k] to starts[k + 1]), with in each
// interval the moments Σ weights[j] t^p, t the node's distance from the interval's start: those
// of p = 0 for every interval, then those of p = 1, 2 and 3. With a cubic's coefficients they
// give its sum.
struct Quadrature : Readings {
    std::size_t first = 0;
    std::vector<std::size_t> starts;
    std::vector<double> moments;
    // total in the order the moments are summed.
    double paired_total = 0.0;
    // How close a node comes to a point of the spectrum: a spectrum whose epsilon reaches that
    // far reads its stored values there, and takes the node by node way.
    double nearest = std::numeric_limits<double>::infinity();
};

// The index of the last of keys at or before w (keys[0] <= w).
std::size_t interval_of(const std::vector<double>& keys, double w) {
    return static_cast<std::size_t>(std::upper_bound(keys.begin(), keys.end(), w) - keys.begin()) - 1;
}

// Groups an integral quadrature's nodes by the spectrum's intervals and sums their moments.
void add_moments(Quadrature& q, const std::vector<double>& keys) {
    if (q.nodes.empty()) {
        return;
    }
    q.first = interval_of(keys, q.nodes.front());
    const std::size_t last = interval_of(keys, q.nodes.back());
    const std::size_t count = last - q.first + 1;
    q.starts.assign(count + 1, q.nodes.size());
    q.moments.assign(4 * count, 0.0);
    std::size_t k = q.first;
    q.starts[0] = 0;
    for (std::size_t j = 0; j < q.nodes.size(); ++j) {
        const double w = q.nodes[j];
        while (keys[k + 1] <= w) {
            ++k;
            q.starts[k - q.first] = j;
        }
        const double t = w - keys[k];
        double* m = &q.moments[k - q.first];
        m[0] += q.weights[j];
        m[count] += q.weights[j] * t;
        m[2 * count] += q.weights[j] * t * t;
        m[3 * count] += q.weights[j] * t * t * t;
        q.nearest = std::min({q.nearest, t, keys[k + 1] - w});
    }
}

// Two doubles at once (SSE2 on x86-64, NEON on ARM): the sums of the moments are the hot loop.
using Pair = double __attribute__((vector_size(16)));

Pair load_pair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Σ term(k) for k from begin to end, two pairs of sums taking four terms in turn, so that the
// additions of neighbouring intervals overlap. pair(k) gives the terms of k and k + 1 at once.
template <class PairTerm, class Term>
double paired_sum(std::size_t begin, std::size_t end, PairTerm pair, Term term) {
    Pair even{0.0, 0.0};
    Pair odd{0.0, 0.0};
    std::size_t k = begin;
    for (; k + 4 <= end; k += 4) {
        even += pair(k);
        odd += pair(k + 2);
    }
    double sum = (even[0] + odd[0]) + (even[1] + odd[1]);
    for (; k < end; ++k) {
        sum += term(k);
    }
    return sum;
}

// The sum of the weights in the order the moment sums take them: a flat spectrum's weighted sum
// is then its value times this, and its mean its value.
double weights_in_pairs(const Quadrature& q) {
    const double* m0 = q.moments.data();
    return paired_sum(
        0, q.starts.size() - 1, [m0](std::size_t k) { return load_pair(m0 + k); },
        [m0](std::size_t k) { return m0[k]; });
}

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
    add_moments(q, keys);
    q.paired_total = weights_in_pairs(q);
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
};

struct CachedQuadrature {
    QuadratureKey key;
    std::shared_ptr<const Quadrature> quadrature;
    // The last spectrum found to have key.keys as its keys: the same content has the same keys,
    // so that spectrum's next weighted means skip the comparison.
    std::uint64_t spectrum = 0;
    std::uint64_t last_used = 0;
};

// The quadratures last used on this thread: a rating asks for one per quantity, and the data
// sets of a file, or the files of a batch, are mostly sampled alike. keys is what key.keys must
// hold; make builds the quadrature when none is cached.
template <class Make>
std::shared_ptr<const Quadrature> cached_quadrature(Method method, Band band, const Weighting& weighting,
                                                    const Scan& spectrum, const std::vector<double>& keys, Make make) {
    constexpr std::size_t capacity = 64;
    thread_local std::vector<CachedQuadrature> cache;
    thread_local std::uint64_t clock = 0;
    thread_local std::vector<std::uint64_t> revisions;
    revisions.clear();
    for (const Scan* factor : weighting) {
        revisions.push_back(factor->revision());
    }
    const std::uint64_t id = spectrum.revision();
    ++clock;
    for (CachedQuadrature& entry : cache) {
        const QuadratureKey& key = entry.key;
        if (key.method != method || key.from != band.from || key.to != band.to || key.revisions != revisions) {
            continue;
        }
        if (entry.spectrum != id) {
            if (key.keys.size() != keys.size() ||
                std::memcmp(key.keys.data(), keys.data(), keys.size() * sizeof(double)) != 0) {
                continue;
            }
            entry.spectrum = id;
        }
        entry.last_used = clock;
        return entry.quadrature;
    }
    CachedQuadrature made{
        {method, band.from, band.to, revisions, keys}, std::make_shared<const Quadrature>(make()), id, clock};
    if (cache.size() < capacity) {
        cache.push_back(std::move(made));
        return cache.back().quadrature;
    }
    CachedQuadrature& oldest = *std::min_element(
        cache.begin(), cache.end(), [](const auto& a, const auto& b) { return a.last_used < b.last_used; });
    oldest = std::move(made);
    return oldest.quadrature;
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

// The sum of intervals first + k, k from begin to end, through their moments.
double moment_sum(const Quadrature& q, const Scan& spectrum, const spline::Cubics& cubics, std::size_t begin,
                  std::size_t end) {
    const std::size_t offset = q.first;
    const double* y = spectrum.values().data() + offset;
    const double* b = cubics.b() + offset;
    const double* c = cubics.c() + offset;
    const double* d = cubics.d() + offset;
    const std::size_t count = q.starts.size() - 1;
    const double* m0 = q.moments.data();
    const double* m1 = m0 + count;
    const double* m2 = m1 + count;
    const double* m3 = m2 + count;
    return paired_sum(
        begin, end,
        [&](std::size_t k) {
            return load_pair(y + k) * load_pair(m0 + k) + load_pair(b + k) * load_pair(m1 + k) +
                   load_pair(c + k) * load_pair(m2 + k) + load_pair(d + k) * load_pair(m3 + k);
        },
        [&](std::size_t k) { return y[k] * m0[k] + b[k] * m1[k] + c[k] * m2[k] + d[k] * m3[k]; });
}

// apply for an integral quadrature and a spectrum read through cubics: an interval whose cubic is
// monotone stays within its end values by itself and sums through its moments; the others are
// evaluated and held node by node, as apply does.
WeightedTotals apply_cubics(const Quadrature& q, const Scan& spectrum, const spline::Cubics& cubics) {
    WeightedTotals totals;
    totals.used = q.used;
    totals.weight = q.paired_total;
    const double* y = spectrum.values().data();
    const double* b = cubics.b();
    const double* c = cubics.c();
    const double* d = cubics.d();
    const std::size_t count = q.starts.size() - 1;
    const std::vector<std::size_t>& overshooting = cubics.overshooting();
    std::size_t k = 0;
    for (auto next = std::lower_bound(overshooting.begin(), overshooting.end(), q.first);
         next != overshooting.end() && *next - q.first < count; ++next) {
        const std::size_t held = *next - q.first;
        totals.weighted += moment_sum(q, spectrum, cubics, k, held);
        const std::size_t i = *next;
        const double lo = std::min(y[i], y[i + 1]);
        const double hi = std::max(y[i], y[i + 1]);
        const double start = spectrum.wavelengths()[i];
        for (std::size_t j = q.starts[held]; j < q.starts[held + 1]; ++j) {
            const double t = q.nodes[j] - start;
            totals.weighted += q.weights[j] * std::clamp(y[i] + t * (b[i] + t * (c[i] + d[i] * t)), lo, hi);
        }
        k = held + 1;
    }
    totals.weighted += moment_sum(q, spectrum, cubics, k, count);
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

namespace {

// The quadrature weighted_totals takes, nullptr when the spectrum has no data in the band.
std::shared_ptr<const Quadrature> quadrature_for(const Scan& spectrum, const Weighting& weighting, Band band,
                                                 Method method) {
    const Band weighted = weighting_band(weighting, band);
    if (spectrum.empty() || !(weighted.to >= weighted.from)) {
        return nullptr;
    }
    if (method == Method::Sum) {
        // A table wavelength within the spectrum's epsilon of its first or last point is measured.
        const double e = spectrum.epsilon();
        const Band measured{spectrum.min_wavelength() - e, spectrum.max_wavelength() + e};
        return cached_quadrature(method, band, weighting, spectrum, {measured.from, measured.to},
                                 [&] { return sum_quadrature(weighting, weighted, measured); });
    }
    const Band part{std::max(weighted.from, spectrum.min_wavelength()),
                    std::min(weighted.to, spectrum.max_wavelength())};
    if (!(part.to > part.from)) {
        return nullptr;
    }
    return cached_quadrature(method, band, weighting, spectrum, spectrum.wavelengths(),
                             [&] { return integral_quadrature(spectrum.wavelengths(), weighting, part); });
}

// A table (kind NONE) is read as the reference curves are: through Steffen's monotone cubic.
spline::Type curve_kind(const Scan& spectrum) {
    return spectrum.is_interpolated() ? spectrum.interpolation() : spline::Type::STEFFEN;
}

// Whether an integral's weighted total goes through the moments of the spectrum's cubics: a
// polynomial is no piecewise cubic, and a spectrum whose epsilon reaches a node reads a stored
// value there.
bool through_cubics(const Quadrature& q, const Scan& spectrum, Method method) {
    return method == Method::Integral && !q.nodes.empty() && curve_kind(spectrum) != spline::Type::POLYNOMIAL &&
           spectrum.epsilon() < 0.25 * q.nearest;
}

}  // namespace

std::shared_ptr<const Readings> weighted_readings(const Scan& spectrum, const Weighting& weighting, Band band,
                                                  Method method) {
    return quadrature_for(spectrum, weighting, band, method);
}

WeightedTotals weighted_totals(const Scan& spectrum, const Weighting& weighting, Band band, Method method) {
    const std::shared_ptr<const Quadrature> q = quadrature_for(spectrum, weighting, band, method);
    if (!q) {
        return {0.0, 0.0, {nan, nan}};
    }
    if (through_cubics(*q, spectrum, method)) {
        return apply_cubics(*q, spectrum, spectrum.cubics(curve_kind(spectrum)));
    }
    const std::optional<Scan> interpolated = steffen_copy(spectrum);
    return apply(*q, interpolated ? *interpolated : spectrum);
}

std::vector<WeightedTotals> weighted_totals_many(const Scan& spectrum, const std::vector<WeightedMean>& means,
                                                 Method method) {
    // Through the cubics as weighted_totals goes; the rest read at the wavelengths they share.
    std::vector<WeightedTotals> totals(means.size(), WeightedTotals{0.0, 0.0, {nan, nan}});
    std::vector<std::shared_ptr<const Readings>> readings;
    readings.reserve(means.size());
    bool by_node = false;
    for (std::size_t i = 0; i < means.size(); ++i) {
        const std::shared_ptr<const Quadrature> q = quadrature_for(spectrum, means[i].weighting, means[i].band, method);
        if (q && through_cubics(*q, spectrum, method)) {
            totals[i] = apply_cubics(*q, spectrum, spectrum.cubics(curve_kind(spectrum)));
            readings.emplace_back();
        } else {
            readings.push_back(q);
            by_node = by_node || q;
        }
    }
    if (!by_node) {
        return totals;
    }
    const std::shared_ptr<const SharedNodes> shared = shared_nodes(readings);
    const std::optional<Scan> interpolated = steffen_copy(spectrum);
    const Scan& curve = interpolated ? *interpolated : spectrum;
    std::vector<double> held(shared->nodes.size());
    std::size_t segment = 0;
    for (std::size_t j = 0; j < held.size(); ++j) {
        held[j] = held_value(curve, shared->nodes[j], segment);
    }
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
