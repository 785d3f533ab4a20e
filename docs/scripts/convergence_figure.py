#!/usr/bin/env python3
"""Validation: convergence of the default calculation in the time step.

Runs the default parameter set with every time step split into K = 1, 2, 4, 8 and 16
sub-steps and writes convergence.png (the change of the total depth against the step size, on
log axes, beside a slope of one) and convergence.md (the table) into the folder given as its
argument. Differences between successive refinements that halve with the step mean a first-order
scheme; the difference at K = 1 estimates the error of the model's own step.

    PYTHONPATH=build/release/python python3 docs/scripts/convergence_figure.py OUT_DIR
"""

import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kestrium  # noqa: E402

REFINEMENTS = [1, 2, 4, 8, 16]


def main(out_dir):
    p = kestrium.Parameters()
    runs = [kestrium.run(p, profiles=False, refinement=k) for k in REFINEMENTS]
    total = np.array([r.total_depth_nm for r in runs])
    changes = np.abs(np.diff(total))
    # Richardson: with first-order differences halving, the limit is the last value plus the
    # last change.
    limit = total[-1] + (total[-1] - total[-2])

    with open(os.path.join(out_dir, "convergence.md"), "w", encoding="utf-8") as table:
        table.write("| K | steps | surface recession [nm] | volume depth [nm] | total depth [nm] "
                    "| change from K/2 [nm] | ratio of changes |\n")
        table.write("|---|---|---|---|---|---|---|\n")
        for i, (k, r) in enumerate(zip(REFINEMENTS, runs)):
            change = f"{changes[i - 1]:.4f}" if i > 0 else ""
            ratio = f"{changes[i - 2] / changes[i - 1]:.2f}" if i > 1 else ""
            table.write(f"| {k} | {r.steps} | {r.surface_recession_nm:.4f} | "
                        f"{r.volume_depth_nm:.5f} | {r.total_depth_nm:.4f} | {change} | {ratio} |\n")
        table.write(f"\nExtrapolated total depth (first order): {limit:.4f} nm; the model's own "
                    f"step (K = 1) is {abs(total[0] - limit):.4f} nm "
                    f"({100.0 * abs(total[0] - limit) / limit:.3f} %) from it.\n")

    step = 1.0 / np.array(REFINEMENTS[1:], dtype=float)  # the coarser step of each pair, in model steps
    step = 2.0 * step
    fig, ax = plt.subplots(figsize=(6.0, 4.2))
    ax.loglog(step, changes, "o-", label="|depth(K) − depth(K/2)| [nm]")
    ax.loglog(step, changes[0] * step / step[0], "k:", label="slope 1 (first order)")
    ax.set_xlabel("time step of the coarser run [model steps]")
    ax.set_ylabel("change of the total depth [nm]")
    ax.set_title("Default set: total depth against the time step")
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "convergence.png"), dpi=96)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
