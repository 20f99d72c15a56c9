# Scanning monochromators: slit functions.
from . import slit_function as slit_function
