#!/usr/bin/env python3
"""Pulse trains: the depth of each pulse at 10 Hz with and without incubation, and the surface
temperature before each pulse at 10 Hz and at 100 kHz.

Ten pulses of the default parameters (bulk model, accurate scheme) at the default fluence and
near the single-pulse threshold, each without incubation and with the incubated material
absorbing three times as strongly (incubated_absorption = 3 alpha0). At 10 Hz the surface is
back at ambient before every pulse; at 100 kHz the heat of one pulse has not left when the next
comes. The script writes trains.png and trains.md (the numbers of the figure) into the folder
given as its argument.

    PYTHONPATH=build/release/python python3 docs/scripts/trains_figure.py OUT_DIR
"""

import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import kestrium  # noqa: E402

PULSES = 10
NEAR_THRESHOLD = 22.0  # mJ/cm^2; the default parameters' single-pulse threshold is about 24


def train(p, rate_hz, **keywords):
    r = kestrium.run(p, profiles=False, pulses=PULSES, rate_hz=rate_hz, **keywords)
    if r.pulses["pulse"].size != PULSES:
        raise SystemExit(f"trains_figure: the run returned {r.pulses['pulse'].size} pulse records "
                         f"for a train of {PULSES}")
    return r.pulses


def main(out_dir):
    p = kestrium.Parameters()
    near = kestrium.Parameters(fluence=NEAR_THRESHOLD)
    incubated = 3.0 * p.absorption_coefficient
    cases = [(f"{p.fluence:g} mJ/cm^2", train(p, 10.0), train(p, 10.0, incubated_absorption=incubated)),
             (f"{near.fluence:g} mJ/cm^2", train(near, 10.0),
              train(near, 10.0, incubated_absorption=incubated))]
    fast = train(p, 1.0e5)
    slow = cases[0][1]

    fig, (depths, temperatures) = plt.subplots(1, 2, figsize=(11, 4.2))
    for (label, plain, incubating), colour in zip(cases, ["tab:blue", "tab:red"]):
        depths.plot(plain["pulse"], plain["total_depth_nm"], "o-", color=colour,
                    label=f"{label}, no incubation")
        depths.plot(incubating["pulse"], incubating["total_depth_nm"], "s--", color=colour,
                    label=f"{label}, alpha_inc = 3 alpha0")
    depths.set_yscale("log")
    depths.set_xlabel("pulse")
    depths.set_ylabel("total depth of the pulse [nm]")
    depths.set_title("depth per pulse at 10 Hz")
    depths.legend(fontsize="small")
    temperatures.plot(slow["pulse"], slow["surface_temperature_before_K"], "o-", label="10 Hz")
    temperatures.plot(fast["pulse"], fast["surface_temperature_before_K"], "s-",
                      label="100 kHz")
    temperatures.set_xlabel("pulse")
    temperatures.set_ylabel("surface temperature before the pulse [K]")
    temperatures.set_title(f"{p.fluence:g} mJ/cm^2: heat left by the pulses before")
    temperatures.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "trains.png"), dpi=96)

    with open(os.path.join(out_dir, "trains.md"), "w", encoding="utf-8") as table:
        table.write("| pulse | " + " | ".join(
            f"{label}{what} [nm]" for label, _, _ in cases
            for what in (", no incubation", ", incubation")) +
            " | T before, 10 Hz [K] | T before, 100 kHz [K] |\n")
        table.write("|---" * 7 + "|\n")
        for k in range(PULSES):
            cells = [f"{c[i]['total_depth_nm'][k]:.4g}" for c in cases for i in (1, 2)]
            table.write(f"| {k + 1} | " + " | ".join(cells) +
                        f" | {slow['surface_temperature_before_K'][k]:.1f}"
                        f" | {fast['surface_temperature_before_K'][k]:.1f} |\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
