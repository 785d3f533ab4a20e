"""Experiments in Python: Experiment.read, the experiment keywords with their refusals and
precedence, and a train's per-pulse arrays and columns."""

import numpy as np
import pytest

import kestrium


@pytest.fixture
def lab(tmp_path):
    (tmp_path / "pulse.csv").write_text("# time_ns,intensity\n0,0\n10,1\n20,2\n30,0\n")
    path = tmp_path / "lab.toml"
    path.write_text('pulse_shape = "measured"\ntrace = "pulse.csv"\npulses = 3\nrate_hz = 10\n'
                    "incubated_absorption = 3.0e5\n")
    return path


def test_an_experiment_file_reads_into_fields_and_refuses_by_file_and_key(lab, tmp_path):
    e = kestrium.Experiment.read(lab)
    assert (e.scheme, e.pulse_shape, e.pulses, e.rate_hz) == (None, "measured", 3, 10.0)
    assert e.trace == str(tmp_path / "pulse.csv")
    assert e.incubated_absorption == 3.0e5 and e.material is None
    assert e == kestrium.Experiment.read(str(lab))
    bad = tmp_path / "bad.toml"
    bad.write_text("pulses = 2\nrate = 10\n")
    with pytest.raises(ValueError, match=r"bad\.toml, line 2: rate: unknown key"):
        kestrium.Experiment.read(bad)


def test_keywords_are_refused_by_their_names_before_any_run(defaults, lab):
    cases = [
        (dict(pulses=0), "pulses is 0; it must be 1 or more"),
        (dict(pulses=5), "pulses=5 needs rate_hz greater than 0"),
        (dict(pulses=5, rate_hz=-1), "rate_hz must be a positive number"),
        (dict(trace=str(lab)), "trace is given but pulse_shape is not measured"),
        (dict(experiment=lab, scheme="published"), 'scheme="published" cannot run pulses=3'),
        (dict(pulse_shape="square"), 'pulse_shape is "square"'),
    ]
    with pytest.raises(ValueError, match="pulses is 0"):
        kestrium.threshold(defaults, pulses=[1, 0, 5], rate_hz=10)  # each N checked first
    with pytest.raises(ValueError, match="pulses=2 needs rate_hz"):
        kestrium.threshold(defaults, pulses=[1, 2])
    for keywords, message in cases:
        with pytest.raises(ValueError, match=message):
            kestrium.run(defaults, **keywords)
        with pytest.raises(ValueError, match=message):
            kestrium.sweep(defaults, [50, 100], **keywords)


def test_keywords_override_the_experiment_and_the_study_hash_follows_it(defaults, lab):
    def hash_of(**keywords):
        return kestrium.study(defaults, {"fluence": [60]}, jobs=1, **keywords).hash

    plain = hash_of()
    assert hash_of(scheme="published") == plain
    from_file = hash_of(experiment=kestrium.Experiment.read(lab), pulses=1)
    assert from_file == hash_of(experiment=lab, pulses=1) != plain
    trace = lab.parent / "pulse.csv"
    assert hash_of(pulse_shape="measured", trace=trace, rate_hz=10,
                   incubated_absorption=3.0e5) == from_file
    trace.write_text("0,0\n10,1\n20,3\n30,0\n")
    assert hash_of(experiment=lab, pulses=1) != from_file


def test_a_train_returns_its_pulse_table_and_its_columns(defaults):
    result = kestrium.run(defaults, profiles=False, pulses=3, rate_hz=10)
    assert list(result.pulses["pulse"]) == [1, 2, 3]
    assert np.isclose(result.pulses["cumulative_depth_nm"][-1], 3 * result.total_depth_nm)
    # The cooling's estimated error of the surface temperature before each pulse: none before
    # the first, a small part of the temperature rise left after 0.1 s before the others.
    errors = result.pulses["surface_temperature_before_error_K"]
    assert errors[0] == 0 and all(0 < e < 1.0 for e in errors[1:]), errors
    curve = kestrium.sweep(defaults, [80], pulses=2, rate_hz=10)
    assert curve["first_pulse_depth_nm"].shape == (1,)
    assert np.isclose(curve["mean_depth_per_pulse_nm"][0], curve["total_depth_nm"][0])


@pytest.mark.parametrize("keywords, error, message", [
    (dict(pulses=2.9, rate_hz=10), ValueError, "pulses is 2.9; it must be a whole number"),
    (dict(pulses="3", rate_hz=10), TypeError, "pulses takes a whole number, not str"),
    (dict(pulses=[1, 2.5], rate_hz=10), ValueError, "pulses is 2.5; it must be a whole number"),
    (dict(pulses=2, rate_hz="10"), TypeError, r"rate_hz takes a number \(Hz\), not str"),
    (dict(incubated_absorption="4e5"), TypeError,
     r"incubated_absorption takes a number \(1/cm\), not str"),
])
def test_train_values_are_refused_not_converted(defaults, keywords, error, message):
    with pytest.raises(error, match=message):
        kestrium.threshold(defaults, **keywords)
    if not isinstance(keywords["pulses" if "pulses" in keywords else "incubated_absorption"],
                      list):
        with pytest.raises(error, match=message):
            kestrium.run(defaults, **keywords)


def test_pulses_given_at_all_take_the_trains_scheme(defaults):
    one = kestrium.run(defaults, profiles=False, pulses=1, rate_hz=10).total_depth_nm
    assert one == kestrium.run(defaults, profiles=False, scheme="accurate").total_depth_nm
    assert one != kestrium.run(defaults, profiles=False).total_depth_nm
    assert kestrium.run(defaults, profiles=False, pulses=3.0, rate_hz=10).pulses["pulse"][-1] == 3


@pytest.mark.parametrize("keywords, setting, problem, remedy", [
    (dict(scheme="published", pulses=3, rate_hz=10), "scheme",
     'scheme="published" cannot run pulses=3', ""),
    (dict(scheme="published", tolerance=1e-3), "scheme",
     'scheme="published" cannot run to a tolerance', ""),
    (dict(scheme="fast"), "scheme", 'scheme is "fast"', "it must be published or accurate"),
    (dict(pulses=3, rate_hz=1e10), "rate_hz", "rate_hz is 1e+10",
     "a train's rate is from 0.001 to 1e+09 Hz"),
    (dict(pulses=3), "rate_hz", "pulses=3 needs rate_hz greater than 0", ""),
    (dict(pulses=0), "pulses", "pulses is 0", "it must be 1 or more"),
    (dict(pulses=2.5, rate_hz=10), "pulses", "pulses is 2.5", "it must be a whole number"),
    (dict(pulse_shape="square"), "pulse_shape", 'pulse_shape is "square"',
     "it must be file, gaussian or measured"),
    (dict(trace="pulse.csv"), "pulse_shape", "trace is given but pulse_shape is not measured",
     ""),
    (dict(pulse_shape="measured"), "trace", 'pulse_shape="measured" needs trace', ""),
    (dict(pulse_shape="measured", trace="missing.csv"), "trace", "missing.csv", ""),
    (dict(tolerance=5), "tolerance", "tolerance must be a relative error from 1e-6 to 0.1", ""),
    (dict(incubated_absorption=-1), "incubated_absorption",
     "incubated_absorption must be greater than 0", ""),
    (dict(pulses=10**7, rate_hz=10), "pulses", "pulses is 10000000", "a train has at most "
     "1000000"),
    (dict(experiment="missing.toml"), "experiment", "missing.toml", ""),
])
def test_settings_are_refused_as_data_naming_the_keyword(defaults, tmp_path, monkeypatch,
                                                         keywords, setting, problem, remedy):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "pulse.csv").write_text("0,0\n10,1\n20,0\n")
    out = tmp_path / "out"
    calls = [lambda: kestrium.run(defaults, output_dir=out, **keywords)]
    if "missing" not in problem:  # an Experiment reads no file: the run does
        calls.append(lambda: kestrium.Experiment(**keywords))
    for call in calls:
        with pytest.raises(kestrium.RefusalError) as refused:
            call()
        error = refused.value
        assert (error.setting, error.remedy) == (setting, remedy)
        assert problem in error.problem
        assert str(error) == error.problem + ("; " + remedy if remedy else "")
        assert not out.exists()
        assert sorted(p.name for p in tmp_path.iterdir()) == ["pulse.csv"]
