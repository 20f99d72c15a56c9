"""Scanning monochromators: slit functions (the wavelength fit is in ``orvpy.fitting``)."""

from orvpy.monochromator import slit_function as slit_function  # noqa: F401
