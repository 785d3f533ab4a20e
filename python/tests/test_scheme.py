"""The scheme choice through the Python calls: the accurate scheme's ledger closes, it is the
batch runner's, and a study on it is a study of its own."""

import json
import math

import pytest

import kestrium


def test_accurate_run_closes_its_ledger_and_matches_the_batch_runner(tmp_path, batch, defaults):
    published = kestrium.run(defaults, profiles=False)
    accurate = kestrium.run(defaults, profiles=False, scheme="accurate")
    for r in (published, accurate):
        assert r.energy["light_in"] == pytest.approx(43, rel=0.01)
    assert abs(accurate.energy["residual"]) < 1e-6 * accurate.energy["light_in"]
    assert published.energy["residual"] > 0.02 * published.energy["light_in"]

    defaults.write(tmp_path / "run.par")
    done = batch(tmp_path, "run.par", "--scheme", "accurate", "--json")
    assert done.returncode == 0, done.stderr
    summary = json.loads(done.stdout)
    assert summary["kinetics_line"] == accurate.kinetics_line
    assert summary["energy"]["energy_residual_mJ_per_cm2"] == pytest.approx(
        accurate.energy["residual"], abs=1e-12)

    with pytest.raises(ValueError, match='scheme is "fast"'):
        kestrium.run(defaults, scheme="fast")
    with pytest.raises(ValueError, match="only with the accurate scheme"):
        kestrium.run(defaults, grid_refinement=2)


def test_a_study_on_the_accurate_scheme_has_a_hash_of_its_own(defaults):
    vary = {"fluence": [40, 80]}
    published = kestrium.study(defaults, vary, jobs=1)
    assert kestrium.study(defaults, vary, jobs=1, scheme="published").hash == published.hash
    accurate = kestrium.study(defaults, vary, jobs=1, scheme="accurate")
    assert accurate.hash != published.hash
    assert list(accurate["total_depth_nm"]) == list(
        kestrium.sweep(defaults, [40, 80], jobs=1, scheme="accurate")["total_depth_nm"])


def test_study_energy_columns_are_the_batch_tables_and_messages_name_python_arguments(
        tmp_path, batch, defaults):
    vary = {"fluence": [40, 80]}
    plain = kestrium.study(defaults, vary, jobs=1)
    ledger = kestrium.study(defaults, vary, jobs=2, energy=True)
    assert ledger.hash != plain.hash
    assert "energy_" not in plain.table_text
    for name in ("total_depth_nm", "peak_surface_temperature_K"):
        assert list(ledger[name]) == list(plain[name])
    # Light in = stored + carried off + residual, row by row.
    light = ledger["energy_light_in_mJ_per_cm2"]
    before = ("energy_light", "energy_reflected", "energy_screened")
    parts = [n for n in ledger if n.startswith("energy_") and not n.startswith(before)]
    assert len(parts) == 7 and all(light > 1)
    assert sum(ledger[n] for n in parts) == pytest.approx(light, rel=1e-8)
    # Reflected, screened and entering light make the incident fluence.
    incident = light + ledger["energy_reflected_mJ_per_cm2"] + ledger["energy_screened_mJ_per_cm2"]
    assert list(incident) == pytest.approx([40, 80], rel=2e-2)

    defaults.write(tmp_path / "run.par")
    done = batch(tmp_path, "study", "run.par", "--vary", "fluence=40,80", "--energy", "--out",
                 "energy", "--jobs", "1")
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "energy" / "study.csv").read_text() == ledger.table_text

    # The published scheme diverges at step 1 on an absorption of 1e7 /cm; the message names
    # the call's arguments, not the batch runner's options.
    with pytest.warns(RuntimeWarning):
        diverged = kestrium.run(defaults.copy(absorption_coefficient=1e7), profiles=False)
    assert 'exactly (scheme="accurate")' in diverged.message, diverged.message
    assert "--" not in diverged.message and "kestrium-batch" not in diverged.message


def test_tolerance_gives_every_result_its_error(defaults):
    r = kestrium.run(defaults, profiles=False, tolerance=1e-2)
    assert 0 < r.total_depth_error_nm <= 1e-2 * r.total_depth_nm
    assert 0 < r.peak_surface_temperature_error_K <= 1e-2 * r.peak_surface_temperature_K
    assert r.tolerance_note == "" and r.split_steps == 0
    # The heat reaches the bottom of the model's grid on the defaults: the run doubles its depth.
    assert r.grid_depth_factor == 2.0
    assert 0 < r.grid_depth_nm < float("inf")
    plain = kestrium.run(defaults, profiles=False)
    for name in ("total_depth_error_nm", "grid_depth_nm", "grid_depth_factor"):
        assert math.isnan(getattr(plain, name)), name
    with pytest.raises(ValueError, match="tolerance"):
        kestrium.run(defaults, scheme="published", tolerance=1e-3)


@pytest.mark.slow  # a few hundred runs: the figures of the energy ledger's bounds in the docs
def test_no_plausible_run_is_refused_by_its_energy_ledger():
    import math
    import random
    import warnings
    rng = random.Random(11)
    defaults = kestrium.Parameters()
    scaled = ["pulse_width", "absorption_coefficient", "activation_energy_em",
              "activation_energy_ea", "pre_exponential_vo", "pre_exponential_vom",
              "screening_coefficient", "sublimation_enthalpy_dh", "sublimation_enthalpy_dhm",
              "specific_heat", "thermal_conductivity", "density"]
    largest = {"published": 0.0, "accurate": 0.0, "train": 0.0}
    for kind, runs in (("published", 150), ("accurate", 60), ("train", 40)):
        for _ in range(runs):
            p = defaults.copy(fluence=math.exp(rng.uniform(math.log(10), math.log(3000))),
                              ambient_temperature=rng.uniform(250, 400),
                              reflection_coefficient=rng.uniform(0, 0.5),
                              ablation_model=rng.choice(["surface", "bulk"]))
            for name in scaled:
                setattr(p, name, getattr(defaults, name) * math.exp(rng.uniform(-2, 2)))
            keywords = dict(scheme="published" if kind == "published" else "accurate")
            if kind == "train":
                keywords.update(pulses=3, rate_hz=10)
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                r = kestrium.run(p, profiles=False, **keywords)
            assert "energy ledger" not in r.message, (kind, p)
            if r.end != "diverged":
                share = abs(r.energy["residual"]) / r.energy["light_in"]
                largest[kind] = max(largest[kind], share)
    print("largest residual share of the light:", largest)
    assert largest["published"] < 0.3 and largest["accurate"] < 1e-6 and largest["train"] < 0.05
