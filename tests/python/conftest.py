"""What the Python tests share: the bundled sample file, the data file fixtures and flat lenses."""

import pathlib

import pytest

from orvpy import Scan

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture
def sample():
    """The bundled data file: three lenses in percent, 280-780 nm in 5 nm steps."""
    return ROOT / "examples" / "lens_transmittances.orv"


@pytest.fixture
def orv_fixtures():
    """The folder of data file fixtures, valid and damaged, with their manifest."""
    return ROOT / "tests" / "fixtures" / "orv"


@pytest.fixture
def damaged(orv_fixtures):
    """A data file whose container signature is wrong."""
    return orv_fixtures / "bad_signature.orv"


@pytest.fixture
def lens_file(orv_fixtures):
    """A small valid data file of two lenses."""
    return orv_fixtures / "fv4_gv4_flag2.orv"


@pytest.fixture
def flat_lens():
    """A factory of flat lenses: flat_lens(value, first=280, last=780) on a 5 nm grid."""

    def make(value=0.5, first=280.0, last=780.0):
        count = round((last - first) / 5) + 1
        return Scan([first + 5.0 * i for i in range(count)], [value] * count)

    return make
