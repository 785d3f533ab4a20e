"""Sphinx configuration of the Kestrium documentation.

Built by `cmake --build <build> --target docs` (docs/scripts/build_docs.py), which puts the
built Python package on PYTHONPATH and names the batch runner in KT_BATCH_PROGRAM.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "_ext"))

project = "Kestrium"
author = "the Kestrium developers"
copyright = "the Kestrium developers"
release = os.environ.get("KT_VERSION", "")

extensions = [
    "myst_parser",
    "nbsphinx",
    "sphinx.ext.autodoc",
    "sphinx.ext.mathjax",
    "numpydoc",
    "batch_help",
    "plain_docstrings",
]

# numpydoc renders the sections of the package's docstrings; no autosummary tables of members.
numpydoc_show_class_members = False
numpydoc_validation_checks = set()

source_suffix = {".md": "markdown"}
myst_enable_extensions = ["dollarmath", "amsmath"]
myst_heading_anchors = 3
# The tables the figure scripts write are included in the validation page, not pages of their own.
exclude_patterns = ["_build", "**.ipynb_checkpoints", "scripts", "tests", "CMakeLists.txt", "model/figures/*.md"]

# The notebooks run at every build, on the built package: a change that breaks them breaks the
# build.
nbsphinx_execute = "always"
nbsphinx_allow_errors = False
# Seconds per cell: the thresholds notebook's search takes about a minute of two cores, several
# minutes on a machine shared with other builds.
nbsphinx_timeout = 900

autodoc_member_order = "bysource"
autodoc_typehints = "none"

# MathJax 2 of the Debian package, copied into _static by build_docs.py: no network needed.
mathjax_path = "mathjax/MathJax.js?config=TeX-AMS_CHTML-full"
myst_update_mathjax = False
mathjax2_config = {"tex2jax": {"inlineMath": [["\\(", "\\)"]],
                               "displayMath": [["\\[", "\\]"]], "processEscapes": True}}

# The notebooks hold no widgets: no require.js from a network.
nbsphinx_requirejs_path = ""

html_theme = "alabaster"
html_static_path = ["_static"]
html_title = "Kestrium"
