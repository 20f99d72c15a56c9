// libFuzzer target: any text given to the CSV reader ends in a scan or in one of its exceptions,
// never in a crash, a hang or undefined behaviour.
#include "io/csv.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        (void)orvanalysis::io::read_csv(in, "fuzz.csv");
    } catch (const std::exception&) {
        // Refusing a malformed line is the expected outcome.
    }
    return 0;
}
