"""Least-squares fit of the grating equation to micro-step/wavelength calibration data.

The functions of ``_orvpy_core.fitting``, with inspectable signatures, and ``fit``, which returns
the fitted parameters together with what a calibration is judged by: its residuals.
"""

from __future__ import annotations

from dataclasses import dataclass

from _orvpy_core import Scan

# The compiled functions become this module's own (export_functions wraps them).
from _orvpy_core.fitting import *  # noqa: F401, F403
from _orvpy_core.fitting import FitWavelengthParams, FitWavelengthParamsFree
from _orvpy_core.fitting import fit_details as _fit_details

from orvpy._signatures import export_functions as _export_functions

_export_functions(globals())


@dataclass(frozen=True)
class WavelengthFit:
    """A grating-equation fit and how it went.

    Attributes
    ----------
    params : FitWavelengthParams
        The fitted parameters (a copy of the start where the fit failed).
    free : tuple of str
        The names of the free parameters, in the order of ``covariance``.
    success : bool
        Whether the solver converged to finite parameters.
    reason : str
        Why the solver stopped (or why the fit could not be set up).
    iterations : int
        The solver's iterations.
    rms, max_residual : float
        Root mean square and largest magnitude of the residuals, in the data's unit of length.
    residuals : tuple of float
        Model minus measured wavelength at each calibration point, in micro-step order.
    covariance : tuple of tuple of float
        Covariance of the free parameters, s² (JᵀJ)⁻¹ with s² = Σ r² / (n - p), as
        ``scipy.optimize.curve_fit`` estimates it; empty unless the fit succeeded. A parameter
        the model has no derivative for (d, omega_t, omega_m) has zero rows.
    """

    params: FitWavelengthParams
    free: tuple[str, ...]
    success: bool
    reason: str
    iterations: int
    rms: float
    max_residual: float
    residuals: tuple[float, ...]
    covariance: tuple[tuple[float, ...], ...]


def fit(data: Scan, params: FitWavelengthParams, free: FitWavelengthParamsFree) -> WavelengthFit:
    """Fit the grating equation to calibration data and report how well it fits.

    The fit of ``fit_wavelength`` (Levenberg-Marquardt over the free parameters); ``params`` is
    left as it is.

    Parameters
    ----------
    data : Scan
        Micro-step position -> measured wavelength (any unit of length, ``params.d`` in the same).
    params : FitWavelengthParams
        The starting values.
    free : FitWavelengthParamsFree
        The parameters the fit may change.

    Returns
    -------
    WavelengthFit

    Raises
    ------
    ValueError
        When every free parameter is one the model has no derivative for (d, omega_t, omega_m),
        or when the model raises during the fit.
    """
    details = _fit_details(data, params, free)
    return WavelengthFit(**details)
