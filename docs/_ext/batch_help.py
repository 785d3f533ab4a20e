"""The `batch-help` directive: the batch runner's own help texts, taken at build time.

    ```{batch-help}
    ```                      the program's --help
    ```{batch-help} sweep
    ```                      `kestrium-batch sweep --help`
    ```{batch-help}
    :commands:
    ```                      and a section per command the program's --help lists

The program is named by the environment variable KT_BATCH_PROGRAM (the docs target sets it).
A program that is missing, fails, prints nothing or no longer knows a command makes the build
fail, so the reference cannot drift from the program.
"""

import os
import re
import subprocess

from docutils import nodes
from docutils.parsers.rst import directives
from sphinx.errors import ExtensionError
from sphinx.util.docutils import SphinxDirective

PROGRAM_NAME = "kestrium-batch"


def program():
    path = os.environ.get("KT_BATCH_PROGRAM")
    if not path or not os.access(path, os.X_OK):
        raise ExtensionError("batch-help: set KT_BATCH_PROGRAM to the built kestrium-batch "
                             f"(now {path!r})")
    return path


def help_text(command=None):
    """What `kestrium-batch [COMMAND] --help` prints; fails unless it prints a help text."""
    args = [program()] + ([command] if command else []) + ["--help"]
    done = subprocess.run(args, capture_output=True, text=True, timeout=60, check=False)
    text = (done.stdout or done.stderr).rstrip()
    if done.returncode != 0 or not text:
        raise ExtensionError(f"batch-help: `{' '.join(args[1:])}` exited with "
                             f"{done.returncode}: {text[:200]}")
    return text


def listed_commands(text):
    """The commands a top-level help text lists, in its order, `help` left out.

    Reads a "commands:" or "Subcommands:" section (one command a line, indented, up to a blank
    line) when there is one, or else the usage lines `kestrium-batch COMMAND ...` whose second
    word is a lower-case name.
    """
    commands = []
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if re.match(r"^\s*(sub)?commands\b[^:]*:\s*$", line, re.IGNORECASE):
            for entry in lines[i + 1:]:
                found = re.match(r"^\s+([a-z][a-z0-9_-]*)(\s|$)", entry)
                if not found:
                    break
                commands.append(found.group(1))
            break
    if not commands:
        for line in lines:
            found = re.match(rf"^\s*(?:[Uu]sage:\s*)?{PROGRAM_NAME}\s+([a-z][a-z0-9_-]*)\b", line)
            if found and found.group(1) not in commands:
                commands.append(found.group(1))
    return [c for c in commands if c != "help"]


class BatchHelp(SphinxDirective):
    optional_arguments = 1
    option_spec = {"commands": directives.flag}
    has_content = False

    def literal(self, text):
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        return block

    def run(self):
        command = self.arguments[0] if self.arguments else None
        text = help_text(command)
        result = [self.literal(text)]
        if "commands" in self.options:
            commands = listed_commands(text)
            if not commands:
                raise self.error(f"batch-help: no command found in `{PROGRAM_NAME} --help`")
            for name in commands:
                section = nodes.section(ids=[f"batch-command-{name}"])
                section += nodes.title(text=f"{PROGRAM_NAME} {name}")
                section += self.literal(help_text(name))
                result.append(section)
        return result


def setup(app):
    app.add_directive("batch-help", BatchHelp)
    return {"version": "1", "parallel_read_safe": True, "parallel_write_safe": True}
