"""Shared fixtures: the batch runner of the same build, run in a folder of its own."""

import os
import subprocess

import pytest

import kestrium


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: tens of seconds; run by ./test.sh --slow")


@pytest.fixture(scope="session")
def batch_program():
    program = os.environ.get("KT_BATCH_PROGRAM")
    if not program or not os.path.exists(program):
        pytest.skip("KT_BATCH_PROGRAM does not name the batch runner of this build")
    return os.path.abspath(program)


@pytest.fixture
def batch(batch_program):
    """Runs the batch runner in `folder` with the given arguments; returns the completed process."""

    def run_batch(folder, *args):
        return subprocess.run([batch_program, *args], cwd=folder, capture_output=True, text=True,
                              timeout=600)

    return run_batch


@pytest.fixture
def defaults():
    return kestrium.Parameters()
