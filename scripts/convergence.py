#!/usr/bin/env python3
"""Convergence of the two schemes in space and time, for the model document.

Runs four parameter sets (surface model at 50 mJ/cm^2, the defaults, the bulk model at 25 and
at 1000 mJ/cm^2) on the published scheme (its own grid, with the time step split into 1 and 16)
and on the accurate scheme with every cell split into M = 1, 2, 4; the reference value of each
set is the accurate scheme's Richardson extrapolation from M = 2 and 4 (second order in space).
Writes docs/model/convergence_table.md (MyST markdown) and docs/_static/convergence.png.

usage: PYTHONPATH=build/release/python python3 scripts/convergence.py [--out REPO_ROOT]
"""

import argparse
import os
import warnings

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import kestrium  # noqa: E402

SETS = [
    ("surface, 50 mJ/cm²", dict(ablation_model=1, fluence=50)),
    ("defaults (bulk, 50 mJ/cm²)", dict()),
    ("bulk, 25 mJ/cm²", dict(fluence=25)),
    ("bulk, 1000 mJ/cm²", dict(fluence=1000)),
]
SPLITS = (1, 2, 4)


def measure(parameters, **options):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        r = kestrium.run(parameters, profiles=False, **options)
    return r.total_depth_nm, r.peak_surface_temperature_K


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), ".."))
    root = parser.parse_args().out
    rows, curves = [], []
    for name, fields in SETS:
        p = kestrium.Parameters(**fields)
        published = measure(p)
        published_fine_time = measure(p, refinement=16)
        accurate = [measure(p, scheme="accurate", grid_refinement=m) for m in SPLITS]
        accurate_fine_time = measure(p, scheme="accurate", refinement=16)
        reference = [accurate[2][i] + (accurate[2][i] - accurate[1][i]) / 3 for i in (0, 1)]
        rows.append((name, reference, published, published_fine_time, accurate,
                     accurate_fine_time))
        curves.append((name, reference, published, accurate))

    def rel(value, ref):
        return f"{100 * (value - ref) / ref:+.3f} %"

    def kelvin(value, ref):
        return f"{value - ref:+.2f} K"

    out = ["<!-- Written by scripts/convergence.py; do not edit by hand. -->", "",
           "| set | reference depth [nm] | published | published, step / 16 | accurate M = 1 "
           "| M = 2 | M = 4 | accurate, step / 16 |",
           "|---|---|---|---|---|---|---|---|"]
    for name, ref, pub, pub16, acc, acc16 in rows:
        out.append(f"| {name} | {ref[0]:.4f} | {rel(pub[0], ref[0])} | {rel(pub16[0], ref[0])} | "
                   + " | ".join(rel(a[0], ref[0]) for a in acc) + f" | {rel(acc16[0], ref[0])} |")
    out += ["", "| set | reference peak temperature [K] | published | published, step / 16 | "
            "accurate M = 1 | M = 2 | M = 4 | accurate, step / 16 |",
            "|---|---|---|---|---|---|---|---|"]
    for name, ref, pub, pub16, acc, acc16 in rows:
        out.append(f"| {name} | {ref[1]:.2f} | {kelvin(pub[1], ref[1])} | "
                   f"{kelvin(pub16[1], ref[1])} | "
                   + " | ".join(kelvin(a[1], ref[1]) for a in acc)
                   + f" | {kelvin(acc16[1], ref[1])} |")
    with open(os.path.join(root, "docs", "model", "convergence_table.md"), "w") as f:
        f.write("\n".join(out) + "\n")

    fig, axes = plt.subplots(1, 2, figsize=(10, 4))
    for name, ref, pub, acc in curves:
        for i, ax in enumerate(axes):
            errors = [abs(a[i] - ref[i]) / ref[i] for a in acc]
            line, = ax.loglog(SPLITS, errors, "o-", label=name)
            ax.loglog([1], [abs(pub[i] - ref[i]) / ref[i]], "s", color=line.get_color(),
                      markerfacecolor="none")
    for ax, what in zip(axes, ("total depth", "peak surface temperature")):
        ax.loglog(SPLITS, [1e-3 / m ** 2 for m in SPLITS], "k--", label="second order")
        ax.set_xlabel("cells split into M")
        ax.set_ylabel(f"relative error of the {what}")
        ax.set_xticks(SPLITS, [str(m) for m in SPLITS])
        ax.minorticks_off()
        ax.set_title(f"{what}\naccurate (dots), published (squares)", fontsize=10)
    axes[0].legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(os.path.join(root, "docs", "_static", "convergence.png"), dpi=110)


if __name__ == "__main__":
    main()
