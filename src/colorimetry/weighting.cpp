#include "colorimetry/weighting.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

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

// The keys of s strictly inside (from, to), appended to out and merged with what it holds.
void merge_keys_inside(const Scan& s, double from, double to, std::vector<double>& out) {
    const std::vector<double>& keys = s.wavelengths();
    const auto first = std::upper_bound(keys.begin(), keys.end(), from);
    const auto last = std::lower_bound(first, keys.end(), to);
    const auto middle = static_cast<std::ptrdiff_t>(out.size());
    out.insert(out.end(), first, last);
    std::inplace_merge(out.begin(), out.begin() + middle, out.end());
}

WeightedTotals integral_totals(const Scan& spectrum, const Weighting& weighting, Band part) {
    // Every piece between two breakpoints is a polynomial: a cubic of the spectrum times a cubic
    // of each weighting curve, which a rule of this many nodes integrates exactly.
    const Rule& rule = gauss_legendre((5 + 3 * weighting.size()) / 2);
    std::vector<double> breaks;
    merge_keys_inside(spectrum, part.from, part.to, breaks);
    for (const Scan* factor : weighting) {
        merge_keys_inside(*factor, part.from, part.to, breaks);
    }
    breaks.insert(breaks.begin(), part.from);
    breaks.push_back(part.to);

    std::size_t segment = 0;
    WeightedTotals totals;
    totals.used = part;
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
            const double t = held_value(spectrum, w, segment);
            const double weight = rule.weights[i] * half * weight_at(weighting, w);
            totals.weighted += t * weight;
            totals.weight += weight;
        }
    }
    return totals;
}

// measured: the wavelengths at which the spectrum has data, its epsilon included.
WeightedTotals sum_totals(const Scan& spectrum, const Weighting& weighting, Band band, Band measured) {
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
    WeightedTotals totals;
    totals.used = {nan, nan};
    std::size_t segment = 0;
    for (const double w : nodes) {
        if (w < measured.from || w > measured.to) {
            continue;
        }
        const double weight = weight_at(weighting, w);
        totals.weighted += held_value(spectrum, w, segment) * weight;
        totals.weight += weight;
        totals.used.from = std::isnan(totals.used.from) ? w : totals.used.from;
        totals.used.to = w;
    }
    return totals;
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

WeightedTotals weighted_totals(const Scan& spectrum, const Weighting& weighting, Band band, Method method) {
    const Band weighted = weighting_band(weighting, band);
    if (spectrum.empty() || !(weighted.to >= weighted.from)) {
        return {0.0, 0.0, {nan, nan}};
    }
    // A table (kind NONE) is read as the reference curves are: through Steffen's monotone cubic.
    std::optional<Scan> interpolated;
    if (!spectrum.is_interpolated()) {
        interpolated.emplace(spectrum);
        interpolated->set_interpolation(spline::Type::STEFFEN);
    }
    const Scan& curve = interpolated ? *interpolated : spectrum;
    if (method == Method::Sum) {
        // A table wavelength within the spectrum's epsilon of its first or last point is measured.
        const double e = spectrum.epsilon();
        return sum_totals(curve, weighting, weighted, {spectrum.min_wavelength() - e, spectrum.max_wavelength() + e});
    }
    const Band part{std::max(weighted.from, spectrum.min_wavelength()),
                    std::min(weighted.to, spectrum.max_wavelength())};
    if (!(part.to > part.from)) {
        return {0.0, 0.0, {nan, nan}};
    }
    return integral_totals(curve, weighting, part);
}

}  // namespace orvanalysis::colorimetry
