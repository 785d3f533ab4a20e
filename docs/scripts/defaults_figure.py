#!/usr/bin/env python3
"""Validation: the threshold and the peak surface temperature of the default parameter set.

Sweeps the default set (polyimide, 248 nm, 15 ns triangle) over 16 log-spaced fluences from 10
to 1000 mJ/cm², finds the fluence of 1 nm total depth by the threshold search, fits the
Beer-Lambert line to the depths of the sweep, and writes defaults.png (total depth and peak
surface temperature against fluence) and defaults.md (the model's numbers) into the folder
given as its argument, beside the measured threshold and peak surface temperature of polyimide
under KrF irradiation (below).

    PYTHONPATH=build/release/python python3 docs/scripts/defaults_figure.py OUT_DIR
"""

import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kestrium  # noqa: E402

# The measurement: the temperature at the back of a polyimide film on quartz, measured with thin
# NiSi thermistors during KrF (248 nm) irradiation and fitted with heat-flow simulations, gives a
# peak surface temperature of 1660 ± 100 K at the onset of ablation, at the observed ablation
# threshold of 36 mJ/cm². D. P. Brunco, M. O. Thompson, C. E. Otis, P. M. Goodwin, "Temperature
# measurements of polyimide during KrF excimer laser ablation", Journal of Applied Physics 72(9),
# 4344-4350 (1992), abstract.
MEASURED_THRESHOLD_mJ_per_cm2 = 36.0
MEASURED_PEAK_SURFACE_TEMPERATURE_K = 1660.0
MEASURED_PEAK_SURFACE_TEMPERATURE_ERROR_K = 100.0


def main(out_dir):
    p = kestrium.Parameters()
    curve = kestrium.sweep(p, "10:1000", log=16, jobs=2)
    fluence = curve["fluence_mJ_per_cm2"]
    depth = curve["total_depth_nm"]
    peak_T = curve["peak_surface_temperature_K"]
    threshold = kestrium.threshold(p, depth=1.0, quantity="total", jobs=2)
    at_threshold = kestrium.run(kestrium.Parameters(fluence=threshold["fluence"]), profiles=False)
    default_run = kestrium.run(p, profiles=False)
    at_measured = kestrium.run(kestrium.Parameters(fluence=MEASURED_THRESHOLD_mJ_per_cm2), profiles=False)
    line = kestrium.fit(p, fluence=fluence, depth=depth, quantity="total", analyse=True)
    beer_lambert = line["beer_lambert"]

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(6.4, 6.0), sharex=True)
    top.semilogx(fluence, depth, "o-", label="model: total depth [nm]")
    top.axvline(threshold["fluence"], color="k", ls=":",
                label=f"1 nm at {threshold['fluence']:.2f} mJ/cm²")
    top.set_ylabel("total depth per pulse [nm]")
    top.set_title("Default set (polyimide, 248 nm, 15 ns)")
    bottom.semilogx(fluence, peak_T, "s-", color="C3", label="model: peak surface temperature [K]")
    bottom.axvline(threshold["fluence"], color="k", ls=":")
    for axis in (top, bottom):
        axis.axvline(MEASURED_THRESHOLD_mJ_per_cm2, color="C2", ls="--",
                     label=f"measured threshold, {MEASURED_THRESHOLD_mJ_per_cm2:g} mJ/cm² "
                           "(Brunco et al. 1992)" if axis is top else None)
    bottom.errorbar([MEASURED_THRESHOLD_mJ_per_cm2], [MEASURED_PEAK_SURFACE_TEMPERATURE_K],
                    yerr=[MEASURED_PEAK_SURFACE_TEMPERATURE_ERROR_K], fmt="D", color="C2", capsize=4,
                    label=f"measured at threshold, {MEASURED_PEAK_SURFACE_TEMPERATURE_K:g} ± "
                          f"{MEASURED_PEAK_SURFACE_TEMPERATURE_ERROR_K:g} K (Brunco et al. 1992)")
    top.legend(fontsize="small")
    bottom.legend(fontsize="small")
    bottom.set_xlabel("fluence [mJ/cm²]")
    bottom.set_ylabel("peak surface temperature [K]")
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "defaults.png"), dpi=96)

    def value(entry, key, digits):
        number = entry.get(key)
        return "—" if number is None else f"{number:.{digits}f}"

    measured_T = (f"{MEASURED_PEAK_SURFACE_TEMPERATURE_K:.0f} ± "
                  f"{MEASURED_PEAK_SURFACE_TEMPERATURE_ERROR_K:.0f} (at the onset of ablation)")
    with open(os.path.join(out_dir, "defaults.md"), "w", encoding="utf-8") as table:
        table.write("| quantity | model | measured |\n|---|---|---|\n")
        table.write(f"| ablation threshold [mJ/cm²] | {threshold['fluence']:.2f} "
                    f"(1 nm total depth; {threshold['runs']} runs) | "
                    f"{MEASURED_THRESHOLD_mJ_per_cm2:g} (observed) |\n")
        table.write(f"| Beer-Lambert threshold F_th [mJ/cm²] | "
                    f"{value(beer_lambert, 'threshold_fluence', 2)} ± {value(beer_lambert, 'threshold_fluence_stderr', 2)} | |\n")
        table.write(f"| Beer-Lambert 1/α_eff [nm] | "
                    f"{value(beer_lambert, 'absorption_length_nm', 1)} ± {value(beer_lambert, 'absorption_length_nm_stderr', 1)} | |\n")
        table.write(f"| peak surface temperature at the model's threshold [K] | "
                    f"{at_threshold.peak_surface_temperature_K:.0f} | |\n")
        table.write(f"| peak surface temperature at the measured threshold, "
                    f"{MEASURED_THRESHOLD_mJ_per_cm2:g} mJ/cm² [K] | "
                    f"{at_measured.peak_surface_temperature_K:.0f} | {measured_T} |\n")
        table.write(f"| peak surface temperature at {p.fluence:g} mJ/cm² [K] | "
                    f"{default_run.peak_surface_temperature_K:.0f} | |\n")
        table.write(f"| total depth at {p.fluence:g} mJ/cm² [nm] | {default_run.total_depth_nm:.2f} | |\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
