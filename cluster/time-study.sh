#!/bin/bash
# Times a 512-point study (32 fluences x 16 pulse widths, default material) on this machine:
# the whole study with --jobs 2, then one 64-point shard with --jobs 1 for the time per point.
# Prints wall and CPU seconds and the load average before and after, since the figures are
# only as quiet as the machine.
#
# Usage: cluster/time-study.sh [KESTRIUM_BATCH]   (default build/release/app/kestrium-batch)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
program="${1:-$here/../build/release/app/kestrium-batch}"
if [ ! -x "$program" ]; then
  echo "$0: no batch runner at $program; build it (cmake --build build/release --target kestrium-batch) or give its path" >&2
  exit 2
fi
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"
work="$(mktemp -d /tmp/kt-study-time-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp "$here/../tests/data/params/default.par" "$work/KTparam.par"
cd "$work"
study=(KTparam.par --vary fluence=30:3000:log32 --vary pulse_width=5:20:1)

timed() {  # label, points, command...
  local label="$1" points="$2"
  shift 2
  local load_before start end
  load_before="$(cut -d' ' -f1 /proc/loadavg)"
  start="$(date +%s.%N)"
  /usr/bin/time -f "%U %S" -o cpu.txt "$@" >/dev/null
  end="$(date +%s.%N)"
  read -r user system < cpu.txt
  awk -v l="$label" -v n="$points" -v s="$start" -v e="$end" -v u="$user" -v y="$system" \
      -v b="$load_before" -v a="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    w = e - s; c = u + y
    printf "%-32s %4d points  wall %7.2f s (%6.1f ms/point)  CPU %7.2f s (%5.1f ms/point)  load %s -> %s\n",
           l, n, w, 1000 * w / n, c, 1000 * c / n, b, a }'
}

timed "512 points, --jobs 2" 512 "$program" study "${study[@]}" --out whole --jobs 2
timed "shard 1/8 (64 points), --jobs 1" 64 "$program" study "${study[@]}" --out shard --jobs 1 --shard 1/8
