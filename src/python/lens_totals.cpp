// The totals a lens rating is made of, in one call per lens, and where the rating reads a lens:
// what orvpy.lens.rate_many works with.
#include "colorimetry/lens_standards.hpp"
#include "colorimetry/weighting.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace colorimetry = orvanalysis::colorimetry;

std::vector<colorimetry::WeightedMean> means_only() {
    std::vector<colorimetry::WeightedMean> means;
    for (auto& [name, mean] : colorimetry::lens_means()) {
        means.push_back(std::move(mean));
    }
    return means;
}

}  // namespace

void add_lens_totals(py::module_& m) {
    m.def(
        "_lens_mean_names",
        [] {
            std::vector<std::string> names;
            for (const auto& entry : colorimetry::lens_means()) {
                names.push_back(entry.first);
            }
            return names;
        },
        "Return the names of the weighted means a lens rating is made of, in the order _lens_totals_many gives them: "
        "each transmittance of a rating, then daylight_X, _Y, _Z, yellow_signal_X, ... green_signal_Z.");
    m.def(
        "_lens_totals_many",
        [](const py::sequence& lenses, const std::string& method) {
            const auto kind = colorimetry::method_from_string(method);
            const std::vector<colorimetry::WeightedMean> means = means_only();
            std::string raw;
            raw.reserve(static_cast<std::size_t>(py::len(lenses)) * means.size() * 2 * sizeof(double));
            for (const py::handle lens : lenses) {
                for (const auto& t :
                     colorimetry::weighted_totals_many(lens.cast<const orvanalysis::Scan&>(), means, kind)) {
                    const double pair[2] = {t.weighted, t.weight};
                    raw.append(reinterpret_cast<const char*>(pair), sizeof pair);
                }
            }
            return py::bytes(raw);
        },
        "lenses"_a, "method"_a = "integral",
        "Work out the (weighted, weight) totals of every mean of _lens_mean_names for each lens of a sequence, each "
        "lens read in one pass, as native doubles in bytes (numpy.frombuffer reads them): a lens's pairs after the "
        "previous lens's. Each mean is weighted / weight, NaN for a weight of 0, equal bit for bit to the lens "
        "quantity functions' own.");
    m.def(
        "_lens_readings",
        [](const orvanalysis::Scan& trans, const std::string& method) {
            std::vector<py::object> readings;
            const auto kind = colorimetry::method_from_string(method);
            for (const auto& [name, mean] : colorimetry::lens_means()) {
                const auto r = colorimetry::weighted_readings(trans, mean.weighting, mean.band, kind);
                readings.push_back(r ? py::cast(std::make_tuple(r->nodes, r->weights, r->total)) : py::none());
            }
            return readings;
        },
        "trans"_a, "method"_a = "integral",
        "Return where each mean of _lens_mean_names reads a lens sampled as trans is and what each reading weighs: "
        "(nodes, "
        "weights, total) with the weighted total sum(weights[j] * T(nodes[j])), or None where the lens has no data in "
        "the band. It depends on the lens's wavelengths (integral) or range (sum), never on its values.");
}

}  // namespace orvpy
