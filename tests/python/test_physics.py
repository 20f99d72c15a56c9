"""Black-body laws, slit functions, synthetic curves and the wavelength fit, from Python."""

import importlib
import math

import pytest

import _orvpy_core as core
from _orvpy_core import Scan, curves, fitting, physics

slit_function = importlib.import_module("_orvpy_core.monochromator.slit_function")

FIELDS = ["d", "omega_t", "omega_m", "cos_K", "theta_z", "alpha", "a", "phi"]


class TestPhysics:
    def test_registration_order_and_summaries(self):
        summaries = {
            "planks_law_sr": "Calculates the spectral radiance using Planck's Law for a black body.",
            "planks_law_sr_deriv_T": "Computes the partial derivative of Planck's Law w.r.t. temperature.",
            "wiens_displacement_law_wl": "Applies Wien's displacement law to compute wavelength from temperature.",
            "stefan_boltzmann_law_surface": "Applies the Stefan-Boltzmann law to compute energy radiated from a surface.",
        }
        for name, summary in summaries.items():
            assert summary in getattr(physics, name).__doc__
            assert ":param" in getattr(physics, name).__doc__ and ":return:" in getattr(physics, name).__doc__

    def test_units_and_keywords(self):
        radiance = physics.planks_law_sr(T=5778, wl=500e-9)
        assert radiance == pytest.approx(2.6376e13, rel=1e-4)
        assert physics.planks_law_sr_nm(5778, 500) == physics.planks_law_sr(5778, 500 * 1e-9) * 1e-9
        assert physics.planks_law_sr_um(5778, 0.5) == physics.planks_law_sr(5778, 0.5 * 1e-6) * 1e-6
        assert physics.stefan_boltzmann_law_surface(T=900, A=1, epsilon=1) == physics.stefan_boltzmann_law(T=900)
        assert physics.wiens_displacement_law_T(wl=physics.wiens_displacement_law_wl(T=5778)) == pytest.approx(5778)

    def test_edges_raise_nothing(self):
        assert physics.wiens_displacement_law_T(0) == math.inf
        assert physics.planks_law_sr(300, 1e-9) == 0.0
        with pytest.raises(TypeError):
            physics.planks_law_sr("hot", 1e-6)


class TestSlitFunction:
    def test_values(self):
        assert slit_function.uniform_fibres_value(500, 2, 500) == 1.0
        assert slit_function.uniform_fibres_value(central_wavelength=500, bandwidth=2, wavelength=501) == pytest.approx(
            0.5, abs=1e-12)
        assert slit_function.uniform_fibres_value(500, 2, 503) == 0.0

    def test_scans(self):
        s = slit_function.uniform_fibres(central_wavelength=500, bandwidth=1, points=5)
        keys, values = s.to_lists()
        assert keys == pytest.approx([500 - 1.2377, 500 - 0.6189, 500, 500 + 0.6189, 500 + 1.2377], abs=1e-4)
        assert values == pytest.approx([0, 0.3910, 1, 0.3910, 0], abs=1e-4)
        assert (s.epsilon, s.interpolation) == (1e-20, core.AKIMA)

    @pytest.mark.parametrize("points", [0, 1])
    def test_too_few_points(self, points):
        with pytest.raises(ValueError, match="at least 2 points"):
            slit_function.uniform_fibres(500, 1, points)

    def test_points_must_be_a_count(self):
        with pytest.raises(TypeError):
            slit_function.uniform_fibres(500, 1, -3)
        with pytest.raises(TypeError):
            slit_function.uniform_fibres(500, 1, 2.5)


class TestCurves:
    def test_filters(self):
        up = curves.longpass_filter(center_wl=500, bandwidth=20, min_wl=400, max_wl=600, step_wl=1)
        down = curves.shortpass_filter(500, 20, 400, 600, 1)
        assert len(up.wavelengths()) == 201
        assert (up(500), up(490), up(510)) == pytest.approx((0.5, 0.05, 0.95), abs=1e-10)
        assert down.values() == [1.0 - v for v in up.values()]

    def test_lognormal(self):
        peak = curves.lognormal(peak_wl=500, fwhm=50, min_wl=300, max_wl=800, step_wl=1)
        assert peak(500) == 1.0
        assert max(peak.values()) == 1.0

    @pytest.mark.parametrize("call, message", [
        (lambda: curves.longpass_filter(5, 1, 401, 401, 0.5), "min_wl >= max_wl"),
        (lambda: curves.shortpass_filter(5, 1, 400, 401, 2), r"step_wl > \(max_wl - min_wl\)"),
        (lambda: curves.longpass_filter(5, 1, 400, 401, 0), "step_wl <= 0"),
        (lambda: curves.lognormal(0, 50, 400, 300, 1), r"peak_wl <= 0 \|\| fwhm <= 0"),
        (lambda: curves.lognormal(500, 50, 400, 300, 1), "min_wl >= max_wl"),
        (lambda: curves.longpass_filter(5, 1, 400, math.inf, 1), "min_wl, max_wl and step_wl must give a finite grid"),
    ])
    def test_errors(self, call, message):
        with pytest.raises(ValueError, match="^" + message):
            call()


class TestFitting:
    def test_records(self):
        params = fitting.FitWavelengthParams()
        free = fitting.FitWavelengthParamsFree()
        assert repr(params) == ("<FitWavelengthParams d=0.000000, omega_t=0.000000, omega_m=0.000000, "
                                "cos_K=0.000000, theta_z=0.000000, alpha=0.000000, a=0.000000, phi=0.000000>")
        assert repr(free) == ("<FitWavelengthParamsFree d=False, omega_t=False, omega_m=False, cos_K=False, "
                              "theta_z=False, alpha=False, a=False, phi=False>")
        params.phi = -1.25
        params.d = 1e-6
        free.alpha = True
        assert "d=0.000001," in repr(params) and "phi=-1.250000>" in repr(params)
        assert "alpha=True, a=False" in repr(free)
        assert fitting.FitWavelengthParams.d.__doc__ == "Grating line distance"
        assert fitting.FitWavelengthParamsFree.phi.__doc__ == "Whether turret error phase is free"
        with pytest.raises(TypeError):
            params.alpha = "one"

    def test_fit_updates_the_parameters_in_place(self):
        truth = dict(d=833.3333333333334, omega_t=2 * math.pi / 5120000, omega_m=2 * math.pi / 51200,
                     cos_K=math.cos(0.2), theta_z=0.05, alpha=1.0, a=30.0, phi=0.3)

        def wavelength(x):
            theta = (truth["omega_t"] * (x + truth["a"] * math.sin(truth["omega_m"] * x + truth["phi"]))
                     - truth["theta_z"]) / truth["alpha"]
            return 2 * truth["d"] * truth["cos_K"] * math.sin(theta)

        steps = [500.0 * i for i in range(1, 300)]
        data = Scan(steps, [wavelength(x) for x in steps])
        params = fitting.FitWavelengthParams()
        for name, value in truth.items():
            setattr(params, name, value)
        params.theta_z, params.a, params.phi = 0.0505, 31.0, 0.33
        free = fitting.FitWavelengthParamsFree()
        free.theta_z = free.a = free.phi = True
        assert fitting.fit_wavelength(data=data, params=params, free=free) is True
        assert (params.theta_z, params.a, params.phi) == pytest.approx((0.05, 30.0, 0.3), rel=1e-8)
        assert params.d == truth["d"]

    def test_nothing_to_fit(self):
        params = fitting.FitWavelengthParams()
        params.a = 2.5
        assert fitting.fit_wavelength(Scan([1, 2], [3, 4]), params, fitting.FitWavelengthParamsFree()) is False
        assert params.a == 2.5
        free = fitting.FitWavelengthParamsFree()
        free.a = True
        assert fitting.fit_wavelength(Scan(), params, free) is False
        with pytest.raises(TypeError):
            fitting.fit_wavelength([1, 2], params, free)
