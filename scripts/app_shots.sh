#!/usr/bin/env bash
# End-to-end run of the kestrium program under a virtual X server at 1024 x 768: starts it in an
# empty directory, checks that KTparam.par appears with the default parameters, runs one
# calculation from the menu, checks the result files, opens the help and about windows, and
# leaves screenshots in shots/ of the repository. Needs Xvfb, xdotool and ImageMagick.
#   scripts/app_shots.sh [build directory]   (default build/shots)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build/shots}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
shots="$repo/shots"
mkdir -p "$shots"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target kestrium >/dev/null
program="$build/app/kestrium"

work="$(mktemp -d /tmp/kestrium_shots.XXXXXX)"
display_number=91
while [ -e "/tmp/.X${display_number}-lock" ]; do display_number=$((display_number + 1)); done
export DISPLAY=":${display_number}"

xvfb_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

fail() {
  echo "FAIL: $*" >&2
  ls -l "$work" >&2
  exit 1
}
wait_for() {  # wait_for <seconds> <test command...>
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}
shot() { sleep "${2:-0.5}"; import -window root "$shots/$1.png"; echo "  shots/$1.png"; }

cd "$work"
"$program" >"$work/program.log" 2>&1 &
program_pid=$!
wait_for 20 test -s KTparam.par || fail "KTparam.par was not written"
cmp -s KTparam.par "$repo/tests/data/params/default.par" || fail "KTparam.par differs from the defaults"
echo "KTparam.par written with the default parameters"

window=""
wait_for 20 bash -c "xdotool search --onlyvisible --name '^kestrium - ' >/dev/null" ||
  fail "no kestrium window"
window="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
shot app_title_page 1

key() {  # the frame has no window manager: give it the focus before every key
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  xdotool key "$@"
}

key alt+c
shot app_run_in_progress 0.05
wait_for 120 test -s Data1K.dat || fail "the run wrote no kinetics file"
shot app_run_finished 1
for f in Data1D.dat Data1K.dat Data1S1.dat; do
  [ -s "$f" ] || fail "result file $f missing or empty"
done
echo "result files: $(ls Data1*.dat | tr '\n' ' ')"
echo "kinetics line: $(cat Data1K.dat)"

key alt+h
shot app_help_page1 1
key space
shot app_help_page2 1
key q
shot app_after_help 0.5
key alt+a
shot app_about 1
key x
shot app_after_about 0.5

# Exit during a second run: the run is stopped and its files are closed before the program ends.
key alt+c
sleep 0.05
key alt+f
sleep 0.15
key x
wait_for 20 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "Exit did not end the program"
program_pid=""
# The default kinetics mode is Rewrite: the run ended by Exit leaves its own whole line.
[ "$(wc -l < Data1K.dat)" -eq 1 ] || fail "Data1K.dat does not hold one whole line"
[ "$(tail -c 1 Data1K.dat | od -An -c | tr -d ' ')" = '\n' ] || fail "Data1K.dat ends mid-line"
[ Data1K.dat -nt Data1S10.dat ] || fail "the run ended by Exit wrote no kinetics line"
echo "Exit during a run ended the program; its kinetics line:"
cat Data1K.dat
mkdir -p "$shots/app_run_files"
cp KTparam.par Data1*.dat "$shots/app_run_files/"
echo "result files copied to shots/app_run_files/"
