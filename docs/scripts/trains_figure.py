#!/usr/bin/env python3
"""Pulse trains: the depth of each pulse at 10 Hz with and without incubation, and the surface
temperature before each pulse at 10 Hz and at 100 kHz.

Ten pulses of the default parameters (bulk model, accurate scheme). Without incubation the
depth per pulse settles after the first pulse; with the incubated material absorbing three
times as strongly (incubated_absorption = 3 alpha0) it rises pulse by pulse as the broken-bond
fraction left below the surface grows, and saturates. At 10 Hz the surface is back at ambient
before every pulse; at 100 kHz the heat of one pulse has not left when the next comes. The
script writes trains.png and trains.md (the numbers of the figure) into the folder given as its
argument.

    PYTHONPATH=build/release/python python3 docs/scripts/trains_figure.py OUT_DIR
"""

import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import kestrium  # noqa: E402

PULSES = 10


def train(p, rate_hz, **keywords):
    r = kestrium.run(p, profiles=False, pulses=PULSES, rate_hz=rate_hz, **keywords)
    if r.pulses["pulse"].size != PULSES:
        raise SystemExit(f"trains_figure: the run returned {r.pulses['pulse'].size} pulse records "
                         f"for a train of {PULSES}")
    return r.pulses


def main(out_dir):
    p = kestrium.Parameters()
    alpha0 = p.absorption_coefficient
    plain = train(p, 10.0)
    incubated = train(p, 10.0, incubated_absorption=3.0 * alpha0)
    fast = train(p, 1.0e5)

    fig, (depths, temperatures) = plt.subplots(1, 2, figsize=(10, 4))
    depths.plot(plain["pulse"], plain["total_depth_nm"], "o-", label="no incubation")
    depths.plot(incubated["pulse"], incubated["total_depth_nm"], "s-",
                label="incubation, alpha_inc = 3 alpha0")
    depths.set_xlabel("pulse")
    depths.set_ylabel("total depth of the pulse [nm]")
    depths.set_title(f"{p.fluence:g} mJ/cm^2 at 10 Hz")
    depths.legend()
    temperatures.plot(plain["pulse"], plain["surface_temperature_before_K"], "o-", label="10 Hz")
    temperatures.plot(fast["pulse"], fast["surface_temperature_before_K"], "s-",
                      label="100 kHz")
    temperatures.set_xlabel("pulse")
    temperatures.set_ylabel("surface temperature before the pulse [K]")
    temperatures.set_title("heat left by the pulses before")
    temperatures.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "trains.png"), dpi=96)

    with open(os.path.join(out_dir, "trains.md"), "w", encoding="utf-8") as table:
        table.write("| pulse | depth, no incubation [nm] | depth, incubation [nm] "
                    "| T before, 10 Hz [K] | T before, 100 kHz [K] |\n")
        table.write("|---|---|---|---|---|\n")
        for k in range(PULSES):
            table.write(f"| {k + 1} | {plain['total_depth_nm'][k]:.4g} "
                        f"| {incubated['total_depth_nm'][k]:.4g} "
                        f"| {plain['surface_temperature_before_K'][k]:.1f} "
                        f"| {fast['surface_temperature_before_K'][k]:.1f} |\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
