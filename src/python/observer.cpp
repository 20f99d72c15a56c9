// The Observer class on the top-level module.
#include "colorimetry/tristimulus.hpp"
#include "python/registration.hpp"
#include "python/scan_repr.hpp"

#include <pybind11/pybind11.h>

#include <string>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

void add_observer_class(py::module_& m) {
    using orvanalysis::Observer;
    using orvanalysis::Scan;
    py::class_<Observer> observer(m, "Observer",
                                  R"doc(An observer: three colour-matching functions x̄, ȳ, z̄ (wavelengths in nm).

The Observer refers to its curves, not copies of them: the Scans it was made from stay alive as
long as it does.

Attributes
----------
x, y, z : Scan
    Copies of the x̄(λ), ȳ(λ) and z̄(λ) colour-matching functions.
)doc");
    observer
        // The Observer refers to its three curves; the Python objects holding them live as long
        // as the Observer does.
        .def(py::init<const Scan&, const Scan&, const Scan&>(), "x"_a, "y"_a, "z"_a, py::keep_alive<1, 2>(),
             py::keep_alive<1, 3>(), py::keep_alive<1, 4>(),
             R"doc(Make an observer from its three colour-matching functions x̄(λ), ȳ(λ), z̄(λ) (wavelengths in nm).

Parameters
----------
x, y, z : Scan
    The colour-matching functions x̄(λ), ȳ(λ), z̄(λ) over wavelength (nm); referred to, not copied.
)doc")
        .def_property_readonly(
            "x", [](const Observer& o) { return Scan(o.x); }, "A copy of the x̄(λ) colour-matching function.")
        .def_property_readonly(
            "y", [](const Observer& o) { return Scan(o.y); }, "A copy of the ȳ(λ) colour-matching function.")
        .def_property_readonly(
            "z", [](const Observer& o) { return Scan(o.z); }, "A copy of the z̄(λ) colour-matching function.")
        .def("__repr__", [](const Observer& o) {
            return "<Observer x: " + scan_repr(o.x) + ", y: " + scan_repr(o.y) + ", z: " + scan_repr(o.z) + ">";
        });
    // Pickled through the constructor, which keeps the unpickled curves alive.
    observer.def("__reduce__", [](const py::object& self) {
        const auto& o = self.cast<const Observer&>();
        return py::make_tuple(py::type::of(self), py::make_tuple(Scan(o.x), Scan(o.y), Scan(o.z)));
    });
    refuse_uninitialised<Observer>();
}

}  // namespace orvpy
