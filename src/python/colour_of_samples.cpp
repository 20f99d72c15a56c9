// colorimetry.XYZ, xy and Lab: the colour of a sample in one call, the built-in observers and
// illuminants named as CIE names them.
#include "colorimetry/sample_colour.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>

#include <string>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

namespace colorimetry = orvanalysis::colorimetry;
using orvanalysis::Observer;
using orvanalysis::Scan;

// The illuminant given by name or as a scan; nullptr for None (the sample is a light).
const Scan* illuminant_of(const py::object& illuminant) {
    if (illuminant.is_none()) {
        return nullptr;
    }
    if (py::isinstance<py::str>(illuminant)) {
        return &colorimetry::illuminant_named(illuminant.cast<std::string>());
    }
    if (py::isinstance<Scan>(illuminant)) {
        return &illuminant.cast<const Scan&>();
    }
    throw py::type_error("illuminant must be None, 'A', 'C', 'D65' or a Scan, not " +
                         py::repr(illuminant).cast<std::string>());
}

const Observer& observer_of(const py::object& observer) {
    if (py::isinstance<py::str>(observer)) {
        return colorimetry::observer_named(observer.cast<std::string>());
    }
    if (py::isinstance<Observer>(observer)) {
        return observer.cast<const Observer&>();
    }
    throw py::type_error("observer must be 'CIE 1931 2', 'CIE 1964 10' or an Observer, not " +
                         py::repr(observer).cast<std::string>());
}

// What XYZ and xy raise; Lab also refuses a light without an illuminant.
const std::string sample_errors = R"doc(
Raises
------
ValueError
    For an unknown illuminant or observer name.
RuntimeError
    When the sample holds too few points for its interpolation kind.
)doc";

const std::string sample_parameters = R"doc(
Parameters
----------
sample : Scan
    With an illuminant, a spectral transmittance or reflectance (a fraction,
    over wavelength in nm); without one, a spectral emission (radiance,
    irradiance or power per nm).
illuminant : {None, "A", "C", "D65"} or Scan
    A built-in CIE illuminant by name, or a relative spectral power
    distribution over wavelength in nm; None for an emission.
observer : {"CIE 1931 2", "CIE 1964 10"} or Observer
    The CIE 1931 2 degree or CIE 1964 10 degree standard observer (the
    built-in 5 nm tables), or an Observer of one's own.
)doc";

const std::string xyz_doc =
    R"doc(Compute the CIE tristimulus values X, Y, Z of a sample under an illuminant, or of a light.

With an illuminant S(λ), X = 100 ∫ R S x̄ dλ / ∫ S ȳ dλ, and Y and Z alike:
a perfect transmitter or reflector has Y = 100 and the illuminant's
chromaticity. Without one, X = ∫ φ x̄ dλ, unnormalised. The integrals run
over the part of 380-780 nm the sample covers and integrate the sample's own
curve exactly against the curves' product (as the lens ratings do), so the
result does not depend on how the sample was sampled.
)doc" +
    sample_parameters + R"doc(
Returns
-------
CIEXYZ
    With an illuminant, relative to Y = 100 for a perfect sample; without,
    in the sample's unit times nm.
)doc" +
    sample_errors + R"doc(
References
----------
CIE 15:2004 Colorimetry, 3rd edition, 7.1 (tristimulus values) and 7.3.
)doc";

const std::string xy_doc = R"doc(Compute the CIE chromaticity (x, y) of a sample under an illuminant, or of a light.

x = X / (X + Y + Z) and y = Y / (X + Y + Z) of XYZ with the same arguments;
a flat sample has the illuminant's own chromaticity, on any grid.
)doc" + sample_parameters + R"doc(
Returns
-------
CIExy
    The chromaticity coordinates (no unit).
)doc" + sample_errors + R"doc(
References
----------
CIE 15:2004 Colorimetry, 3rd edition, 7.3 (chromaticity coordinates).
)doc";

const std::string lab_doc = R"doc(Compute the CIE 1976 L*, a*, b* of a transmittance or reflectance under an illuminant.

The white is the illuminant itself (a perfect sample is L* = 100,
a* = b* = 0): X/Xn, Y/Yn and Z/Zn are the sample's means weighted by the
illuminant times each colour-matching function, as XYZ integrates them.
)doc" + sample_parameters + R"doc(
Returns
-------
CIELAB
    L*, a*, b*.

Raises
------
ValueError
    Without an illuminant (a light's CIELAB needs a white, which this cannot
    choose), or for an unknown illuminant or observer name.
RuntimeError
    When the sample holds too few points for its interpolation kind.

References
----------
CIE 15:2004 Colorimetry, 3rd edition, 8.2.1 (CIE 1976 L*a*b* colour space).
)doc";

}  // namespace

void add_sample_colour(py::module_& m) {
    m.def(
        "XYZ",
        [](const Scan& sample, const py::object& illuminant, const py::object& observer) {
            return colorimetry::sample_XYZ(sample, illuminant_of(illuminant), observer_of(observer));
        },
        "sample"_a, "illuminant"_a = py::none(), "observer"_a = "CIE 1931 2", xyz_doc.c_str());
    m.def(
        "xy",
        [](const Scan& sample, const py::object& illuminant, const py::object& observer) {
            return colorimetry::sample_xy(sample, illuminant_of(illuminant), observer_of(observer));
        },
        "sample"_a, "illuminant"_a = py::none(), "observer"_a = "CIE 1931 2", xy_doc.c_str());
    m.def(
        "Lab",
        [](const Scan& sample, const py::object& illuminant, const py::object& observer) {
            const Scan* white = illuminant_of(illuminant);
            if (white == nullptr) {
                throw py::value_error(
                    "Lab needs an illuminant: CIELAB compares a transmittance or reflectance with the illuminant's "
                    "white (pass illuminant='D65', say)");
            }
            return colorimetry::sample_Lab(sample, *white, observer_of(observer));
        },
        "sample"_a, "illuminant"_a = py::none(), "observer"_a = "CIE 1931 2", lab_doc.c_str());
}

}  // namespace orvpy
