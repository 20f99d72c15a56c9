// Submodule fitting: the grating-equation wavelength fit.
#include "monochromator/wavelength_fit.hpp"
#include "python/records.hpp"
#include "python/registration.hpp"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <exception>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace orvpy {

namespace {

using orvanalysis::monochromator::FitWavelengthParams;
using orvanalysis::monochromator::FitWavelengthParamsFree;

// "<Name field=value, ...>", numbers as "%f" writes them in the C locale, flags as True or False.
template <class Record>
std::string record_repr(const char* name, const Record& record) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.precision(6);
    os << '<' << name;
    const char* separator = " ";
    orvanalysis::for_each_field<Record>([&](const auto& f) {
        os << separator << f.name << '=';
        if constexpr (std::is_same_v<typename std::decay_t<decltype(f)>::member_type, bool>) {
            os << (record.*(f.member) ? "True" : "False");
        } else {
            os << record.*(f.member);
        }
        separator = ", ";
    });
    os << '>';
    return os.str();
}

}  // namespace

void add_fitting_module(py::module_& fitting) {
    py::class_<FitWavelengthParams> params(
        fitting, "FitWavelengthParams",
        record_doc<FitWavelengthParams>(
            "The parameters of the wavelength fitting function, the grating equation.\n\n"
            "The equation gives the wavelength at the micro-step x:\n\n"
            "    λ(x) = 2 d cos_K sin((omega_t (x + a sin(omega_m x + phi)) - theta_z) / alpha)")
            .c_str());
    params.def(py::init<>(), "Make a record with every parameter 0.");
    def_fields(params, true);
    params.def("__repr__", [](const FitWavelengthParams& p) { return record_repr("FitWavelengthParams", p); });

    py::class_<FitWavelengthParamsFree> free(
        fitting, "FitWavelengthParamsFree",
        record_doc<FitWavelengthParamsFree>(
            "Flags indicating which parameters of FitWavelengthParams are available for fitting (True: free).")
            .c_str());
    free.def(py::init<>(), "Make a record with no parameter free.");
    def_fields(free, true);
    free.def("__repr__", [](const FitWavelengthParamsFree& f) { return record_repr("FitWavelengthParamsFree", f); });
    refuse_uninitialised<FitWavelengthParams>();
    refuse_uninitialised<FitWavelengthParamsFree>();

    fitting.def(
        "fit_wavelength",
        [](const orvanalysis::Scan& data, FitWavelengthParams& params, const FitWavelengthParamsFree& free) {
            FitWavelengthParams fitted = params;
            try {
                const bool result = orvanalysis::monochromator::fit_wavelength(data, fitted, free);
                params = fitted;
                return result;
            } catch (const std::exception& e) {
                throw py::value_error(e.what());
            }
        },
        "data"_a, "params"_a, "free"_a,
        R"doc(Fit the grating equation to micro-step/wavelength data.

The data are a Scan whose keys are motor positions in micro-steps and whose values are the
wavelengths measured there. The parameters are initial values, and those marked free are adjusted
by the fit (Levenberg-Marquardt); params is updated in place. d, omega_t and omega_m have no
derivative in the model and keep their starting values.

Parameters
----------
data : Scan
    Micro-step -> wavelength.
params : FitWavelengthParams
    The starting values, updated with the result.
free : FitWavelengthParamsFree
    The parameters the fit may change.

Returns
-------
bool
    True if the fit converged, False otherwise: no free parameter, fewer data points than free
    parameters, data or starting values that are not finite, or a solver that stopped on an
    error or ran out of iterations; params is then unchanged.

Raises
------
ValueError
    When the fit raises an error, or when every free parameter is one the model has no
    derivative for (d, omega_t, omega_m), so that nothing could be fitted; params is then
    unchanged.
)doc");

    fitting.def(
        "fit_details",
        [](const orvanalysis::Scan& data, const FitWavelengthParams& params, const FitWavelengthParamsFree& free) {
            orvanalysis::monochromator::WavelengthFit outcome;
            try {
                outcome = orvanalysis::monochromator::fit_wavelength_result(data, params, free);
            } catch (const std::exception& e) {
                throw py::value_error(e.what());
            }
            const std::size_t p = outcome.free.size();
            py::list names;
            for (const std::uint32_t i : outcome.free) {
                names.append(orvanalysis::monochromator::parameter_name(i));
            }
            py::list covariance;
            for (std::size_t i = 0; i < p && outcome.covariance.size() == p * p; ++i) {
                covariance.append(py::tuple(py::cast(
                    std::vector<double>(outcome.covariance.begin() + static_cast<std::ptrdiff_t>(i * p),
                                        outcome.covariance.begin() + static_cast<std::ptrdiff_t>((i + 1) * p)))));
            }
            py::dict result;
            result["params"] = outcome.params;
            result["free"] = py::tuple(names);
            result["success"] = outcome.success;
            result["reason"] = outcome.reason;
            result["iterations"] = outcome.iterations;
            result["rms"] = outcome.rms;
            result["max_residual"] = outcome.max_residual;
            result["residuals"] = py::tuple(py::cast(outcome.residuals));
            result["covariance"] = py::tuple(covariance);
            return result;
        },
        "data"_a, "params"_a, "free"_a,
        R"doc(Fit as fit_wavelength does, leaving params as they are, and tell how it went.

orvpy.fitting.fit returns the same as a WavelengthFit.

Parameters
----------
data : Scan
    Micro-step -> wavelength.
params : FitWavelengthParams
    The starting values, left as they are.
free : FitWavelengthParamsFree
    The parameters the fit may change.

Returns
-------
dict
    params (the fitted FitWavelengthParams, or the start where the fit failed), free (the names
    of the free parameters), success, reason (why the solver stopped), iterations, rms and
    max_residual (of the residuals, in the data's unit), residuals (model minus data at each
    point, in key order) and covariance (of the free parameters, in the order of free; empty
    unless the fit succeeded).

Raises
------
ValueError
    As fit_wavelength raises it.
)doc");
}

}  // namespace orvpy
