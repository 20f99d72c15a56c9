#include "utils/elementwise.hpp"

#include <cmath>

namespace orvanalysis::utils {

namespace {

template <class F>
Scan map_values(const Scan& scan, F f) {
    Scan result = Scan::empty_like(scan);
    result.reserve(scan.size());
    for (const auto& [k, v] : scan) {
        result.add(k, f(v));
    }
    return result;
}

}  // namespace

Scan log10(const Scan& scan) {
    return map_values(scan, [](double v) { return std::log10(v); });
}

Scan log(const Scan& scan) {
    return map_values(scan, [](double v) { return std::log(v); });
}

void abs(Scan& scan) {
    scan.for_each([](const double&, double& v) {
        if (0 > v) {
            v = -v;
        }
    });
}

}  // namespace orvanalysis::utils
