// The extension module: its initialiser and the body that registers every area in order.
#include "python/registration.hpp"

PYBIND11_MODULE(_orvpy_core, m) {
    m.doc() = "Orvane Instruments spectral analysis package.";
    m.attr("__version__") = ORVPY_VERSION;
    orvpy::add_scan_class(m);
    orvpy::add_scan_methods(m);
    orvpy::add_observer_class(m);
    pybind11::module_ chromaticity = m.def_submodule("chromaticity");
    orvpy::add_chromaticity_module(chromaticity);
    pybind11::module_ colorimetry = m.def_submodule("colorimetry");
    orvpy::add_colorimetry_module(colorimetry);
    orvpy::add_sample_colour(colorimetry);
    orvpy::add_lens_totals(colorimetry);
    pybind11::module_ data = colorimetry.def_submodule("data");
    orvpy::add_reference_spectra(data);
    pybind11::module_ curves = m.def_submodule("curves");
    orvpy::add_curves_module(curves);
    pybind11::module_ io = m.def_submodule("io");
    orvpy::add_io_module(io);
    orvpy::add_io_folder_functions(io);
    pybind11::module_ physics = m.def_submodule("physics");
    orvpy::add_physics_module(physics);
    pybind11::module_ monochromator = m.def_submodule("monochromator");
    pybind11::module_ slit_function = monochromator.def_submodule("slit_function");
    orvpy::add_slit_function_module(slit_function);
    pybind11::module_ radiometry = m.def_submodule("radiometry");
    orvpy::add_radiometry_module(radiometry);
    pybind11::module_ utils = m.def_submodule("utils");
    orvpy::add_utils_module(utils);
    pybind11::module_ fitting = m.def_submodule("fitting");
    orvpy::add_fitting_module(fitting);
    orvpy::add_method_signatures(m);
    orvpy::install_scan_call_slot(m);
    orvpy::refuse_reinitialisation(m);
}
