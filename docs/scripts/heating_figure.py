#!/usr/bin/env python3
"""Validation: heating by an exponential source against the closed-form solution.

With ablation switched off (no surface channel, no volume reaction), a temperature-independent
material and a rectangular pulse of constant absorbed intensity I, the model is the heat
equation of a half-space with the source I·α·exp(−αz), an insulated surface and the ambient
temperature far away. Its surface temperature rise is

    ΔT(t) = I/(κα) · (2·sqrt(s/π) − 1 + exp(s)·erfc(sqrt(s))),  s = α²·κ·t/(ρ·c),

during the pulse and ΔT(t) − ΔT(t − τ) after it. The script runs the model, writes
heating.png (the two curves and their difference) and heating.md (the largest differences)
into the folder given as its argument.

    PYTHONPATH=build/release/python python3 docs/scripts/heating_figure.py OUT_DIR
"""

import math
import os
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kestrium  # noqa: E402


def surface_rise_K(t_s, intensity_W_per_cm2, p):
    """The closed-form surface temperature rise of a constant source switched on at t = 0."""
    alpha = p.absorption_coefficient
    kappa = p.thermal_conductivity
    diffusivity = kappa / (p.density * p.specific_heat)
    s = alpha * alpha * diffusivity * t_s
    if s <= 0.0:
        return 0.0
    root = math.sqrt(s)
    if s < 50.0:
        scaled_erfc = math.exp(s) * math.erfc(root)
    else:  # exp(s) overflows past s = 709: the asymptotic series of exp(s) erfc(sqrt(s))
        scaled_erfc = (1.0 - 1.0 / (2.0 * s) + 3.0 / (4.0 * s * s)) / math.sqrt(math.pi * s)
    return intensity_W_per_cm2 / (kappa * alpha) * (2.0 * math.sqrt(s / math.pi) - 1.0 + scaled_erfc)


def main(out_dir):
    p = kestrium.Parameters(
        ablation_model=1, material=2, pulse_shape=2, pre_exponential_vo=0.0,
        sublimation_enthalpy_dh=0.0, reflection_coefficient=0.0, screening_coefficient=0.0,
        fluence=20.0, pulse_width=15.0)
    r = kestrium.run(p, profiles=False)
    pulse_s = p.pulse_width * 1e-9
    intensity = p.fluence * 1e-3 / pulse_s  # W/cm^2, absorbed (no reflection)
    t_s = r.time_ns * 1e-9
    exact = np.array([surface_rise_K(t, intensity, p) - surface_rise_K(t - pulse_s, intensity, p)
                      for t in t_s])
    model = r.surface_temperature_K - p.ambient_temperature
    shown = r.time_ns <= 60.0
    peak = float(exact.max())
    difference = model - exact

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(6.4, 5.6), sharex=True,
                                      gridspec_kw={"height_ratios": [3, 2]})
    top.plot(r.time_ns[shown], exact[shown], "k-", lw=2.5, label="closed form [K]")
    top.plot(r.time_ns[shown], model[shown], "C1--", lw=1.5, label="model [K]")
    top.set_ylabel("surface temperature rise [K]")
    top.set_title(f"Heating by an exponential source: {p.fluence:g} mJ/cm², {p.pulse_width:g} ns rectangle")
    top.legend()
    bottom.plot(r.time_ns[shown], 100.0 * difference[shown] / peak, "C3-")
    bottom.axhline(0.0, color="grey", lw=0.5)
    bottom.set_xlabel("time [ns]")
    bottom.set_ylabel("model − closed form\n[% of the peak rise]")
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "heating.png"), dpi=96)

    at_peak = int(np.argmax(exact))
    with open(os.path.join(out_dir, "heating.md"), "w", encoding="utf-8") as table:
        table.write("| quantity | closed form | model |\n|---|---|---|\n")
        table.write(f"| peak rise [K] | {peak:.2f} | {model.max():.2f} |\n")
        table.write(f"| time of the peak [ns] | {r.time_ns[at_peak]:.2f} | "
                    f"{r.time_ns[int(np.argmax(model))]:.2f} |\n")
        table.write(f"| largest difference, first 60 ns [K] | | "
                    f"{np.abs(difference[shown]).max():.2f} "
                    f"({100.0 * np.abs(difference[shown]).max() / peak:.2f} % of the peak) |\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
