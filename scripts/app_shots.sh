#!/usr/bin/env bash
# End-to-end run of the kestrium program under a virtual X server at 1024 x 768: starts it in an
# empty directory, checks that KTparam.par appears with the default parameters, runs one
# calculation from the menu, checks the result files, opens the help and about windows, and
# leaves screenshots in shots/ of the repository. Needs Xvfb, xdotool and ImageMagick.
#   scripts/app_shots.sh [build directory]   (default build/shots)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
repo="$kt_repo"
kt_prepare "${1:-$repo/build/shots}" kestrium_shots kestrium
build="$kt_build_dir" shots="$kt_shots" work="$kt_work"
program="$build/app/kestrium"

fail() {
  echo "FAIL: $*" >&2
  ls -l "$work" >&2
  exit 1
}
kt_start_x 1024x768 "$work/xvfb.log" || fail "Xvfb did not start or does not answer"
shot() { kt_screen "$1" "${2:-0.5}"; }

cd "$work"
"$program" >"$work/program.log" 2>&1 &
kt_program_pid=$!
kt_wait_for 20 test -s KTparam.par || fail "KTparam.par was not written"
cmp -s KTparam.par "$repo/tests/data/params/default.par" || fail "KTparam.par differs from the defaults"
echo "KTparam.par written with the default parameters"

window="$(kt_find_window '^kestrium - ')" || fail "no kestrium window"
shot app_title_page 1

key() { kt_key "$window" "$@"; }

key alt+c
shot app_run_in_progress 0.05
kt_wait_for 120 test -s Data1K.dat || fail "the run wrote no kinetics file"
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
kt_wait_for 20 bash -c "! kill -0 $kt_program_pid 2>/dev/null" || fail "Exit did not end the program"
kt_program_pid=""
# The default kinetics mode is Rewrite: the run ended by Exit leaves its own whole line.
[ "$(wc -l < Data1K.dat)" -eq 1 ] || fail "Data1K.dat does not hold one whole line"
[ "$(tail -c 1 Data1K.dat | od -An -c | tr -d ' ')" = '\n' ] || fail "Data1K.dat ends mid-line"
[ Data1K.dat -nt Data1S10.dat ] || fail "the run ended by Exit wrote no kinetics line"
echo "Exit during a run ended the program; its kinetics line:"
cat Data1K.dat
mkdir -p "$shots/app_run_files"
cp KTparam.par Data1*.dat "$shots/app_run_files/"
echo "result files copied to shots/app_run_files/"
