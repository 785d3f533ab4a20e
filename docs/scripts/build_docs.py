#!/usr/bin/env python3
"""Builds the HTML documentation: copies docs/ into the build tree, makes the model's
validation figures there with the built package, and runs Sphinx with warnings as errors.

    build_docs.py --source docs --out BUILD/docs --python-dir BUILD/python --batch BUILD/app/kestrium-batch

The pages are written to OUT/html; nothing is written into the source tree. The notebooks run
during the build (nbsphinx), so a failing notebook fails the build. Exit status 0 when the
documentation was built without a warning.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

FIGURE_SCRIPTS = ["heating_figure.py", "convergence_figure.py", "defaults_figure.py",
                  "trains_figure.py"]

# MathJax from the Debian package (libjs-mathjax), so that the equations show on a machine
# without a network: its TeX input and CommonHTML output with their fonts, copied beside the
# pages (about 1.5 MB of the package's 54 MB).
MATHJAX = "/usr/share/javascript/mathjax"
MATHJAX_PARTS = ["MathJax.js", "config/TeX-AMS_CHTML-full.js", "jax/input/TeX", "jax/element",
                 "jax/output/CommonHTML", "extensions", "fonts/HTML-CSS/TeX/woff"]


def copy_mathjax(static):
    """The parts of MathJax the pages use, into the pages' static folder."""
    if not os.path.exists(os.path.join(MATHJAX, "MathJax.js")):
        sys.exit(f"build_docs: no MathJax at {MATHJAX}: install libjs-mathjax")
    for part in MATHJAX_PARTS:
        source, target = os.path.join(MATHJAX, part), os.path.join(static, "mathjax", part)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if os.path.isdir(source):
            shutil.copytree(source, target)
        else:
            shutil.copyfile(source, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="the docs/ folder of the sources")
    parser.add_argument("--out", required=True, help="the folder to build in")
    parser.add_argument("--python-dir", required=True, help="the folder holding the built kestrium package")
    parser.add_argument("--batch", required=True, help="the built kestrium-batch program")
    parser.add_argument("--version", default="", help="the version shown in the pages")
    args = parser.parse_args()

    source = os.path.abspath(args.source)
    out = os.path.abspath(args.out)
    pages = os.path.join(out, "src")
    if os.path.exists(pages):
        shutil.rmtree(pages)
    shutil.copytree(source, pages, ignore=shutil.ignore_patterns("_build", "__pycache__", ".ipynb_checkpoints"))

    copy_mathjax(os.path.join(pages, "_static"))

    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(args.python_dir), env.get("PYTHONPATH")]))
    env["KT_BATCH_PROGRAM"] = os.path.abspath(args.batch)
    env["KT_VERSION"] = args.version
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env["PYDEVD_DISABLE_FILE_VALIDATION"] = "1"  # the notebook kernel's debugger note

    figures = os.path.join(pages, "model", "figures")
    os.makedirs(figures, exist_ok=True)
    for script in FIGURE_SCRIPTS:
        started = time.monotonic()
        subprocess.run([sys.executable, os.path.join(source, "scripts", script), figures], env=env, check=True)
        print(f"build_docs: {script} in {time.monotonic() - started:.1f} s", flush=True)

    # A fresh build every time: no page of an earlier build stays behind.
    html = os.path.join(out, "html")
    doctrees = os.path.join(out, "doctrees")
    for folder in (html, doctrees):
        if os.path.exists(folder):
            shutil.rmtree(folder)
    command = [sys.executable, "-m", "sphinx", "-W", "--keep-going", "-q", "-b", "html",
               "-d", doctrees, pages, html]
    started = time.monotonic()
    done = subprocess.run(command, env=env, check=False)
    print(f"build_docs: sphinx in {time.monotonic() - started:.1f} s", flush=True)
    if done.returncode == 0:
        print(f"build_docs: {os.path.join(html, 'index.html')}")
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
