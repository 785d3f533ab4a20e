"""Tests of the documentation's own tools: the batch-help directive's reading of the program's
help, the plain-text docstrings and the closed form the heating figure is checked against."""

import math
import os
import sys

import pytest

DOCS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(DOCS, "_ext"))
sys.path.insert(0, os.path.join(DOCS, "scripts"))

import batch_help  # noqa: E402
import plain_docstrings  # noqa: E402

USAGE_STYLE = """kestrium-batch: laser-ablation calculations without a window.

usage:
  kestrium-batch PARFILE [--refine K] [--png FILE.png [--size WxH]]
  kestrium-batch sweep PARFILE --fluence LIST [options]  (kestrium-batch sweep --help)
  kestrium-batch fit PARFILE --data FILE.csv --vary NAME[,NAME...] [options]
  kestrium-batch fit PARFILE --data FILE.csv --analyse [options]
  kestrium-batch defaults FILE      write the built-in default parameters to a new FILE
  kestrium-batch --help | -h
"""

SUBCOMMAND_STYLE = """kestrium-batch: laser-ablation calculations without a window.
Usage: kestrium-batch [OPTIONS] [SUBCOMMAND]

Options:
  -h,--help                   Print this help message and exit
  --version                   Display program version information and exit

Subcommands:
  run                         one calculation
  sweep                       one calculation per fluence
  study                       a parameter study

exit status: 0 done; 2 a wrong command line
"""


COMMAND_TABLE_STYLE = """kestrium-batch: laser-ablation calculations without a window.

usage: kestrium-batch COMMAND [arguments]
       kestrium-batch PARFILE [--refine K] [--png FILE.png [--size WxH]]
       kestrium-batch help COMMAND | --help | --version

commands (kestrium-batch help COMMAND explains one):
  run        one calculation of PARFILE (the word may be left out)
  sweep      one calculation per fluence; the kinetics file, a table, the ablation curve
  defaults   write the built-in default parameters to a new file
  help       this text, or the help of a command

options:
  --refine K      split every time step into K equal sub-steps
"""


class TestListedCommands:
    def test_command_table_gives_its_commands_but_help(self):
        assert batch_help.listed_commands(COMMAND_TABLE_STYLE) == ["run", "sweep", "defaults"]

    def test_usage_lines_give_each_command_once_in_order(self):
        assert batch_help.listed_commands(USAGE_STYLE) == ["sweep", "fit", "defaults"]

    def test_subcommand_section_is_read_to_its_end(self):
        assert batch_help.listed_commands(SUBCOMMAND_STYLE) == ["run", "sweep", "study"]

    def test_text_without_commands_gives_none(self):
        assert batch_help.listed_commands("usage: kestrium-batch PARFILE\n") == []


class TestHelpText:
    @staticmethod
    def program(tmp_path, name, body):
        path = tmp_path / name
        path.write_text("#!/bin/sh\n" + body + "\n")
        path.chmod(0o755)
        return str(path)

    def test_a_failing_or_silent_program_fails_the_build(self, monkeypatch, tmp_path):
        from sphinx.errors import ExtensionError

        monkeypatch.setenv("KT_BATCH_PROGRAM", self.program(tmp_path, "failing", "echo unknown command $1 >&2; exit 2"))
        with pytest.raises(ExtensionError, match="exited with 2: unknown command sweep"):
            batch_help.help_text("sweep")
        monkeypatch.setenv("KT_BATCH_PROGRAM", self.program(tmp_path, "silent", "exit 0"))
        with pytest.raises(ExtensionError, match="exited with 0"):
            batch_help.help_text()

    def test_a_missing_program_is_named(self, monkeypatch):
        from sphinx.errors import ExtensionError

        monkeypatch.delenv("KT_BATCH_PROGRAM", raising=False)
        with pytest.raises(ExtensionError, match="KT_BATCH_PROGRAM"):
            batch_help.help_text()

    @pytest.mark.skipif(not os.environ.get("KT_BATCH_PROGRAM"), reason="no built kestrium-batch named")
    def test_every_listed_command_of_the_built_program_has_a_help(self):
        top = batch_help.help_text()
        commands = batch_help.listed_commands(top)
        assert "sweep" in commands and "fit" in commands
        for command in commands:
            assert batch_help.help_text(command)


def test_docstrings_become_one_literal_block():
    lines = ["Runs one calculation.", "", "    import kestrium", "  indented: list", "", ""]
    plain_docstrings._as_literal(None, "function", "run", None, {}, lines)
    assert lines == ["::", "", "   Runs one calculation.", "", "       import kestrium",
                     "     indented: list", ""]
    empty = ["", ""]
    plain_docstrings._as_literal(None, "function", "run", None, {}, empty)
    assert empty == []
    sections = ["Runs one calculation.", "", "Parameters", "----------", "p : Parameters"]
    plain_docstrings._as_literal(None, "function", "run", None, {}, sections)
    assert sections[2:4] == ["Parameters", "----------"]  # left to numpydoc


def test_the_citation_names_the_version_of_the_build():
    root = os.path.dirname(DOCS)
    with open(os.path.join(root, "CMakeLists.txt")) as cmake:
        version = next(line.split("VERSION")[1].split()[0] for line in cmake
                       if line.startswith("project(kestrium"))
    with open(os.path.join(root, "CITATION.cff")) as citation:
        assert f'version: "{version}"\n' in citation.read()


class TestClosedFormHeating:
    """The reference the model is compared with must itself be right: its two limits."""

    class Material:
        absorption_coefficient = 3.2e5  # 1/cm
        thermal_conductivity = 1.56e-3  # W/(cm K)
        density = 1.42  # g/cm^3
        specific_heat = 2.0  # J/(g K)

    def rise(self, t_s, intensity=1.0e6):
        heating_figure = pytest.importorskip("heating_figure")
        return heating_figure.surface_rise_K(t_s, intensity, self.Material)

    def test_early_heating_is_the_absorbed_power_without_conduction(self):
        m = self.Material
        t = 1e-15  # s: much shorter than the diffusion time over an absorption length
        adiabatic = 1.0e6 * m.absorption_coefficient * t / (m.density * m.specific_heat)
        assert self.rise(t) == pytest.approx(adiabatic, rel=1e-3)

    def test_late_heating_is_that_of_a_surface_flux(self):
        m = self.Material
        diffusivity = m.thermal_conductivity / (m.density * m.specific_heat)
        scale = 1.0e6 / (m.thermal_conductivity * m.absorption_coefficient)
        # s = 562 and s = 5620: past the range where exp(s) erfc(sqrt(s)) can be evaluated as a
        # product, the rise follows 2 sqrt(s/pi) - 1 + 1/sqrt(pi s).
        for t in (1e-5, 1e-4):
            s = m.absorption_coefficient ** 2 * diffusivity * t
            expected = scale * (2.0 * math.sqrt(s / math.pi) - 1.0 + 1.0 / math.sqrt(math.pi * s))
            assert self.rise(t) == pytest.approx(expected, rel=1e-6)
        assert self.rise(0.0) == 0.0
