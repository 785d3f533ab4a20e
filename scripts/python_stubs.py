#!/usr/bin/env python3
"""Writes the fields of kestrium.Parameters into the package's type stubs
(python/kestrium/__init__.pyi, between its "generated" marks): the keywords of Parameters()
and copy() with their types, and one property per field whose docstring gives its label, unit
and allowed range, so that an editor completes and explains them.

usage: PYTHONPATH=build/release/python scripts/python_stubs.py [--check]
  --check  changes nothing; exit status 1 when the stubs differ from the fields.
"""

import pathlib
import sys

import kestrium

STUB = pathlib.Path(__file__).resolve().parent.parent / "python" / "kestrium" / "__init__.pyi"
BEGIN = "    # --- the fields: written by scripts/python_stubs.py ---\n"
END = "    # --- end of the fields ---\n"


def _enum_of(name):
    return "".join(part.title() for part in name.split("_"))


def fields_text():
    P = kestrium.Parameters
    choices = P.choices()
    names = list(P.fields()) + ["data_file_name"]

    def keyword_type(name):
        if name == "data_file_name":
            return "str"
        if name in choices:
            return f"{_enum_of(name)} | str | int"
        return "float"

    keywords = "".join(f"        {n}: {keyword_type(n)} = ...,\n" for n in names)
    out = [f"    def __init__(\n        self,\n        *,\n{keywords}    ) -> None: ...\n",
           f"    def copy(\n        self,\n        *,\n{keywords}    ) -> Parameters: ...\n"]
    for name in names:
        doc = getattr(P, name).__doc__.replace('"', "'")
        returned = {"data_file_name": "str"}.get(name, f"{_enum_of(name)} | int"
                                                  if name in choices else "float")
        out.append(f"    @property\n    def {name}(self) -> {returned}:\n"
                   f'        """{doc}"""\n'
                   f"    @{name}.setter\n    def {name}(self, value: {keyword_type(name)}) -> None: ...\n")
    return "".join(out)


def main():
    text = STUB.read_text()
    start, stop = text.index(BEGIN) + len(BEGIN), text.index(END)
    wanted = text[:start] + fields_text() + text[stop:]
    if "--check" in sys.argv[1:]:
        if wanted != text:
            print(f"{STUB}: the fields differ from kestrium.Parameters; run {sys.argv[0]}",
                  file=sys.stderr)
            return 1
        return 0
    STUB.write_text(wanted)
    return 0


if __name__ == "__main__":
    sys.exit(main())
