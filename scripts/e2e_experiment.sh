#!/usr/bin/env bash
# End-to-end check of the Experiment dialog under a real (virtual) X server at 1920 x 1080,
# driven with xdotool as a user would:
#   1. Alt+E opens "Experiment:"; Gaussian, 10 pulses at 10 Hz and a material file are set, OK;
#   2. F5 runs the train; the page shows the pulse panel; the pulse table is written;
#   3. File > Save experiment... writes the experiment file; kestrium-batch --experiment with
#      that file and the same parameter file writes the same files, byte for byte;
#   3b. one pulse on a Gaussian spot of 50 um: F5 writes the crater table, equal to the batch
#      runner's with the experiment saved from the window;
#   3c. a train of 2 pulses at 10 Hz on that spot: F5 runs it at every radius and writes the
#      crater table and every other file as the batch runner does, byte for byte;
#   4. a bad trace and a bad material file chosen in the dialog are refused ("Experiment not
#      taken"); nothing in the folder is written or changed;
#   5. the dialog at QT_SCALE_FACTOR=2, whole on the screen, with the accurate scheme's tolerance;
#   6. Exit with that experiment unsaved asks Save / Discard / Cancel; Cancel keeps the program,
#      Discard closes it.
# Screenshots go to shots/experiment_*.png of the repository. Needs Xvfb, xdotool, ImageMagick.
#   scripts/e2e_experiment.sh [build directory]   (default build/e2e)
#   KT_E2E_NO_BUILD=1 uses the programs already built there.
# Exit status 0 when every check passed; otherwise 1 with a "FAIL:" line naming the check.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
repo="$kt_repo"
kt_prepare "${1:-$repo/build/e2e}" kt_experiment kestrium kestrium-batch
build="$kt_build_dir" shots="$kt_shots" work="$kt_work"
program="$build/app/kestrium"
batch="$build/app/kestrium-batch"
[ -x "$program" ] && [ -x "$batch" ] || { echo "FAIL: no programs in $build/app" >&2; exit 1; }

fail() { kt_fail experiment_failure "$*"; }
pass() { echo "ok: $*"; }
shot() { kt_screen "experiment_$1" "${2:-0.5}"; }  # shot <name> [settle seconds]
# The dialog's template is 300 x 279 dialog units: a point given in them, clicked.
click_unit() {  # click_unit <dialog> <x> <y>
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + $2 * WIDTH / 300)) $((Y + $3 * HEIGHT / 279)) click 1
}
type_into() {  # type_into <dialog> <x> <y> <text>: the field at that point takes the text
  click_unit "$1" "$2" "$3"
  kt_key "$1" ctrl+a BackSpace
  xdotool type --delay 15 "$4"
}
# File > Save experiment... into <file>.
save_experiment() {  # save_experiment <file>
  kt_key "$frame" alt+f
  sleep 0.3
  kt_key "$frame" m
  chooser="$(kt_window_of "Experiment file")"
  sleep 0.3
  kt_key "$chooser" ctrl+a
  xdotool type --delay 15 "$1"
  kt_key "$chooser" Return
  kt_wait_for 10 test -s "$1" || fail "Save experiment... wrote no file $(basename "$1")"
}
# kestrium-batch with the window's parameter file and <experiment file>, in the new folder <dir>.
batch_run() {  # batch_run <experiment file> <dir>
  mkdir -p "$2"
  cp KTparam.par "$2/"
  (cd "$2" && "$batch" KTparam.par --experiment "$1" >/dev/null) ||
    fail "kestrium-batch --experiment $(basename "$1") failed"
}

run="$work/desk"
mkdir -p "$run"
cp "$repo/materials/polyimide.toml" "$run/mat.toml"
printf '# time_ns,intensity\n0,0\n5,oops\n10,0\n' >"$run/bad_trace.csv"
printf 'name = "bad"\n[density]\nvalue = "heavy"\n' >"$run/bad_mat.toml"

kt_start_x 1920x1080 "$work/xvfb.log" || fail "Xvfb did not start or does not answer"
cd "$run"
"$program" >"$work/program.log" 2>&1 &
kt_program_pid=$!
kt_wait_for 20 kt_shown "kestrium - KTparam.par" || fail "no window titled \"kestrium - KTparam.par\""
frame="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
shot 1_title_page 1

# ---- 1. the dialog: Gaussian, 10 pulses at 10 Hz, a material file ----
kt_key "$frame" alt+e
dialog="$(kt_window_of "Experiment:")"
click_unit "$dialog" 20 93                   # Gaussian
type_into "$dialog" 200 147 10               # pulses
type_into "$dialog" 200 162 10               # rate
type_into "$dialog" 170 249 "$run/mat.toml"  # material
shot 2_dialog_1920x1080 0.5
click_unit "$dialog" 190 268                 # OK
kt_wait_for 10 kt_gone "Experiment:" || fail "the Experiment dialog did not close on OK"
pass "the dialog took Gaussian, 10 pulses at 10 Hz and the material file"

# ---- 2. F5: the train ----
kt_key "$frame" F5
kt_wait_for 120 test -s Data1P.dat || fail "F5 ran no train (no pulse table)"
sleep 1
shot 3_train_finished 0.5
[ "$(grep -c . Data1P.dat)" -eq 11 ] || fail "the pulse table has not 10 pulses: $(cat Data1P.dat)"
pass "F5 ran the train; the pulse table lists 10 pulses"

# ---- 3. Save experiment...; the batch runner with that file writes the same files ----
save_experiment "$run/exp.toml"
grep -q "^material = .mat.toml.$" exp.toml || fail "the experiment file names no material: $(cat exp.toml)"
batch_run "$run/exp.toml" "$work/batch"
for file in "$work"/batch/Data1*; do
  cmp -s "$file" "$run/$(basename "$file")" || fail "$(basename "$file") differs from the batch runner's"
done
desk_files="$(cd "$run" && ls Data1* | sort | tr '\n' ' ')"
batch_files="$(cd "$work/batch" && ls Data1* | sort | tr '\n' ' ')"
[ "$desk_files" = "$batch_files" ] || fail "other files: $desk_files / $batch_files"
pass "kestrium-batch --experiment exp.toml wrote the same $(echo "$batch_files" | wc -w) files, byte for byte"

# ---- 3b. one pulse on a Gaussian spot: the crater table ----
kt_key "$frame" alt+e
dialog="$(kt_window_of "Experiment:")"
type_into "$dialog" 200 147 1                 # pulses
click_unit "$dialog" 118 210                  # Gaussian spot
type_into "$dialog" 200 224 50                # radius
shot 3b_spot_dialog 0.5
click_unit "$dialog" 190 268                  # OK
kt_wait_for 10 kt_gone "Experiment:" || fail "the Experiment dialog did not close on OK (spot)"
kt_key "$frame" F5
kt_wait_for 180 test -s Data1C.dat || fail "F5 on a spot wrote no crater table"
sleep 1
save_experiment "$run/spot.toml"
grep -q '^radius_um = 50' spot.toml || fail "the experiment file has no spot: $(cat spot.toml)"
batch_run "$run/spot.toml" "$work/spot"
for name in Data1C.dat Data1D.dat; do
  cmp -s "$work/spot/$name" "$run/$name" || fail "$name on the spot differs from the batch runner's"
done
pass "one pulse on a Gaussian spot: the crater table and the depths equal the batch runner's"

# ---- 3c. a train on the spot: every radius run, the files equal the batch runner's ----
rm -f Data1*
kt_key "$frame" alt+e
dialog="$(kt_window_of "Experiment:")"
type_into "$dialog" 200 147 2                 # pulses
type_into "$dialog" 200 162 10                # rate
click_unit "$dialog" 190 268                  # OK
kt_wait_for 10 kt_gone "Experiment:" || fail "the Experiment dialog did not close on OK (spot's train)"
kt_key "$frame" F5
kt_wait_for 300 test -s Data1C.dat || fail "F5 on a spot's train wrote no crater table"
sleep 1
shot 3c_spot_train 0.5
save_experiment "$run/spot_train.toml"
batch_run "$run/spot_train.toml" "$work/spot_train"
for file in "$work"/spot_train/Data1*; do
  cmp -s "$file" "$run/$(basename "$file")" ||
    fail "$(basename "$file") of the spot's train differs from the batch runner's"
done
desk_files="$(ls Data1* | sort | tr '\n' ' ')"
batch_files="$(cd "$work/spot_train" && ls Data1* | sort | tr '\n' ' ')"
[ "$desk_files" = "$batch_files" ] || fail "other files (spot's train): $desk_files / $batch_files"
pass "a 2-pulse train on the spot wrote the batch runner's $(echo "$batch_files" | wc -w) files, byte for byte"

# ---- 4. bad trace and bad material: refused, nothing written ----
before="$(kt_listing "$run")"
kt_key "$frame" alt+e
dialog="$(kt_window_of "Experiment:")"
# The pulse shape clicked at <x0> <y0>, <file> typed into the field at <x> <y>, OK: refused.
refused() {  # refused <x0> <y0> <x> <y> <file> <shot>
  click_unit "$dialog" "$1" "$2"
  type_into "$dialog" "$3" "$4" "$5"
  click_unit "$dialog" 190 268                     # OK
  message="$(kt_window_of "Experiment not taken")"
  shot "$6" 0.5
  kt_key "$message" Return
  dialog="$(kt_window_of "Experiment:")"
}
refused 20 104 150 117 "$run/bad_trace.csv" 4_bad_trace   # Measured; the trace
refused 20 82 170 249 "$run/bad_mat.toml" 5_bad_material # the parameters' shape; the material
kt_key "$dialog" Escape
kt_wait_for 10 kt_gone "Experiment:" || fail "Cancel did not close the dialog"
[ "$(kt_listing "$run")" = "$before" ] || fail "a refused experiment wrote or changed a file"
pass "a bad trace and a bad material file were refused; nothing was written"
cd "$work"
kt_stop_all

# ---- 5. the dialog at scale 2 ----
mkdir -p "$work/scaled"
kt_start_x 1920x1080 "$work/xvfb.log" || fail "Xvfb did not start again"
cd "$work/scaled"
QT_SCALE_FACTOR=2 "$program" >"$work/program.log" 2>&1 &
kt_program_pid=$!
kt_wait_for 20 kt_shown "kestrium - KTparam.par" || fail "no window at scale 2"
frame="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
kt_key "$frame" alt+e
dialog="$(kt_window_of "Experiment:")"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1920 ] && [ $((Y + HEIGHT)) -le 1080 ] ||
  fail "the dialog is not whole on the screen at scale 2 (${WIDTH}x${HEIGHT}+${X}+${Y})"
click_unit "$dialog" 20 38                    # Accurate scheme
type_into "$dialog" 200 51 1e-3               # tolerance
shot 6_dialog_scale2 0.5
pass "the dialog at scale 2: ${WIDTH}x${HEIGHT}+${X}+${Y}, whole on the screen"
click_unit "$dialog" 190 268                  # OK
kt_wait_for 10 kt_gone "Experiment:" || fail "the Experiment dialog did not close on OK (tolerance)"

# ---- 6. Exit with the experiment unsaved: the question ----
kt_key "$frame" alt+f
sleep 0.3
kt_key "$frame" x
question="$(kt_window_of "Kestrium")"
shot 7_unsaved_experiment 0.5
kt_key "$question" Escape
kt_wait_for 10 kt_gone "Kestrium" || fail "Cancel did not close the question"
sleep 0.5
kill -0 "$kt_program_pid" 2>/dev/null || fail "Cancel at the question closed the program"
kt_key "$frame" alt+f
sleep 0.3
kt_key "$frame" x
question="$(kt_window_of "Kestrium")"
kt_key "$question" alt+d
kt_wait_for 20 bash -c "! xdotool search --onlyvisible --name '^kestrium - ' >/dev/null 2>&1" ||
  fail "Discard did not close the program"
[ -z "$(ls "$work/scaled"/*.toml 2>/dev/null)" ] || fail "Discard wrote an experiment file"
pass "Exit with an unsaved experiment asked; Cancel kept the program, Discard closed it"
cd "$work"
kt_stop_all
echo "all checks passed"
