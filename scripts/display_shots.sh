#!/bin/sh
# Screenshots of the display layer on a virtual 1024 x 768 screen: the frame window with its
# menu bar and test page, the open File menu, both dialogs, the file chooser and the
# end-of-program query (from the display demo), then the program itself: its title page, a
# calculation, the Parameters dialog, the help and about windows. Pictures go to shots/.
#   KT_SHOTS_BUILD=<build folder>   (default build/shots)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KT_SHOTS_BUILD:-$root/build/shots}
out=$root/shots
mkdir -p "$out"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target display_demo >/dev/null
demo=$build/tests/display/display_demo

# One session: $1 program, $2 its argument, $3 window name, $4 steps. A step is a key for
# xdotool, "shot:<name>" for a picture, or "wait:<seconds>".
session() {
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    program=$0 argument=$1 name=$2 steps=$3 out=$4
    "$program" $argument & pid=$!
    sleep 3
    for step in $steps; do
      case $step in
        shot:*) import -window root "$out/${step#shot:}.png"; echo "$out/${step#shot:}.png" ;;
        wait:*) sleep "${step#wait:}" ;;
        alt+*)
          # Xvfb has no window manager: give the frame the keyboard before a menu key.
          win=$(xdotool search --onlyvisible --name "$name" | head -n 1)
          xdotool windowfocus --sync "$win" 2>/dev/null || true
          xdotool key "$step"; sleep 1 ;;
        *) xdotool key "$step"; sleep 1 ;;
      esac
    done
    kill "$pid"' "$1" "$2" "$3" "$4" "$out"
}

session "$demo" "" Kestrium "shot:frame alt+f shot:file_menu"
session "$demo" dialog10 Kestrium "shot:dialog_parameters"
session "$demo" dialog101 Kestrium "shot:dialog_output_data"
session "$demo" chooser Kestrium "shot:chooser"
session "$demo" end Kestrium "shot:end_query"

# The program itself, when it builds, run in a scratch directory with its data files.
if cmake --build "$build" -j2 --target kestrium >/dev/null 2>&1; then
  run=$(mktemp -d)
  cp "$build"/app/ZOR.bmp "$build"/app/Kestrium.hlp "$run"/ 2>/dev/null || true
  (cd "$run" && session "$build/app/kestrium" "" kestrium \
    "shot:app_title alt+p shot:app_parameters Escape alt+o shot:app_output_data Escape \
     alt+c wait:8 shot:app_run alt+a shot:app_about Escape alt+h shot:app_help")
  rm -rf "$run"
fi
