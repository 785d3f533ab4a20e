#!/usr/bin/env bash
# The cost of the batch runner as a whole process, start-up included:
#   - instructions of the default run, of `--version` and of the drawn run (`--png`), counted by
#     callgrind over the whole process (dynamic loading, start-up, run, exit), and of
#     `python3 -c "import kestrium"` on the build's package (KT_BENCH_PYTHON: the interpreter);
#   - wall time of a sweep and of a study of 37 runs at --jobs 1 and --jobs 2 (the best of a few
#     repeats), with the load average read just before each and the speed-up of the second job
#     (it only means something on an otherwise idle machine).
#
# usage: bench/process_cost.sh [PROGRAM]
#   PROGRAM  the kestrium-batch to measure (default: build/release/app/kestrium-batch)
# environment: KT_BENCH_SKIP_TIMING=1 leaves out the timed sweep and study;
#              KT_BENCH_REPEATS=N times each command N times (default 3).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$(realpath "${1:-$here/build/release/app/kestrium-batch}")
parameters=$here/tests/data/params/default.par
[[ -x $program ]] || { echo "process_cost: no program at $program" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "process_cost: valgrind is not installed" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
bench_name=process_cost
. "$here/bench/lib.sh"

millions() { awk -v n="$1" 'BEGIN { printf "%.1f M", n / 1e6 }'; }

echo "program: $program"
echo "shared libraries at start-up: $(ldd "$program" | wc -l)"

headless=$(instructions_in "$(fresh_folder)" "$program" KTparam.par)
version=$(instructions_in "$(fresh_folder)" "$program" --version)
drawn=$(instructions_in "$(fresh_folder)" "$program" KTparam.par --png page.png --size 1024x768)
echo "default run, whole process:      $(millions "$headless") instructions"
echo "--version, whole process:        $(millions "$version") instructions"
echo "default run with --png:          $(millions "$drawn") instructions"
awk -v d="$drawn" -v h="$headless" 'BEGIN { printf "drawn / headless:                %.2f\n", d / h }'

# `import kestrium` from the package of the same build, and the interpreter doing nothing.
package=$(dirname "$program")/../python
python=${KT_BENCH_PYTHON:-/usr/bin/python3}
if [[ -d $package/kestrium && -x $python ]]; then
  imported=$(PYTHONPATH=$package instructions_in "$(fresh_folder)" "$python" -c "import kestrium")
  bare=$(instructions_in "$(fresh_folder)" "$python" -c pass)
  echo "import kestrium, whole process:  $(millions "$imported") instructions" \
       "($(millions "$bare") for $python -c pass)"
fi

[[ ${KT_BENCH_SKIP_TIMING:-0} == 1 ]] && exit 0

# The shortest wall time in seconds of `repeats` runs of one command, each in a fresh folder (the
# shortest is the one least disturbed by other work on the machine), printed with the one-minute
# load average read before the first run; kept in `best`.
repeats=${KT_BENCH_REPEATS:-3}
timed() {
  local label=$1 dir load start end
  shift
  best=
  load=$(cut -d' ' -f1 /proc/loadavg)
  for ((i = 0; i < repeats; ++i)); do
    dir=$(fresh_folder)
    start=$(date +%s.%N)
    (cd "$dir" && "$program" "$@" > /dev/null) ||
      { echo "process_cost: failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    best=$(awk -v b="$best" -v s="$start" -v e="$end" \
      'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
  done
  awk -v l="$label" -v b="$best" -v a="$load" -v n="$repeats" \
    'BEGIN { printf "%-30s %7.3f s   (best of %d; load average before: %s)\n", l, b, n, a }'
}

# 37 runs each (fluences 40 to 400 mJ/cm^2), so that the last run to end leaves the other core
# idle for a small part of the whole.
fluences=40:400:10
echo "cores: $(nproc)"
timed "sweep $fluences --jobs 1" sweep KTparam.par --fluence "$fluences" --jobs 1 --csv sweep.csv
one=$best
timed "sweep $fluences --jobs 2" sweep KTparam.par --fluence "$fluences" --jobs 2 --csv sweep.csv
awk -v a="$one" -v b="$best" 'BEGIN { printf "sweep speed-up at --jobs 2:     %.2f\n", a / b }'
timed "study $fluences --jobs 1" study KTparam.par --vary "fluence=$fluences" --out study --jobs 1
one=$best
timed "study $fluences --jobs 2" study KTparam.par --vary "fluence=$fluences" --out study --jobs 2
awk -v a="$one" -v b="$best" 'BEGIN { printf "study speed-up at --jobs 2:     %.2f\n", a / b }'
