#!/usr/bin/env bash
# End-to-end check of the Experiment dialog under a real (virtual) X server at 1920 x 1080,
# driven with xdotool as a user would:
#   1. Alt+E opens "Experiment:"; Gaussian, 10 pulses at 10 Hz and a material file are set, OK;
#   2. F5 runs the train; the page shows the pulse panel; the pulse table is written;
#   3. File > Save experiment... writes the experiment file; kestrium-batch --experiment with
#      that file and the same parameter file writes the same files, byte for byte;
#   4. a bad trace and a bad material file chosen in the dialog are refused ("Experiment not
#      taken"); nothing in the folder is written or changed;
#   5. the dialog at QT_SCALE_FACTOR=2, whole on the screen.
# Screenshots go to shots/experiment_*.png of the repository. Needs Xvfb, xdotool, ImageMagick.
#   scripts/e2e_experiment.sh [build directory]   (default build/e2e)
#   KT_E2E_NO_BUILD=1 uses the programs already built there.
# Exit status 0 when every check passed; otherwise 1 with a "FAIL:" line naming the check.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
repo="$kt_repo"
build="${1:-$repo/build/e2e}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
shots="$repo/shots"
mkdir -p "$shots"

kt_build "$build" kestrium kestrium-batch
program="$build/app/kestrium"
batch="$build/app/kestrium-batch"
[ -x "$program" ] && [ -x "$batch" ] || { echo "FAIL: no programs in $build/app" >&2; exit 1; }

work="$(mktemp -d /tmp/kt_experiment.XXXXXX)"
cleanup() {
  kt_stop_all
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  import -window root "$shots/experiment_failure.png" 2>/dev/null &&
    echo "  screen at the failure: shots/experiment_failure.png" >&2
  [ -s "$work/program.log" ] && sed 's/^/    /' "$work/program.log" >&2
  exit 1
}
pass() { echo "ok: $*"; }
shot() {  # shot <name> [settle seconds]
  kt_shot "$shots/experiment_$1.png" "${2:-0.5}"
  echo "  shots/experiment_$1.png"
}
shown() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }
gone() { ! shown "$1"; }
window_of() {  # window_of <exact title>
  kt_wait_for 10 shown "$1" || fail "the window \"$1\" did not appear"
  xdotool search --onlyvisible --name "^$1\$" | head -1
}
# The dialog's template is 300 x 216 dialog units: a point given in them, clicked.
click_unit() {  # click_unit <dialog> <x> <y>
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + $2 * WIDTH / 300)) $((Y + $3 * HEIGHT / 216)) click 1
}
type_into() {  # type_into <dialog> <x> <y> <text>: the field at that point takes the text
  click_unit "$1" "$2" "$3"
  kt_key "$1" ctrl+a BackSpace
  xdotool type --delay 15 "$4"
}
# Every file of a folder with its checksum.
listing() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum); }

run="$work/desk"
mkdir -p "$run"
cp "$repo/materials/polyimide.toml" "$run/mat.toml"
printf '# time_ns,intensity\n0,0\n5,oops\n10,0\n' >"$run/bad_trace.csv"
printf 'name = "bad"\n[density]\nvalue = "heavy"\n' >"$run/bad_mat.toml"

kt_start_x 1920x1080 "$work/xvfb.log" || fail "Xvfb did not start or does not answer"
cd "$run"
"$program" >"$work/program.log" 2>&1 &
kt_program_pid=$!
kt_wait_for 20 shown "kestrium - KTparam.par" || fail "no window titled \"kestrium - KTparam.par\""
frame="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
shot 1_title_page 1

# ---- 1. the dialog: Gaussian, 10 pulses at 10 Hz, a material file ----
kt_key "$frame" alt+e
dialog="$(window_of "Experiment:")"
click_unit "$dialog" 20 78                   # Gaussian
type_into "$dialog" 200 132 10               # pulses
type_into "$dialog" 200 147 10               # rate
type_into "$dialog" 170 186 "$run/mat.toml"  # material
shot 2_dialog_1920x1080 0.5
click_unit "$dialog" 190 205                 # OK
kt_wait_for 10 gone "Experiment:" || fail "the Experiment dialog did not close on OK"
pass "the dialog took Gaussian, 10 pulses at 10 Hz and the material file"

# ---- 2. F5: the train ----
kt_key "$frame" F5
kt_wait_for 120 test -s Data1P.dat || fail "F5 ran no train (no pulse table)"
sleep 1
shot 3_train_finished 0.5
[ "$(grep -c . Data1P.dat)" -eq 11 ] || fail "the pulse table has not 10 pulses: $(cat Data1P.dat)"
pass "F5 ran the train; the pulse table lists 10 pulses"

# ---- 3. Save experiment...; the batch runner with that file writes the same files ----
kt_key "$frame" alt+f
sleep 0.3
kt_key "$frame" m
chooser="$(window_of "Experiment file")"
sleep 0.3
kt_key "$chooser" ctrl+a
xdotool type --delay 15 "$run/exp.toml"
kt_key "$chooser" Return
kt_wait_for 10 test -s "$run/exp.toml" || fail "Save experiment... wrote no file"
grep -q "^material = .mat.toml.$" exp.toml || fail "the experiment file names no material: $(cat exp.toml)"
mkdir -p "$work/batch"
cp KTparam.par "$work/batch/"
(cd "$work/batch" && "$batch" KTparam.par --experiment "$run/exp.toml" >/dev/null) ||
  fail "kestrium-batch --experiment failed"
for file in "$work"/batch/Data1*; do
  cmp -s "$file" "$run/$(basename "$file")" || fail "$(basename "$file") differs from the batch runner's"
done
desk_files="$(cd "$run" && ls Data1* | sort | tr '\n' ' ')"
batch_files="$(cd "$work/batch" && ls Data1* | sort | tr '\n' ' ')"
[ "$desk_files" = "$batch_files" ] || fail "other files: $desk_files / $batch_files"
pass "kestrium-batch --experiment exp.toml wrote the same $(echo "$batch_files" | wc -w) files, byte for byte"

# ---- 4. bad trace and bad material: refused, nothing written ----
before="$(listing "$run")"
kt_key "$frame" alt+e
dialog="$(window_of "Experiment:")"
click_unit "$dialog" 20 89                         # Measured
type_into "$dialog" 150 102 "$run/bad_trace.csv"   # trace
click_unit "$dialog" 190 205                       # OK
message="$(window_of "Experiment not taken")"
shot 4_bad_trace 0.5
kt_key "$message" Return
dialog="$(window_of "Experiment:")"
click_unit "$dialog" 20 67                         # back to the parameters' shape
type_into "$dialog" 170 186 "$run/bad_mat.toml"    # material
click_unit "$dialog" 190 205                       # OK
message="$(window_of "Experiment not taken")"
shot 5_bad_material 0.5
kt_key "$message" Return
dialog="$(window_of "Experiment:")"
kt_key "$dialog" Escape
kt_wait_for 10 gone "Experiment:" || fail "Cancel did not close the dialog"
[ "$(listing "$run")" = "$before" ] || fail "a refused experiment wrote or changed a file"
pass "a bad trace and a bad material file were refused; nothing was written"
cd "$work"
kt_stop_all

# ---- 5. the dialog at scale 2 ----
mkdir -p "$work/scaled"
kt_start_x 1920x1080 "$work/xvfb.log" || fail "Xvfb did not start again"
cd "$work/scaled"
QT_SCALE_FACTOR=2 "$program" >"$work/program.log" 2>&1 &
kt_program_pid=$!
kt_wait_for 20 shown "kestrium - KTparam.par" || fail "no window at scale 2"
frame="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
kt_key "$frame" alt+e
dialog="$(window_of "Experiment:")"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1920 ] && [ $((Y + HEIGHT)) -le 1080 ] ||
  fail "the dialog is not whole on the screen at scale 2 (${WIDTH}x${HEIGHT}+${X}+${Y})"
shot 6_dialog_scale2 0.5
pass "the dialog at scale 2: ${WIDTH}x${HEIGHT}+${X}+${Y}, whole on the screen"
kt_key "$dialog" Escape
cd "$work"
kt_stop_all
echo "all checks passed"
