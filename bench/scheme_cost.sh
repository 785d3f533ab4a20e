#!/usr/bin/env bash
# What the accurate scheme costs against the published scheme, at the default grid, on the four
# reference sets of the convergence table (surface model at 50 mJ/cm^2, the defaults, the bulk
# model at 25 and at 1000 mJ/cm^2), and with a tolerance of 1e-3 on the defaults:
#   - instructions of each run as a whole process, counted by callgrind (they do not depend on
#     the machine's load), and their ratio accurate / published;
#   - processor time (user + system seconds) of each run, the best of a few repeats, with the
#     load average read before.
#
# usage: bench/scheme_cost.sh [PROGRAM]
#   PROGRAM  the kestrium-batch to measure (default: build/release/app/kestrium-batch)
# environment: KT_BENCH_SKIP_TIMING=1 leaves out the processor times;
#              KT_BENCH_REPEATS=N runs each N times for its time (default 10);
#              KT_BENCH_SKIP_TOLERANCE=1 leaves out the runs at --tolerance 1e-3.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$(realpath "${1:-$here/build/release/app/kestrium-batch}")
parameters=$here/tests/data/params/default.par
repeats=${KT_BENCH_REPEATS:-10}
[[ -x $program ]] || { echo "scheme_cost: no program at $program" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "scheme_cost: valgrind is not installed" >&2; exit 2; }

bench_name=scheme_cost
. "$here/bench/lib.sh"

# name|options of the set
sets=(
  "surface, 50 mJ/cm^2|--set ablation_model=surface --set fluence=50"
  "defaults (bulk, 50 mJ/cm^2)|"
  "bulk, 25 mJ/cm^2|--set fluence=25"
  "bulk, 1000 mJ/cm^2|--set fluence=1000"
)

# Instructions of one run of the program on a fresh copy of the default parameters.
instructions() { instructions_in "$(fresh_folder)" "$program" KTparam.par "$@"; }

# Processor time (user + system) of one whole process in seconds, the least of the repeats (the
# kernel's per-process accounting, read with wait4, to the microsecond).
processor_time() {
  local dir
  dir=$(fresh_folder)
  (cd "$dir" && python3 - "$repeats" "$program" KTparam.par "$@" <<'PYTHON'
import os, subprocess, sys
best = None
for _ in range(int(sys.argv[1])):
    child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit("scheme_cost: failed: " + " ".join(sys.argv[2:]))
    seconds = usage.ru_utime + usage.ru_stime
    best = seconds if best is None else min(best, seconds)
print(f"{best:.4f}")
PYTHON
  )
}

load() { cut -d' ' -f1 /proc/loadavg; }

echo "program: $program"
printf '%-30s %14s %14s %7s' "set" "published" "accurate" "ratio"
[[ ${KT_BENCH_SKIP_TIMING:-0} == 1 ]] || printf ' %10s %10s %7s %6s' "published" "accurate" "ratio" "load"
echo
for entry in "${sets[@]}"; do
  name=${entry%%|*}
  read -r -a options <<< "${entry#*|}"
  published=$(instructions "${options[@]}" --scheme published)
  accurate=$(instructions "${options[@]}" --scheme accurate)
  printf '%-30s %12.1f M %12.1f M %7.3f' "$name" "$(awk -v n="$published" 'BEGIN { print n / 1e6 }')" \
    "$(awk -v n="$accurate" 'BEGIN { print n / 1e6 }')" \
    "$(awk -v a="$accurate" -v p="$published" 'BEGIN { print a / p }')"
  if [[ ${KT_BENCH_SKIP_TIMING:-0} != 1 ]]; then
    before=$(load)
    tp=$(processor_time "${options[@]}" --scheme published)
    ta=$(processor_time "${options[@]}" --scheme accurate)
    printf ' %8.4f s %8.4f s %7.2f %6s' "$tp" "$ta" "$(awk -v a="$ta" -v p="$tp" 'BEGIN { print a / p }')" "$before"
  fi
  echo
done

if [[ ${KT_BENCH_SKIP_TOLERANCE:-0} != 1 ]]; then
  tolerance=$(instructions --tolerance 1e-3)
  printf '%-30s %14s %12.1f M' "defaults, --tolerance 1e-3" "" "$(awk -v n="$tolerance" 'BEGIN { print n / 1e6 }')"
  if [[ ${KT_BENCH_SKIP_TIMING:-0} != 1 ]]; then
    before=$(load)
    printf ' %10s %8.4f s %7s %6s' "" "$(repeats=1 processor_time --tolerance 1e-3)" "" "$before"
  fi
  echo
fi
