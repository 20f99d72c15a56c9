// Floors the benchmarks measure the library against: the cheapest registered function, number
// formatting alone, one pass over as much data as a weighted mean reads, and a count of where
// the JSON export's digits differ from the JSON library's own.
#include "io/json_export.hpp"

#include <pybind11/pybind11.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

namespace py = pybind11;

namespace {

// Every double of a float64 buffer through std::to_chars (shortest round trip) into one reused
// buffer, as the JSON export formats them; the characters written.
std::size_t to_chars_all(const py::buffer& values) {
    const py::buffer_info info = values.request();
    if (info.format != py::format_descriptor<double>::format() || info.ndim != 1) {
        throw py::type_error("a one-dimensional float64 buffer is needed");
    }
    const auto* v = static_cast<const double*>(info.ptr);
    const py::gil_scoped_release unlocked;
    char text[32];
    std::size_t written = 0;
    for (py::ssize_t i = 0; i < info.shape[0]; ++i) {
        written += static_cast<std::size_t>(std::to_chars(text, text + sizeof text, v[i]).ptr - text);
    }
    return written;
}

// Over count random doubles (every finite bit pattern alike, or uniform in [0, 1)): how many the
// export writes differently from nlohmann::json's Grisu2, split into those where the JSON
// library's digits are longer (not the shortest) and those of the same length (both shortest,
// the library's not the closest), and how many of the export's do not read back to the same
// bits (strtod).
py::dict json_digit_differences(std::uint64_t count, std::uint64_t seed, bool uniform) {
    std::uint64_t longer = 0;
    std::uint64_t same_length = 0;
    std::uint64_t shorter = 0;
    std::uint64_t not_round_trip = 0;
    {
        const py::gil_scoped_release unlocked;
        std::mt19937_64 bits(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (std::uint64_t i = 0; i < count;) {
            double v = 0;
            if (uniform) {
                v = unit(bits);
            } else {
                const std::uint64_t pattern = bits();
                std::memcpy(&v, &pattern, sizeof v);
                if (!std::isfinite(v)) {
                    continue;
                }
            }
            ++i;
            char ours[64];
            char theirs[64];
            char* ours_end = orvanalysis::io::write_json_number(ours, v);
            char* theirs_end = nlohmann::detail::to_chars(theirs, theirs + sizeof theirs, v);
            *ours_end = '\0';
            const double back = std::strtod(ours, nullptr);
            std::uint64_t back_bits = 0;
            std::uint64_t bits_of_v = 0;
            std::memcpy(&back_bits, &back, sizeof back);
            std::memcpy(&bits_of_v, &v, sizeof v);
            not_round_trip += back_bits != bits_of_v ? 1 : 0;
            const std::ptrdiff_t a = ours_end - ours;
            const std::ptrdiff_t b = theirs_end - theirs;
            if (a != b || std::memcmp(ours, theirs, static_cast<std::size_t>(a)) != 0) {
                (b > a ? longer : b == a ? same_length : shorter) += 1;
            }
        }
    }
    py::dict result;
    result["longer"] = longer;
    result["same_length"] = same_length;
    result["shorter"] = shorter;
    result["not_round_trip"] = not_round_trip;
    return result;
}

// The sum of the products of a float64 buffer's first half with its second: one pass over as
// many doubles as a weighted mean of a lens reads, for a buffer of eight per interval of its
// band (a cubic's four coefficients, and the quadrature's four moments).
double dot_halves(const py::buffer& values) {
    const py::buffer_info info = values.request();
    if (info.format != py::format_descriptor<double>::format() || info.ndim != 1) {
        throw py::type_error("a one-dimensional float64 buffer is needed");
    }
    const auto* v = static_cast<const double*>(info.ptr);
    const auto half = static_cast<std::size_t>(info.shape[0] / 2);
    // Eight sums taking the products in turn, so that additions overlap rather than wait on each
    // other: the pass is then as fast as the loads.
    double sums[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= half; i += 8) {
        for (std::size_t k = 0; k < 8; ++k) {
            sums[k] += v[i + k] * v[half + i + k];
        }
    }
    for (; i < half; ++i) {
        sums[0] += v[i] * v[half + i];
    }
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

}  // namespace

PYBIND11_MODULE(_orvpy_bench, m) {
    m.def(
        "identity", [](double wavelength) { return wavelength; }, py::arg("wavelength"));
    m.def("to_chars_all", &to_chars_all, py::arg("values"));
    m.def("dot_halves", &dot_halves, py::arg("values"));
    m.def("json_digit_differences", &json_digit_differences, py::arg("count"), py::arg("seed"), py::arg("uniform"));
}
