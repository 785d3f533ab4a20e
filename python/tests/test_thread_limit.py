"""A process that may not start the threads it asks for: every parallel command and call says so
(exit 1, RuntimeError) and changes no file, as under `prlimit --nproc=3` for an ordinary user.

The limit is set in a child process running as a user id of its own (root ignores the limit), so
these tests need root; elsewhere they are skipped.
"""

import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile

import pytest

import kestrium

pytestmark = pytest.mark.skipif(os.geteuid() != 0,
                                reason="the thread limit binds only a user other than root")

# A user id with no process of its own, so that the limit counts only the child's threads.
_UID = 60000 + os.getpid() % 5000


def _limited(threads):
    def start():
        os.setgid(_UID)
        os.setuid(_UID)
        resource.setrlimit(resource.RLIMIT_NPROC, (threads, threads))
    return start


@pytest.fixture
def folder():
    path = tempfile.mkdtemp(prefix="kt-threads-")
    os.chmod(path, 0o777)
    yield path
    shutil.rmtree(path)


def _snapshot(path):
    files = {}
    for root, _, names in os.walk(path):
        for name in names:
            full = os.path.join(root, name)
            with open(full, "rb") as f:
                files[os.path.relpath(full, path)] = f.read()
    return files


def _run(folder, args, threads=3):
    package_folder = os.path.dirname(os.path.dirname(os.path.abspath(kestrium.__file__)))
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS="1",
               PYTHONPATH=package_folder)
    return subprocess.run(args, cwd=folder, capture_output=True, text=True, timeout=300, env=env,
                          preexec_fn=_limited(threads))


def test_every_parallel_command_exits_1_and_leaves_the_files(batch_program, folder, defaults):
    defaults.write(os.path.join(folder, "KTparam.par"))
    with open(os.path.join(folder, "m.csv"), "w") as f:
        f.write("fluence_mJ_per_cm2,total_depth_nm\n50,40\n100,80\n200,120\n400,160\n")
    with open(os.path.join(folder, "Data1K.dat"), "w") as f:
        f.write("an earlier kinetics line\n")
    os.mkdir(os.path.join(folder, "st"))
    with open(os.path.join(folder, "st", "study.csv"), "w") as f:
        f.write("an earlier table\n")
    os.chmod(os.path.join(folder, "st"), 0o777)
    for path in ("Data1K.dat", "st/study.csv", "KTparam.par", "m.csv"):
        os.chmod(os.path.join(folder, path), 0o666)
    before = _snapshot(folder)
    commands = {
        "study": ["study", "KTparam.par", "--vary", "fluence=40:110:10", "--out", "st"],
        "sweep": ["sweep", "KTparam.par", "--fluence", "40:110:10", "--csv", "c.csv"],
        "threshold": ["threshold", "KTparam.par"],
        "fit": ["fit", "KTparam.par", "--data", "m.csv", "--vary", "screening_coefficient",
                "--report", "r.json", "--out", "fitted.par"],
    }
    for name, args in commands.items():
        done = _run(folder, [batch_program, *args, "--jobs", "8"])
        assert done.returncode == 1, (name, done.stderr)
        # The fit runs one thread per data point at most: 4 here.
        assert re.match(rf"kestrium-batch: {name}: cannot start [48] worker threads", done.stderr), \
            done.stderr
        assert "terminate" not in done.stderr
        assert _snapshot(folder) == before, name


def test_python_calls_raise_runtime_error(folder):
    script = (
        "import kestrium\n"
        "p = kestrium.Parameters()\n"
        "for call in (lambda: kestrium.study(p, vary={'fluence': '40:110:10'}, jobs=8),\n"
        "             lambda: kestrium.threshold(p, jobs=8),\n"
        "             lambda: kestrium.sweep(p, '40:110:10', jobs=8)):\n"
        "    try:\n"
        "        call()\n"
        "    except RuntimeError as e:\n"
        "        assert 'cannot start 8 worker threads' in str(e), e\n"
        "    else:\n"
        "        raise AssertionError('no error')\n"
        "print('ok')\n")
    done = _run(folder, [sys.executable, "-c", script], threads=4)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "ok"
    assert os.listdir(folder) == []


def test_a_thread_limit_the_jobs_fit_in_is_no_problem(batch_program, folder, defaults):
    defaults.write(os.path.join(folder, "KTparam.par"))
    os.chmod(os.path.join(folder, "KTparam.par"), 0o666)
    done = _run(folder, [batch_program, "study", "KTparam.par", "--vary", "fluence=40,50",
                         "--out", "st", "--jobs", "2"])
    assert done.returncode == 0, done.stderr
