// Submodule fitting: the grating-equation wavelength fit.
#include "monochromator/wavelength_fit.hpp"
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

template <class Record, class Value>
struct Field {
    const char* name;
    Value Record::*member;
    const char* doc;
};

const Field<FitWavelengthParams, double> parameter_fields[] = {
    {"d", &FitWavelengthParams::d, "Grating line distance"},
    {"omega_t", &FitWavelengthParams::omega_t, "Angular frequency of the turret"},
    {"omega_m", &FitWavelengthParams::omega_m, "Angular frequency of the motor"},
    {"cos_K", &FitWavelengthParams::cos_K, "Cosine of the displacement angle"},
    {"theta_z", &FitWavelengthParams::theta_z, "Zero order angle"},
    {"alpha", &FitWavelengthParams::alpha, "Alpha fit factor"},
    {"a", &FitWavelengthParams::a, "Turret error amplitude"},
    {"phi", &FitWavelengthParams::phi, "Turret error phase"},
};

const Field<FitWavelengthParamsFree, bool> free_fields[] = {
    {"d", &FitWavelengthParamsFree::d, "Whether grating line distance is free to be fitted"},
    {"omega_t", &FitWavelengthParamsFree::omega_t, "Whether angular frequency of the turret is free"},
    {"omega_m", &FitWavelengthParamsFree::omega_m, "Whether angular frequency of the motor is free"},
    {"cos_K", &FitWavelengthParamsFree::cos_K, "Whether cosine of the displacement angle is free"},
    {"theta_z", &FitWavelengthParamsFree::theta_z, "Whether zero order angle is free"},
    {"alpha", &FitWavelengthParamsFree::alpha, "Whether alpha fit factor is free"},
    {"a", &FitWavelengthParamsFree::a, "Whether turret error amplitude is free"},
    {"phi", &FitWavelengthParamsFree::phi, "Whether turret error phase is free"},
};

template <class Record>
const auto& fields_of() {
    if constexpr (std::is_same_v<Record, FitWavelengthParams>) {
        return parameter_fields;
    } else {
        return free_fields;
    }
}

// "<Name field=value, ...>", numbers as "%f" writes them in the C locale.
template <class Record, class Value, std::size_t N>
std::string record_repr(const char* name, const Record& record, const Field<Record, Value> (&fields)[N]) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.precision(6);
    os << '<' << name;
    const char* separator = " ";
    for (const auto& field : fields) {
        os << separator << field.name << '=';
        if constexpr (std::is_same_v<Value, bool>) {
            os << (record.*(field.member) ? "True" : "False");
        } else {
            os << record.*(field.member);
        }
        separator = ", ";
    }
    os << '>';
    return os.str();
}

template <class Record, class Value, std::size_t N>
py::tuple record_state(const Record& record) {
    py::tuple state(N);
    for (std::size_t i = 0; i < N; ++i) {
        state[i] = py::cast(record.*(fields_of<Record>()[i].member));
    }
    return state;
}

template <class Record, class Value, std::size_t N>
Record record_from_state(const py::tuple& state) {
    Record record;
    for (std::size_t i = 0; i < N; ++i) {
        record.*(fields_of<Record>()[i].member) = state[i].cast<Value>();
    }
    return record;
}

}  // namespace

void add_fitting_module(py::module_& fitting) {
    py::class_<FitWavelengthParams> params(
        fitting, "FitWavelengthParams",
        "Holds the parameters of the wavelength fitting function, the grating equation "
        "λ(x) = 2 d cos_K sin((omega_t (x + a sin(omega_m x + phi)) - theta_z) / alpha) of the micro-step x:\n\n"
        "d (float): grating line distance, in the unit of the wavelengths (m or nm: the fit is the same)\n"
        "omega_t (float): angular frequency of the turret\n"
        "omega_m (float): angular frequency of the motor\n"
        "cos_K (float): cosine of the displacement angle\n"
        "theta_z (float): zero order angle\n"
        "alpha (float): alpha fit factor\n"
        "a (float): turret error amplitude\n"
        "phi (float): turret error phase");
    params.def(py::init<>());
    for (const auto& field : parameter_fields) {
        params.def_readwrite(field.name, field.member, field.doc);
    }
    params.def("__repr__",
               [](const FitWavelengthParams& p) { return record_repr("FitWavelengthParams", p, parameter_fields); });

    py::class_<FitWavelengthParamsFree> free(
        fitting, "FitWavelengthParamsFree",
        "Holds flags indicating which parameters of FitWavelengthParams are available for fitting (True: free).");
    free.def(py::init<>());
    for (const auto& field : free_fields) {
        free.def_readwrite(field.name, field.member, field.doc);
    }
    free.def("__repr__",
             [](const FitWavelengthParamsFree& f) { return record_repr("FitWavelengthParamsFree", f, free_fields); });
    pickle_by_state<8>(params, record_state<FitWavelengthParams, double, 8>,
                       record_from_state<FitWavelengthParams, double, 8>);
    pickle_by_state<8>(free, record_state<FitWavelengthParamsFree, bool, 8>,
                       record_from_state<FitWavelengthParamsFree, bool, 8>);
    refuse_uninitialised<FitWavelengthParams>();
    refuse_uninitialised<FitWavelengthParamsFree>();

    fitting.def(
        "fit_wavelength",
        [](const orvanalysis::Scan& data, FitWavelengthParams& params, const FitWavelengthParamsFree& free) {
            FitWavelengthParams fitted = params;
            try {
                const bool result = orvanalysis::fit_wavelength(data, fitted, free);
                params = fitted;
                return result;
            } catch (const std::exception& e) {
                throw py::value_error(e.what());
            }
        },
        "data"_a, "params"_a, "free"_a,
        "Fits the grating equation to micro-step/wavelength data: a Scan whose keys are motor positions in "
        "micro-steps and whose values are the wavelengths measured there. The parameters are initial values, and "
        "those marked free are adjusted by the fit (Levenberg-Marquardt); params is updated in place. d, omega_t and "
        "omega_m have no derivative in the model and keep their starting values.\n\n"
        ":param data: Scan of micro-step -> wavelength\n"
        ":param params: FitWavelengthParams, the starting values, updated with the result\n"
        ":param free: FitWavelengthParamsFree, the parameters the fit may change\n"
        ":return: True if the fit converged, False otherwise: no free parameter, fewer data points than free "
        "parameters, data or starting values that are not finite, or a solver that stopped on an error or ran out "
        "of iterations; params is then unchanged\n"
        ":raises ValueError: when the fit raises an error, or when every free parameter is one the model has no "
        "derivative for (d, omega_t, omega_m), so that nothing could be fitted; params is then unchanged");

    fitting.def(
        "fit_details",
        [](const orvanalysis::Scan& data, const FitWavelengthParams& params, const FitWavelengthParamsFree& free) {
            orvanalysis::WavelengthFit outcome;
            try {
                outcome = orvanalysis::fit_wavelength_result(data, params, free);
            } catch (const std::exception& e) {
                throw py::value_error(e.what());
            }
            const std::size_t p = outcome.free.size();
            py::list names;
            for (const std::uint32_t i : outcome.free) {
                names.append(parameter_fields[i].name);
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
        "The wavelength fit of fit_wavelength, leaving params as they are, and how it went, as a dict: params (the "
        "fitted FitWavelengthParams, or the start where the fit failed), free (the names of the free parameters), "
        "success, reason (why the solver stopped), iterations, rms and max_residual (of the residuals, in the "
        "data's unit), residuals (model minus data at each point, in key order) and covariance (of the free "
        "parameters, in the order of free; empty unless the fit succeeded). orvpy.fitting.fit returns it as a "
        "WavelengthFit.");
}

}  // namespace orvpy
