#!/usr/bin/env bash
# End-to-end test of the Parameters dialog and the File commands, driven as a user would drive
# them on a virtual 1024 x 768 X screen (keys and mouse clicks through xdotool):
#   1. start in an empty directory: KTparam.par appears, equal to the default parameter file;
#   2. Output data and Parameters dialogs show the defaults (screenshots; fluence reads 50.00000);
#   3. the fluence field is set to 80 and OK pressed; KTparam.par is not touched by OK;
#   4. Calculation: the kinetics line of Data1K.dat starts with the fluence 80.0000;
#   5. File > Save as... with a full path typed into the chooser writes mine.par, fluence
#      8.00000E+01 on line 6, the other lines as in KTparam.par but for the three plot scales
#      that the run's Auto scaling set;
#   6. File > Exit ends the program; a new start reads KTparam.par: the dialog shows 50.00000;
#      Cancel; File > Save... (KTparam.par removed beforehand) writes KTparam.par again, equal
#      to the default parameter file;
#   7. File > Open... mine.par: the dialog shows 80.00000; that text is cut, 1 typed, the text
#      pasted back (so the value comes from what the field showed), OK, and File > Save...
#      rewrites mine.par (removed beforehand) with 8.00000E+01 while KTparam.par stays as it was;
#   8. fluence -50, OK, Calculation: a message box tells the refusal and Data1K.dat is unchanged;
#   9. File > Exit again.
# Screenshots go to shots/e2e_params_*.png of the repository. Needs Xvfb, xdotool, ImageMagick;
# python3 with tkinter, when present, reads the field texts from the clipboard.
#   scripts/e2e_parameters.sh [build directory]   (default build/e2e)
#   KT_E2E_NO_BUILD=1 uses the program already built there.
# Exit status 0 when every check passed; otherwise 1 with a "FAIL:" line naming the check.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
repo="$kt_repo"
defaults="$repo/tests/data/params/default.par"

# A short folder name: the chooser takes paths of at most 99 characters. The program runs in
# the empty folder run/ of the work folder; the logs stay beside it.
kt_prepare "${1:-$repo/build/e2e}" kt_e2e kestrium
build="$kt_build_dir" shots="$kt_shots" work="$kt_work"
program="$build/app/kestrium"
[ -x "$program" ] || { echo "FAIL: no program at $program" >&2; exit 1; }

run="$work/run"
mkdir "$run"
mine="$run/mine.par"

fail() {
  if [ -n "$kt_xvfb_pid" ] && ! kill -0 "$kt_xvfb_pid" 2>/dev/null; then
    echo "  the X server has ended; its output:" >&2
    sed 's/^/    /' "$work/xvfb.log" >&2
  fi
  echo "  files in the working directory:" >&2
  ls -l "$run" >&2 || true
  kt_fail e2e_params_failure "$*"
}
pass() { echo "ok: $*"; }
# shot <name> [settle seconds]: the whole screen, after the windows have painted
shot() { kt_screen "e2e_params_$1" "${2:-0.5}"; }

# ---- X server ----------------------------------------------------------------------------------
kt_start_x 1024x768 "$work/xvfb.log" || fail "Xvfb did not start or does not answer"

# ---- windows, keys and clicks ------------------------------------------------------------------
visible() {  # visible <exact title>: ids of the visible windows with that title
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true
}
window_shown() { [ -n "$(visible "$1")" ]; }
window_gone() { [ -z "$(visible "$1")" ]; }
# Menu popups carry the program's class but no title of their own.
class_windows_at_least() {  # class_windows_at_least <count>
  [ "$(xdotool search --onlyvisible --class '^kestrium$' 2>/dev/null | wc -l)" -ge "$1" ]
}

frame=""
dialog_of() {  # dialog_of <title>: waits for the dialog and prints its window id
  kt_wait_for 10 window_shown "$1" || fail "the window \"$1\" did not appear"
  visible "$1" | head -1
}
close_wait() {  # close_wait <title>
  kt_wait_for 10 window_gone "$1" || fail "the window \"$1\" did not close"
}

# Clicks the centre of a control given in dialog units (x y width height) of a dialog whose
# template is <template width> x <template height> dialog units.
click_control() {  # click_control <dialog window> <template w> <template h> <x> <y> <w> <h>
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local px=$((X + (2 * $4 + $6) * WIDTH / (2 * $2)))
  local py=$((Y + (2 * $5 + $7) * HEIGHT / (2 * $3)))
  xdotool mousemove "$px" "$py" click 1
}

# "Parameters:" is 360 x 308 dialog units (app/dialog_templates.cpp); its fluence field and OK
# button.
parameters_dialog() { dialog_of "Parameters:"; }
click_fluence() { click_control "$1" 360 308 118 88 25 12; }
click_ok() { click_control "$1" 360 308 45 248 70 25; }

# The text of the field that has the keyboard in the given window, through the clipboard; empty
# when python3 with tkinter is not installed.
have_clipboard_reader=false
python3 -c 'import tkinter' 2>/dev/null && have_clipboard_reader=true
field_text() {  # field_text <window>
  $have_clipboard_reader || return 0
  kt_key "$1" ctrl+a ctrl+c
  sleep 0.2
  timeout 10 python3 -c '
import sys, tkinter
root = tkinter.Tk()
root.withdraw()
try:
    sys.stdout.write(root.clipboard_get())
except tkinter.TclError:
    sys.exit(1)
' || true
}
check_fluence_field() {  # check_fluence_field <dialog> <expected text>
  $have_clipboard_reader || { echo "  (no python3 tkinter: the field text is not read)"; return 0; }
  local text
  text="$(field_text "$1")"
  [ "$text" = "$2" ] || fail "the fluence field shows \"$text\", expected \"$2\""
  pass "the fluence field shows $2"
}

# File menu: opens the popup and waits for it (the popup is a second window of the program).
file_menu() {
  kt_key "$frame" alt+f
  kt_wait_for 5 class_windows_at_least 2 || fail "the File menu did not open"
}
# Types a path into the open chooser and accepts it.
choose_file() {  # choose_file <path> [screenshot name]
  local chooser
  chooser="$(dialog_of "Open a File")"
  sleep 0.3  # the chooser reads the directory in the background
  kt_key "$chooser" ctrl+a
  xdotool type --delay 30 "$1"
  sleep 0.5
  [ -n "${2:-}" ] && shot "$2" 0
  kt_key "$chooser" Return
  kt_wait_for 10 window_gone "Open a File" ||
    fail "the file chooser did not accept the typed path $1"
}

# The frame window covers the screen and its title names the parameter file ("kestrium -
# KTparam.par"); a start-up error shows a small message box titled "kestrium".
frame_window() {
  local window WIDTH HEIGHT X Y SCREEN WINDOW
  for window in $(xdotool search --onlyvisible --name '^kestrium - ' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$window" 2>/dev/null)" || continue
    [ "${WIDTH:-0}" -ge 1000 ] && { echo "$window"; return 0; }
  done
  return 1
}
start_program() {
  cd "$run"
  "$program" >>"$work/program.log" 2>&1 &
  kt_program_pid=$!
  kt_wait_for 20 frame_window >/dev/null || fail "no kestrium frame window"
  frame="$(frame_window)"
}
exit_program() {
  file_menu
  kt_key "$frame" x
  # With unsaved changes Exit asks Save / Discard / Cancel first: Discard.
  if kt_wait_for 2 window_shown Kestrium; then
    kt_key "$(visible Kestrium | head -1)" alt+d
  fi
  kt_wait_for 20 bash -c "! kill -0 $kt_program_pid 2>/dev/null" || fail "File > Exit did not end the program"
  local status=0
  wait "$kt_program_pid" || status=$?
  kt_program_pid=""
  [ "$status" -eq 0 ] || fail "the program ended with status $status after File > Exit"
  pass "File > Exit ended the program (status 0)"
}

line_count_is() { [ -f "$2" ] && [ "$(wc -l <"$2")" -eq "$1" ]; }
fluence_line() { sed -n 6p "$1" | tr -d '\r'; }
check_fluence_80() {  # check_fluence_80 <parameter file>
  case "$(fluence_line "$1")" in
    *" 8.00000E+01") ;;
    *) fail "$(basename "$1") line 6 is \"$(fluence_line "$1")\", expected the fluence 8.00000E+01" ;;
  esac
}
defaults_kept() { cmp -s "$run/KTparam.par" "$defaults"; }

# ---- 1. first start ----------------------------------------------------------------------------
echo "working directory $run, display $DISPLAY"
start_program
kt_wait_for 20 defaults_kept ||
  fail "KTparam.par was not written with the default parameters (tests/data/params/default.par)"
[ "$(ls -A "$run")" = KTparam.par ] || fail "start-up left other files: $(ls -A "$run" | tr '\n' ' ')"
pass "KTparam.par written, equal to the default parameter file, and nothing else"
shot 01_title_page 1

# ---- 2. both dialogs with the defaults ---------------------------------------------------------
kt_key "$frame" alt+o
output_dialog="$(dialog_of "Output Data:")"
shot 02_output_data_defaults
kt_key "$output_dialog" Escape
close_wait "Output Data:"

kt_key "$frame" alt+p
dialog="$(parameters_dialog)"
shot 03_parameters_defaults
click_fluence "$dialog"
check_fluence_field "$dialog" 50.00000

# ---- 3. fluence 80, OK -------------------------------------------------------------------------
kt_key "$dialog" ctrl+a
xdotool type --delay 30 80
shot 04_fluence_80 0.3
click_ok "$dialog"
close_wait "Parameters:"
pass "fluence 80 typed, OK pressed"

# ---- 4. a calculation with fluence 80 ----------------------------------------------------------
kinetics_line_written() { [ -s Data1K.dat ] && [ "$(tail -c 1 Data1K.dat | od -An -tx1 | tr -d ' ')" = 0a ]; }
kt_key "$frame" alt+c
kt_wait_for 180 kinetics_line_written || fail "the run wrote no kinetics line to Data1K.dat"
kinetics="$(head -1 Data1K.dat | tr -d '\r')"
case "$kinetics" in
  " 80.0000"*) ;;
  *) fail "the kinetics line \"$kinetics\" does not start with the fluence \" 80.0000\"" ;;
esac
pass "kinetics line: $kinetics"
# The kinetics line is the run's last output; the run's flags drop right after it.
shot 05_run_finished 1
defaults_kept || fail "KTparam.par changed although no Save... was chosen"

# ---- 5. File > Save as... mine.par -------------------------------------------------------------
file_menu
kt_key "$frame" Down Down Return  # Open..., Save..., Save as...: both Save items have S
choose_file "$mine" 06_save_as_chooser
kt_wait_for 10 line_count_is 59 "$mine" || fail "Save as... did not write 59 lines to $mine"
check_fluence_80 "$mine"
# Besides the fluence only the three plot scales differ: Auto scales are set by every run.
differences="$(diff <(sed '6d;35,37d' "$defaults") <(sed '6d;35,37d' "$mine") || true)"
[ -z "$differences" ] ||
  fail "mine.par differs from the defaults in more than the fluence and the scales:"$'\n'"$differences"
defaults_kept || fail "Save as... changed KTparam.par"
pass "Save as... wrote mine.par with the fluence 8.00000E+01 on line 6"

# ---- 6. Exit, start again: KTparam.par's fluence 50 ----------------------------------------------
exit_program
start_program
sleep 0.5
defaults_kept || fail "the second start changed KTparam.par"
kt_key "$frame" alt+p
dialog="$(parameters_dialog)"
shot 07_restart_parameters
click_fluence "$dialog"
check_fluence_field "$dialog" 50.00000
kt_key "$dialog" Escape
close_wait "Parameters:"
rm -f KTparam.par
file_menu
kt_key "$frame" Down Return  # Save...
kt_wait_for 10 line_count_is 59 KTparam.par || fail "Save... after a new start did not write KTparam.par"
defaults_kept || fail "Save... after a new start wrote KTparam.par different from the defaults"
pass "after a new start the fluence is KTparam.par's 50; Cancel; Save... writes the defaults"

# ---- 7. File > Open... mine.par ----------------------------------------------------------------
file_menu
kt_key "$frame" o
choose_file "$mine" 08_open_chooser
sleep 0.3
kt_key "$frame" alt+p
dialog="$(parameters_dialog)"
shot 09_parameters_from_mine
click_fluence "$dialog"
check_fluence_field "$dialog" 80.00000
# Cut the kt_shown text, type another number, paste the text back: the value committed by OK is
# then the one read from what the field showed.
kt_key "$dialog" ctrl+a ctrl+x
xdotool type --delay 30 1
kt_key "$dialog" ctrl+a ctrl+v
shot 10_fluence_pasted 0.3
click_ok "$dialog"
close_wait "Parameters:"
rm -f "$mine"
file_menu
kt_key "$frame" Down Return  # Save...
kt_wait_for 10 line_count_is 59 "$mine" || fail "Save... did not write mine.par, the file opened last"
check_fluence_80 "$mine"
defaults_kept || fail "Save... after Open... mine.par changed KTparam.par"
pass "Open... mine.par: the field shows 80.00000; Save... rewrote mine.par with 8.00000E+01"

# ---- 8. a fluence out of its range is refused, the kinetics file unchanged -----------------------
cp Data1K.dat "$work/kinetics_before"
kt_key "$frame" alt+p
dialog="$(parameters_dialog)"
click_fluence "$dialog"
kt_key "$dialog" ctrl+a
xdotool type --delay 30 -- -50
click_ok "$dialog"
close_wait "Parameters:"
kt_key "$frame" alt+c
box="$(dialog_of "Calculation")"
shot 11_negative_fluence_refused
cmp -s Data1K.dat "$work/kinetics_before" || fail "the refused run changed Data1K.dat"
[ ! -e Data1D.dat ] || [ Data1D.dat -ot "$work/kinetics_before" ] ||
  fail "the refused run wrote the temporal file"
kt_key "$box" Return
close_wait "Calculation"
pass "fluence -50: the run was refused with a message; Data1K.dat unchanged"

# ---- 9. Exit -----------------------------------------------------------------------------------
exit_program
echo "PASS: Parameters dialog and File commands"
