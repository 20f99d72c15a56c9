// The files of a folder read on the core's threads: what orvpy.io.load_folder calls once.
#include "io/file_loading.hpp"
#include "python/file_path.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

// The Python exception a call that threw error would raise: the exception is thrown again inside
// a function called from Python, so that the module's own translations apply.
py::object as_python_exception(const std::exception_ptr& error) {
    const py::cpp_function raise([error] { std::rethrow_exception(error); });
    try {
        raise();
    } catch (py::error_already_set& raised) {
        return raised.value();
    }
    return py::none();  // not reached: raise always throws
}

}  // namespace

void add_io_folder_functions(py::module_& io) {
    // pybind11 takes a translator by value.
    py::register_exception_translator([](std::exception_ptr error) {  // NOLINT(performance-unnecessary-value-param)
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const orvanalysis::io::NotARegularFile& refused) {
            PyErr_SetString(PyExc_OSError, refused.what());
        }
    });
    io.def(
        "_load_files",
        [](const std::vector<FilePath>& paths, unsigned threads, const py::object& wrap) {
            std::vector<std::string> bytes;
            bytes.reserve(paths.size());
            for (const FilePath& path : paths) {
                bytes.push_back(path.bytes);
            }
            // The core's threads read ahead while this one makes Python objects of what they read.
            orvanalysis::io::FileLoader loader(std::move(bytes), threads);
            py::list loaded;
            for (std::size_t i = 0; i < loader.size(); ++i) {
                orvanalysis::io::LoadedOrvFile file;
                if (loader.ready(i)) {
                    file = loader.take(i);
                } else {
                    const py::gil_scoped_release unlocked;
                    file = loader.take(i);
                }
                py::object result;
                if (file.error) {
                    result = as_python_exception(file.error);
                } else {
                    py::list pairs;
                    for (auto& data_set : file.file.data_sets) {
                        pairs.append(py::make_tuple(py::str(data_set.name), py::cast(std::move(data_set.data))));
                    }
                    result = std::move(pairs);
                }
                // Called here, so that what the caller makes of each file overlaps the reading too.
                loaded.append(wrap.is_none() ? result : wrap(i, result));
                // Ctrl-C stops the reading: the loader's threads finish the file they read.
                if (PyErr_CheckSignals() != 0) {
                    throw py::error_already_set();
                }
            }
            return loaded;
        },
        "file_paths"_a, "threads"_a, "wrap"_a = py::none(),
        "Read data files on up to threads threads: for each, in order, its data sets as (name, Scan) pairs in file "
        "order, repeated names kept, or the exception load_orvfile raises for it (OSError, unopened, for a path "
        "that is not a regular file); with wrap, wrap(index, that) instead, called on the calling thread as each "
        "file is taken.");
}

}  // namespace orvpy
