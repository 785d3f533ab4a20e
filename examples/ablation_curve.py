# %% [markdown]
# # An ablation curve of polyimide, in the style of a notebook
#
# Run from the build tree (or after installing the package):
#
#     PYTHONPATH=build/release/python /usr/bin/python3 examples/ablation_curve.py [out.png]
#
# Each `# %%` block is a notebook cell; paste them into Jupyter as they are.

# %%
import sys

import matplotlib

if len(sys.argv) > 1:
    matplotlib.use("Agg")  # writing a picture file: no window needed
import matplotlib.pyplot as plt
import numpy as np

import kestrium

# %% [markdown]
# The defaults are the program's: bulk photothermal model, 15 ns triangular pulse, polyimide.

# %%
p = kestrium.Parameters()
print(p.fluence, "mJ/cm^2,", p.pulse_width, "ns,", kestrium.Parameters.fields()["fluence"][0])

# %% [markdown]
# One run: the arrays hold every time step; the depth profiles come at the ten spatial instants.

# %%
r = kestrium.run(p.copy(fluence=150))
print(r)

# %% [markdown]
# A sweep of 24 log-spaced fluences runs on all cores; the result is a dict of NumPy arrays.

# %%
curve = kestrium.sweep(p, "10:3000", log=24)
threshold_region = curve["total_depth_nm"] < 1.0
print("below 1 nm up to", curve["fluence_mJ_per_cm2"][threshold_region].max(), "mJ/cm^2")

# %%
fig, (left, middle, right) = plt.subplots(1, 3, figsize=(15, 4.5))
left.semilogx(curve["fluence_mJ_per_cm2"], curve["total_depth_nm"], "o-", label="total")
left.semilogx(curve["fluence_mJ_per_cm2"], curve["surface_recession_nm"], "s--",
              label="surface recession")
left.semilogx(curve["fluence_mJ_per_cm2"], curve["volume_depth_nm"], "^:", label="volume")
left.set(xlabel="fluence [mJ/cm$^2$]", ylabel="ablated depth per pulse [nm]",
         title="Ablation curve")
left.legend()

middle.plot(r.time_ns, r.surface_temperature_K)
middle.set(xlabel="time [ns]", ylabel="surface temperature [K]", title="150 mJ/cm$^2$")
twin = middle.twinx()
twin.plot(r.time_ns, r.depth_nm, color="tab:red")
twin.set_ylabel("ablated depth [nm]", color="tab:red")

for profile in r.profiles[::3]:
    right.plot(profile.depth_nm, profile.temperature_K, label=f"{profile.time_ns:.1f} ns")
right.set(xlabel="depth below the surface [nm]", ylabel="temperature [K]",
          title="Temperature profiles")
right.legend()
fig.tight_layout()

if len(sys.argv) > 1:
    fig.savefig(sys.argv[1], dpi=100)
    print("written", sys.argv[1])
else:
    plt.show()
