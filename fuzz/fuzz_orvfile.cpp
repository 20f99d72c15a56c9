// libFuzzer target: any byte sequence given to the data file entry points ends in a result or
// in one of their exceptions, never in a crash, a hang or undefined behaviour.
#include "io/data_file_parser.hpp"
#include "io/json_export.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> buffer(data, data + size);
    try {
        (void)orvanalysis::io::load_orvfile_binary_data(buffer);
    } catch (const std::exception&) {
        // Refusing a malformed file is the expected outcome.
    }
    // The last byte, read as a signed number, is also the JSON indent: from -128 to 127, past the
    // largest one accepted. The containers ignore bytes after their last sector.
    const int indent = size == 0 ? -1 : static_cast<std::int8_t>(data[size - 1]);
    try {
        (void)orvanalysis::io::orvfile_to_json_binary_data(buffer, indent, (size & 1) != 0);
    } catch (const std::exception&) {
        // Refusing a malformed file or an indent above the largest is the expected outcome.
    }
    return 0;
}
