#!/usr/bin/env bash
# The cost of the batch runner as a whole process, start-up included:
#   - instructions of the default run, of `--version` and of the drawn run (`--png`), counted by
#     callgrind over the whole process (dynamic loading, start-up, run, exit);
#   - wall time of a sweep and of a study at --jobs 1 and --jobs 2, with the load average read
#     just before each (the speed-up only means something on an otherwise idle machine).
#
# usage: bench/process_cost.sh [PROGRAM]
#   PROGRAM  the kestrium-batch to measure (default: build/release/app/kestrium-batch)
# environment: KT_BENCH_SKIP_TIMING=1 leaves out the timed sweep and study.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$(realpath "${1:-$here/build/release/app/kestrium-batch}")
parameters=$here/tests/data/params/default.par
[[ -x $program ]] || { echo "process_cost: no program at $program" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "process_cost: valgrind is not installed" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

# A fresh folder holding the default parameter file as KTparam.par; prints its path.
fresh_folder() {
  local dir
  dir=$(mktemp -d "$scratch/run.XXXXXX")
  cp "$parameters" "$dir/KTparam.par"
  echo "$dir"
}

# Instructions of one whole process: callgrind's "Collected" total.
instructions() {
  local dir=$1
  shift
  (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file="$dir/callgrind.out" "$@" \
     > "$dir/stdout.txt" 2> "$dir/valgrind.txt") ||
    { echo "process_cost: failed: $*" >&2; cat "$dir/valgrind.txt" >&2; exit 1; }
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$dir/valgrind.txt"
}

millions() { awk -v n="$1" 'BEGIN { printf "%.1f M", n / 1e6 }'; }

echo "program: $program"
echo "shared libraries at start-up: $(ldd "$program" | wc -l)"

headless=$(instructions "$(fresh_folder)" "$program" KTparam.par)
version=$(instructions "$(fresh_folder)" "$program" --version)
drawn=$(instructions "$(fresh_folder)" "$program" KTparam.par --png page.png --size 1024x768)
echo "default run, whole process:      $(millions "$headless") instructions"
echo "--version, whole process:        $(millions "$version") instructions"
echo "default run with --png:          $(millions "$drawn") instructions"
awk -v d="$drawn" -v h="$headless" 'BEGIN { printf "drawn / headless:                %.2f\n", d / h }'

[[ ${KT_BENCH_SKIP_TIMING:-0} == 1 ]] && exit 0

# Wall time of one command in seconds, printed with the one-minute load average before it.
timed() {
  local label=$1 dir
  shift
  dir=$(fresh_folder)
  local load start end
  load=$(cut -d' ' -f1 /proc/loadavg)
  start=$(date +%s.%N)
  (cd "$dir" && "$program" "$@" > /dev/null) ||
    { echo "process_cost: failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v l="$label" -v s="$start" -v e="$end" -v a="$load" \
    'BEGIN { printf "%-28s %7.2f s   (load average before: %s)\n", l, e - s, a }'
}

echo "cores: $(nproc)"
for jobs in 1 2; do
  timed "sweep 40:110:10 --jobs $jobs" sweep KTparam.par --fluence 40:110:10 --jobs "$jobs" \
    --csv sweep.csv
done
for jobs in 1 2; do
  timed "study 40:110:10 --jobs $jobs" study KTparam.par --vary fluence=40:110:10 --out study \
    --jobs "$jobs"
done
