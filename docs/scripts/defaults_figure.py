#!/usr/bin/env python3
"""Validation: the threshold and the peak surface temperature of the default parameter set.

Sweeps the default set (polyimide, 248 nm, 15 ns triangle) over 16 log-spaced fluences from 10
to 1000 mJ/cm², finds the fluence of 1 nm total depth by the threshold search, fits the
Beer-Lambert line to the depths of the sweep, and writes defaults.png (total depth and peak
surface temperature against fluence) and defaults.md (the model's numbers) into the folder
given as its argument.

    PYTHONPATH=build/release/python python3 docs/scripts/defaults_figure.py OUT_DIR
"""

import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kestrium  # noqa: E402


def main(out_dir):
    p = kestrium.Parameters()
    curve = kestrium.sweep(p, "10:1000", log=16, jobs=2)
    fluence = curve["fluence_mJ_per_cm2"]
    depth = curve["total_depth_nm"]
    peak_T = curve["peak_surface_temperature_K"]
    threshold = kestrium.threshold(p, depth=1.0, quantity="total", jobs=2)
    at_threshold = kestrium.run(kestrium.Parameters(fluence=threshold["fluence"]), profiles=False)
    default_run = kestrium.run(p, profiles=False)
    line = kestrium.fit(p, fluence=fluence, depth=depth, quantity="total", analyse=True)
    beer_lambert = line["beer_lambert"]

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(6.4, 6.0), sharex=True)
    top.semilogx(fluence, depth, "o-", label="model: total depth")
    top.axvline(threshold["fluence"], color="k", ls=":",
                label=f"1 nm at {threshold['fluence']:.2f} mJ/cm²")
    top.set_ylabel("total depth per pulse [nm]")
    top.set_title("Default set (polyimide, 248 nm, 15 ns)")
    top.legend()
    bottom.semilogx(fluence, peak_T, "s-", color="C3", label="model: peak surface temperature")
    bottom.axvline(threshold["fluence"], color="k", ls=":")
    bottom.set_xlabel("fluence [mJ/cm²]")
    bottom.set_ylabel("peak surface temperature [K]")
    bottom.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "defaults.png"), dpi=96)

    def value(entry, key, digits):
        number = entry.get(key)
        return "—" if number is None else f"{number:.{digits}f}"

    with open(os.path.join(out_dir, "defaults.md"), "w", encoding="utf-8") as table:
        table.write("| quantity | model |\n|---|---|\n")
        table.write(f"| fluence of 1 nm total depth [mJ/cm²] | {threshold['fluence']:.2f} "
                    f"({threshold['runs']} runs) |\n")
        table.write(f"| Beer-Lambert threshold F_th [mJ/cm²] | "
                    f"{value(beer_lambert, 'threshold_fluence', 2)} ± {value(beer_lambert, 'threshold_fluence_stderr', 2)} |\n")
        table.write(f"| Beer-Lambert 1/α_eff [nm] | "
                    f"{value(beer_lambert, 'absorption_length_nm', 1)} ± {value(beer_lambert, 'absorption_length_nm_stderr', 1)} |\n")
        table.write(f"| peak surface temperature at the 1 nm fluence [K] | "
                    f"{at_threshold.peak_surface_temperature_K:.0f} |\n")
        table.write(f"| peak surface temperature at {p.fluence:g} mJ/cm² [K] | "
                    f"{default_run.peak_surface_temperature_K:.0f} |\n")
        table.write(f"| total depth at {p.fluence:g} mJ/cm² [nm] | {default_run.total_depth_nm:.2f} |\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
