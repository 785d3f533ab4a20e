#!/usr/bin/env bash
# Screenshots of the display layer on a virtual 1024 x 768 screen: the frame window with its
# menu bar and test page, the open File menu, both dialogs, the file chooser and the
# end-of-program query (from the display demo), then the program itself: its title page, a
# calculation, the Parameters dialog, the help and about windows. Pictures go to shots/.
#   KT_SHOTS_BUILD=<build folder>   (default build/shots)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
build=${KT_SHOTS_BUILD:-$kt_repo/build/shots}
out=$kt_repo/shots
mkdir -p "$out"
kt_build "$build" display_demo
demo=$build/tests/display/display_demo
log=$(mktemp)
trap 'kt_stop_all; rm -f "$log"' EXIT

# One session on a fresh X server: $1 program, $2 its argument, $3 window name, $4 steps. A
# step is a key for xdotool, "shot:<name>" for a picture, or "wait:<seconds>".
session() {
  kt_start_x 1024x768 "$log" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
  # shellcheck disable=SC2086  # the argument may be empty
  "$1" $2 &
  kt_program_pid=$!
  sleep 3
  local step
  for step in $4; do
    case $step in
      shot:*) kt_shot "$out/${step#shot:}.png" 0; echo "$out/${step#shot:}.png" ;;
      wait:*) sleep "${step#wait:}" ;;
      alt+*)
        kt_key "$(kt_windows "$3" | head -n 1)" "$step" 2>/dev/null || true
        sleep 1 ;;
      *) xdotool key "$step"; sleep 1 ;;
    esac
  done
  kt_stop_all
}

session "$demo" "" Kestrium "shot:frame alt+f shot:file_menu"
session "$demo" dialog10 Kestrium "shot:dialog_parameters"
session "$demo" dialog101 Kestrium "shot:dialog_output_data"
session "$demo" chooser Kestrium "shot:chooser"
session "$demo" end Kestrium "shot:end_query"

# The program itself, when it builds, run in a scratch directory with its data files.
if [ -n "${KT_E2E_NO_BUILD:-}" ] || cmake --build "$build" -j2 --target kestrium >/dev/null 2>&1; then
  run=$(mktemp -d)
  cp "$build"/app/ZOR.bmp "$build"/app/Kestrium.hlp "$run"/ 2>/dev/null || true
  (cd "$run" && session "$build/app/kestrium" "" kestrium \
    "shot:app_title alt+p shot:app_parameters Escape alt+o shot:app_output_data Escape \
     alt+c wait:8 shot:app_run alt+a shot:app_about Escape alt+h shot:app_help")
  rm -rf "$run"
fi
