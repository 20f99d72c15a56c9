// A value derived from scans, kept for as long as none of them changes.
#pragma once

#include "core/scan.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvanalysis::colorimetry {

// Used for quantities of the reference curves alone (the integral of a weighting, say): they
// are recomputed only after a curve was changed, which Python can do through a live view.
// Like the reference curves themselves, a cache is shared state: callers serialise their use,
// as Python's interpreter lock does.
template <class T, std::size_t N>
class DerivedCache {
public:
    template <class Compute>
    const T& get(const std::array<const Scan*, N>& inputs, Compute&& compute) {
        std::array<std::uint64_t, N> revisions{};
        for (std::size_t i = 0; i < N; ++i) {
            revisions[i] = inputs[i]->revision();
        }
        if (!value_ || revisions != revisions_) {
            value_ = compute();
            revisions_ = revisions;
        }
        return *value_;
    }

private:
    std::optional<T> value_;
    std::array<std::uint64_t, N> revisions_{};
};

}  // namespace orvanalysis::colorimetry
