// Registration functions, one per area of the Python surface, called by the module body.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace orvpy {

// A docstring laid out as help() shows it best: each line longer than 96 bytes broken at spaces
// into lines of at most that, each keeping the line's indentation.
inline std::string wrapped(const std::string& doc) {
    constexpr std::size_t width = 96;
    std::string out;
    std::size_t start = 0;
    while (start <= doc.size()) {
        std::size_t end = doc.find('\n', start);
        if (end == std::string::npos) {
            end = doc.size();
        }
        std::string line = doc.substr(start, end - start);
        const std::string indent =
            line.substr(0, line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' '));
        while (line.size() > width) {
            const std::size_t cut = line.rfind(' ', width);
            if (cut == std::string::npos || cut <= indent.size()) {
                break;
            }
            out.append(line, 0, cut);
            out += '\n';
            std::string rest = line.substr(cut + 1);
            line = indent;
            line += rest;
        }
        out += line;
        if (end < doc.size()) {
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

// Makes any use of a T made by __new__ without __init__ raise TypeError. Such an instance holds
// no value, and pybind11 would hand its methods freshly allocated, uninitialised memory (through
// this very hook, which it calls for the missing value).
template <class T>
void refuse_uninitialised() {
    pybind11::detail::get_type_info(typeid(T))->operator_new = [](std::size_t) -> void* {
        const std::string name = pybind11::detail::get_type_info(typeid(T))->type->tp_name;
        throw pybind11::type_error(name + " object is not initialised: it was made by __new__ without __init__");
    };
}

// Pickling, copy and deepcopy of a T for every pickle protocol: __reduce__ gives
// copyreg.__newobj__(cls) and get(value), a tuple of picklable Python values, which __setstate__
// turns back into the value in place with set(state). (The default reduction of protocols 0 and
// 1 cannot make an uninitialised instance of a pybind11 class.) A state that is not a tuple of
// Size items raises RuntimeError "Invalid state" before set sees it.
template <std::size_t Size, class T, class Get, class Set>
void pickle_by_state(pybind11::class_<T>& cls, Get get, Set set) {
    cls.def(pybind11::pickle([get](const T& value) { return get(value); },
                             [set](const pybind11::tuple& state) {
                                 if (state.size() != Size) {
                                     throw std::runtime_error("Invalid state");
                                 }
                                 return set(state);
                             }));
    cls.def("__reduce__", [get](const pybind11::object& self) {
        return pybind11::make_tuple(pybind11::module_::import("copyreg").attr("__newobj__"),
                                    pybind11::make_tuple(pybind11::type::of(self)), get(self.cast<const T&>()));
    });
}

// Gives every method of every class of the module (submodules included) a signature that
// inspect.signature reads.
void add_method_signatures(pybind11::module_& m);

// Makes __init__ and __setstate__ of every class of the module (submodules included) raise
// TypeError on an instance that already holds a value, where pybind11 would ignore the call.
void refuse_reinitialisation(pybind11::module_& m);

// The Interpolation enumeration (with its members exported to m), then the Scan class.
void add_scan_class(pybind11::module_& m);

// The Scan's grid, extrapolation, normalisation, slicing and pandas methods, after its class.
void add_scan_methods(pybind11::module_& m);

// Answers s(w) for one float before pybind11's dispatch. Last of all: setting any attribute of
// the class named __call__ makes CPython put its own call slot back.
void install_scan_call_slot(pybind11::module_& m);

// The Observer class.
void add_observer_class(pybind11::module_& m);

// The CIExy record and the chromaticity functions.
void add_chromaticity_module(pybind11::module_& chromaticity);

// The colour records, tristimulus values and the lens transmittance standards.
void add_colorimetry_module(pybind11::module_& colorimetry);

// XYZ, xy and Lab of a sample with the built-in observers and illuminants by name.
void add_sample_colour(pybind11::module_& colorimetry);

// The totals and readings of every mean of a lens rating, for rating many lenses.
void add_lens_totals(pybind11::module_& colorimetry);

// The reference spectra, as live views of the process-wide curves.
void add_reference_spectra(pybind11::module_& data);

// The data file record classes, then the loading and export functions.
void add_io_module(pybind11::module_& io);

// The data sets of a file as (name, Scan) pairs, for reading folders on threads.
void add_io_folder_functions(pybind11::module_& io);

// Synthetic filter and lognormal curves.
void add_curves_module(pybind11::module_& curves);

// Black-body radiation laws.
void add_physics_module(pybind11::module_& physics);

// Fibre slit functions.
void add_slit_function_module(pybind11::module_& slit_function);

// Illuminance.
void add_radiometry_module(pybind11::module_& radiometry);

// Searches, stitching and element-wise functions.
void add_utils_module(pybind11::module_& utils);

// The grating-equation wavelength fit.
void add_fitting_module(pybind11::module_& fitting);

}  // namespace orvpy
