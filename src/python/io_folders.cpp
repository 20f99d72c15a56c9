// The data sets of a data file as (name, Scan) pairs, read without the interpreter lock: what
// orvpy.io.load_folder calls once per file from its threads.
#include "io/file_loading.hpp"
#include "python/file_path.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <utility>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_io_folder_functions(py::module_& io) {
    io.def(
        "_load_data_sets",
        [](const FilePath& path) {
            orvanalysis::io::OrvFile file;
            {
                // Reading and parsing touch nothing shared, so threads read side by side.
                const py::gil_scoped_release unlocked;
                file = orvanalysis::io::load_orvfile(path.bytes);
            }
            py::list pairs;
            for (auto& data_set : file.data_sets) {
                pairs.append(py::make_tuple(py::str(data_set.name), py::cast(std::move(data_set.data))));
            }
            return pairs;
        },
        "file_path"_a,
        "Read the data sets of a data file as (name, Scan) pairs in file order, repeated names kept; raises as "
        "load_orvfile does.");
}

}  // namespace orvpy
