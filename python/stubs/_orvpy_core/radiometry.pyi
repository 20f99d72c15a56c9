# Photometric quantities of spectral irradiances.
from _orvpy_core import Scan

def illuminance(spectral_irradiance: Scan) -> float: ...
