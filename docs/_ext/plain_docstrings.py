"""Shows the Python package's docstrings as the plain text they are written in.

The docstrings of the kestrium package are plain text (code lines, aligned lists), not
reStructuredText; read as reStructuredText their indented lines would turn into block quotes
and warnings. Each one is shown as a preformatted block instead, as `help()` shows it.
"""


def _as_literal(app, what, name, obj, options, lines):
    del app, what, name, obj, options
    while lines and not lines[-1].strip():
        lines.pop()
    if not lines:
        return
    text = ["::", ""] + ["   " + line if line.strip() else "" for line in lines] + [""]
    lines[:] = text


def setup(app):
    app.connect("autodoc-process-docstring", _as_literal)
    return {"version": "1", "parallel_read_safe": True, "parallel_write_safe": True}
