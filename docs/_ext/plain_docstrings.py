"""Shows the Python package's docstrings: those written in numpydoc sections (Parameters,
Returns, Raises, ... underlined with dashes) are left to numpydoc; the others are plain text
(code lines, aligned lists), not reStructuredText, and read as reStructuredText their indented
lines would turn into block quotes and warnings. Each of those is shown as a preformatted
block instead, as `help()` shows it.
"""


def _has_sections(lines):
    """True when a line is underlined by dashes, as numpydoc's section headings are."""
    for heading, rule in zip(lines, lines[1:]):
        rule = rule.strip()
        if heading.strip() and len(rule) >= 3 and set(rule) == {"-"} and \
                len(rule) == len(heading.strip()):
            return True
    return False


def _as_literal(app, what, name, obj, options, lines):
    del app, what, name, obj, options
    while lines and not lines[-1].strip():
        lines.pop()
    if not lines or _has_sections(lines):
        return
    text = ["::", ""] + ["   " + line if line.strip() else "" for line in lines] + [""]
    lines[:] = text


def setup(app):
    # Before numpydoc (priority 500), which then renders only the docstrings left as they are.
    app.connect("autodoc-process-docstring", _as_literal, priority=400)
    return {"version": "2", "parallel_read_safe": True, "parallel_write_safe": True}
