#!/usr/bin/env bash
# End-to-end check of the program's screen and keys under a real (virtual) X server, at
# 1024 x 768 and 1920 x 1080 (or the sizes given), driven with xdotool as a user would:
#   1. start in an empty directory: the title reads "kestrium - KTparam.par";
#   2. no scroll bars: the right and bottom edges of the main window show the page background;
#   3. Parameters: the fluence is set to 80, OK: the title gets its " *" mark;
#   4. Alt+F X asks Save / Discard / Cancel; Cancel keeps the program and the mark;
#   5. F5 and Esc at once: the run stops after its first step and "stopped" (light red) shows
#      after the time readout; F5 again: a whole run, and the mark is gone;
#      File > Export picture... writes the page as PNG at the main window's size;
#   6. Alt+F X, Save: the program ends and KTparam.par holds the fluence 80; the batch
#      runner's --png of that file at the same size equals the exported picture.
# Screenshots go to shots/desk_<size>_*.png of the repository. Needs Xvfb, xdotool, ImageMagick.
#   scripts/e2e_desk.sh [build directory [WIDTHxHEIGHT ...]]   (default build/e2e)
#   KT_E2E_NO_BUILD=1 uses the program already built there.
# Exit status 0 when every check passed; otherwise 1 with a "FAIL:" line naming the check.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
repo="$kt_repo"
build="${1:-$repo/build/e2e}"
shift || true
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(1024x768 1920x1080)
kt_prepare "$build" kt_desk kestrium
build="$kt_build_dir" shots="$kt_shots" work="$kt_work"
program="$build/app/kestrium"
[ -x "$program" ] || { echo "FAIL: no program at $program" >&2; exit 1; }

size=""
fail() { kt_fail "desk_${size}_failure" "($size) $*"; }
pass() { echo "ok ($size): $*"; }
shot() { kt_screen "desk_${size}_$1" "${2:-0.5}"; }  # shot <name> [settle seconds]

frame=""
title() { xdotool getwindowname "$frame" 2>/dev/null || true; }
title_is() { [ "$(title)" = "$1" ]; }
click_control() {  # dialog-unit control centre of a template of <tw> x <th> units
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + (2 * $4 + $6) * WIDTH / (2 * $2))) \
    $((Y + (2 * $5 + $7) * HEIGHT / (2 * $3))) click 1
}

# Colours of a region of the last screenshot, one "count colour" line each.
colours() {  # colours <png> <geometry WxH+X+Y>
  convert "$1" -crop "$2" +repage -depth 8 -format %c histogram:info:- |
    sed -E 's/^ *([0-9]+):.*(#[0-9A-F]{6}).*/\1 \2/'
}
count_colour() {  # count_colour <png> <geometry> <#RRGGBB>
  colours "$1" "$2" | awk -v c="$3" '$2 == c { n += $1 } END { print n + 0 }'
}

# The page's geometry for a main window of <w> x <h>: the largest layout that fits, centred.
page_of() {  # prints "page_w page_h origin_x origin_y"
  local w=$1 h=$2 lw lh
  for layout in 1600x1200 1280x1024 1152x864 1024x768 800x600 640x480; do
    lw=${layout%x*} lh=${layout#*x}
    if [ "$lw" -le "$w" ] && [ "$lh" -le "$h" ]; then
      echo "$lw $lh $(((w - lw) / 2)) $(((h - lh) / 2))"
      return
    fi
  done
  echo "$w $h 0 0"
}

run_at() {
  size="$1"
  local width=${size%x*} height=${size#*x}
  local run="$work/run_$size"
  mkdir -p "$run"
  kt_start_x "$size" "$work/xvfb.log" || fail "Xvfb did not start or does not answer"

  # ---- 1. start: the title names the file ----
  cd "$run"
  "$program" >"$work/program.log" 2>&1 &
  kt_program_pid=$!
  kt_wait_for 20 kt_shown "kestrium - KTparam.par" || fail "no window titled \"kestrium - KTparam.par\""
  frame="$(xdotool search --onlyvisible --name '^kestrium - ' | head -1)"
  pass "title \"$(title)\""
  shot 1_title_page 1

  # ---- 2. no scroll bars: the main window's right and bottom edges are page background ----
  local png="$shots/desk_${size}_1_title_page.png"
  # The menu bar ends where the page background starts on the right edge.
  local menu_height
  menu_height="$(convert "$png" -crop "1x200+$((width - 2))+0" +repage -depth 8 txt:- |
    awk -F'[,:]' '/#808080/ && !done { print $2; done = 1 }')"
  [ -n "$menu_height" ] || fail "no page background at the right edge of the screen"
  local right bottom
  right="$(count_colour "$png" "3x$((height - menu_height))+$((width - 3))+$menu_height" '#808080')"
  bottom="$(count_colour "$png" "${width}x3+0+$((height - 3))" '#808080')"
  [ "$right" -eq $((3 * (height - menu_height))) ] ||
    fail "the right edge is not all page background (a scroll bar?)"
  [ "$bottom" -eq $((3 * width)) ] || fail "the bottom edge is not all page background (a scroll bar?)"
  pass "no scroll bars (menu bar $menu_height px, the page background reaches the edges)"

  # ---- 3. the fluence changed: the title is marked ----
  kt_key "$frame" alt+p
  local dialog
  dialog="$(kt_window_of "Parameters:")"
  click_control "$dialog" 360 308 118 88 25 12
  kt_key "$dialog" ctrl+a
  xdotool type --delay 30 80
  click_control "$dialog" 360 308 45 248 70 25
  kt_wait_for 10 kt_gone "Parameters:" || fail "the Parameters dialog did not close"
  kt_wait_for 5 title_is "kestrium - KTparam.par *" || fail "the title is \"$(title)\" after a change"
  pass "after the fluence changed the title is \"$(title)\""

  # ---- 4. Alt+F X asks; Cancel keeps the program ----
  kt_key "$frame" alt+f
  sleep 0.3
  kt_key "$frame" x
  local question
  question="$(kt_window_of Kestrium)"
  shot 2_exit_question 0.5
  kt_key "$question" Escape
  kt_wait_for 10 kt_gone Kestrium || fail "Cancel did not close the question"
  sleep 0.3
  kill -0 "$kt_program_pid" 2>/dev/null || fail "the program ended although Cancel was chosen"
  title_is "kestrium - KTparam.par *" || fail "the title lost its mark after Cancel"
  pass "Alt+F X asked Save / Discard / Cancel; Cancel kept the program"

  # ---- 5. F5 with Esc: stopped; F5: a whole run ----
  read -r page_w page_h origin_x origin_y <<<"$(page_of "$width" $((height - menu_height)))"
  local s x1 y1 sx sy sw sh
  s="$(awk -v w="$page_w" 'BEGIN { printf "%.6f", w / 1024 }')"
  x1=$((page_w * 15 / 100 + page_w / 2))
  y1="$(awk -v h="$page_h" -v w="$page_w" 'BEGIN {
    f = (w >= 1280) ? 0.4 : (w >= 1024 ? 0.38 : 0.35); print int(0.38 * h) + int(f * h) }')"
  sx=$((origin_x + x1 + $(awk -v s="$s" 'BEGIN { print int(10 * s) }')))
  sy=$((menu_height + origin_y + y1 + $(awk -v s="$s" 'BEGIN { print int(41 * s) }')))
  sw="$(awk -v s="$s" 'BEGIN { print int(90 * s) }')"
  sh="$(awk -v s="$s" 'BEGIN { print int(28 * s) }')"
  local stopped_area="${sw}x${sh}+${sx}+${sy}"
  kinetics_written() { [ -s Data1K.dat ] && [ "$(tail -c 1 Data1K.dat | od -An -tx1 | tr -d ' ')" = 0a ]; }

  kt_key "$frame" F5 Escape
  kt_wait_for 60 kinetics_written || fail "the stopped run wrote no kinetics line"
  shot 3_stopped 1
  local red
  red="$(count_colour "$shots/desk_${size}_3_stopped.png" "$stopped_area" '#FF0000')"
  [ "$red" -gt 20 ] || fail "no \"stopped\" after the time readout ($red light red pixels in $stopped_area)"
  pass "F5 ran and Esc stopped the run: \"stopped\" after the time readout ($red pixels)"

  rm -f Data1K.dat
  kt_key "$frame" F5
  kt_wait_for 120 kinetics_written || fail "F5 ran no calculation"
  shot 4_run_finished 1
  red="$(count_colour "$shots/desk_${size}_4_run_finished.png" "$stopped_area" '#FF0000')"
  [ "$red" -eq 0 ] || fail "\"stopped\" still shown after a whole run"
  pass "F5 ran a whole run; \"stopped\" is gone"

  # File > Export picture...: the page as a PNG file
  kt_key "$frame" alt+f
  sleep 0.3
  kt_key "$frame" p
  local chooser
  chooser="$(kt_window_of "Export picture")"
  sleep 0.3
  kt_key "$chooser" ctrl+a
  xdotool type --delay 20 "$run/exported.png"
  kt_key "$chooser" Return
  kt_wait_for 10 test -s "$run/exported.png" || fail "Export picture... wrote no file"
  local picture_size
  picture_size="$(identify -format '%wx%h' "$run/exported.png")"
  [ "$picture_size" = "${width}x$((height - menu_height))" ] ||
    fail "the exported picture is $picture_size, not the main window's area"
  pass "Export picture... wrote the page ($picture_size)"

  # ---- 6. Alt+F X, Save: the program ends with the fluence saved ----
  kt_key "$frame" alt+f
  sleep 0.3
  kt_key "$frame" x
  question="$(kt_window_of Kestrium)"
  kt_key "$question" alt+s
  kt_wait_for 20 bash -c "! kill -0 $kt_program_pid 2>/dev/null" || fail "Save in the question did not end the program"
  wait "$kt_program_pid" || true
  kt_program_pid=""
  case "$(sed -n 6p KTparam.par | tr -d '\r')" in
    *" 8.00000E+01") ;;
    *) fail "KTparam.par does not hold the fluence 80 after Save" ;;
  esac
  pass "Alt+F X, Save: the program ended and KTparam.par holds the fluence 80"

  # The batch runner's --png of the saved file at the main window's size: the exported page.
  local batch_program="$build/app/kestrium-batch"
  if [ -x "$batch_program" ]; then
    mkdir -p "$run/batch"
    cp KTparam.par "$run/batch/"
    (cd "$run/batch" && QT_QPA_PLATFORM=offscreen "$batch_program" KTparam.par --png batch.png \
      --size "$picture_size" >/dev/null 2>&1) || fail "kestrium-batch --png failed"
    local differing
    differing="$(compare -metric AE "$run/exported.png" "$run/batch/batch.png" null: 2>&1 || true)"
    [ "$differing" = 0 ] || fail "the exported page and the --png picture differ in $differing pixels"
    pass "the exported page equals kestrium-batch --png --size $picture_size"
  fi
  cd "$work"
  kt_stop_all
}

for each in "${sizes[@]}"; do run_at "$each"; done
echo "all checks passed"
