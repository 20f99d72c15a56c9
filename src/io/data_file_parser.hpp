// The parser of the "Contents" stream of an instrument data file, and the entry points that
// parse a file held in a byte buffer.
#pragma once

#include "io/compound_file_reader.hpp"
#include "io/field_cursor.hpp"
#include "io/orvfile_records.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orvanalysis::io {

// Instantiated for DataSet and XYDataSet.
template <class DataSetT>
class DataFileParser {
public:
    // Checks the container header; the bytes must outlive the parser.
    DataFileParser(const std::uint8_t* data, std::uint64_t size);

    // Fills the file record; throws on the first malformed field.
    void parse();
    const BasicOrvFile<DataSetT>& file() const& noexcept { return file_; }
    BasicOrvFile<DataSetT> file() && noexcept { return std::move(file_); }

private:
    void parse_graph();
    void parse_data_sets();
    void skip_list_block();
    void skip_extra_tables();
    void parse_information();

    CompoundFileReader reader_;
    FieldCursor fields_{nullptr, 0};  // over the "Contents" stream, once it is loaded
    BasicOrvFile<DataSetT> file_;
};

// Splits "Quantity / unit" at the first " / " (trailing white space dropped from the unit) and
// reads the two integer codes from codes; absent codes are -1.
MeasurementTypeUnits parse_type_and_units(const std::string& text, const std::string& codes);

// The file held in a byte buffer. Each throws std::runtime_error "Buffer is empty" for an empty
// buffer and the container's and the parser's errors for a malformed one. The pointer forms
// read size bytes at data, which must stay unchanged during the call.
OrvFile load_orvfile_binary_data(const std::vector<std::uint8_t>& buffer);
OrvFile load_orvfile_binary_data(const std::uint8_t* data, std::size_t size);
XYOrvFile load_xy_orvfile_binary_data(const std::uint8_t* data, std::size_t size);

// Data-set name to scan; of several data sets with one name the last in the file wins.
std::map<std::string, Scan> load_orv_scan_binary_data(const std::vector<std::uint8_t>& buffer);
std::map<std::string, Scan> load_orv_scan_binary_data(const std::uint8_t* data, std::size_t size);

}  // namespace orvanalysis::io
