# Least-squares fit of the grating equation to micro-step/wavelength calibration data.
from typing import Any

from _orvpy_core import Scan

class FitWavelengthParams:
    d: float
    omega_t: float
    omega_m: float
    cos_K: float
    theta_z: float
    alpha: float
    a: float
    phi: float
    def __init__(self) -> None: ...
    def __getstate__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...]) -> None: ...

class FitWavelengthParamsFree:
    d: bool
    omega_t: bool
    omega_m: bool
    cos_K: bool
    theta_z: bool
    alpha: bool
    a: bool
    phi: bool
    def __init__(self) -> None: ...
    def __getstate__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...]) -> None: ...

def fit_wavelength(data: Scan, params: FitWavelengthParams, free: FitWavelengthParamsFree) -> bool: ...
def fit_details(data: Scan, params: FitWavelengthParams, free: FitWavelengthParamsFree) -> dict[str, Any]: ...
