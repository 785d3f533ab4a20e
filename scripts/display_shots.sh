#!/bin/sh
# Screenshots of the display layer on a virtual 1024 x 768 screen: the frame window with its
# menu bar and test page, the open File menu, both dialogs, the file chooser and the
# end-of-program query. The pictures go to shots/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KT_SHOTS_BUILD:-$root/build/shots}
out=$root/shots
mkdir -p "$out"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target display_demo >/dev/null
demo=$build/tests/display/display_demo

# One screenshot: $1 name, $2 demo argument, $3 keys to press before the picture (optional).
shot() {
  name=$1 request=$2 keys=${3:-}
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$0" "$1" & pid=$!
    sleep 3
    if [ -n "$2" ]; then
      win=$(xdotool search --name "Kestrium" | head -n 1)
      xdotool windowfocus --sync "$win" 2>/dev/null || true
      for key in $2; do xdotool key "$key"; sleep 0.4; done
      sleep 0.5
    fi
    import -window root "$3"
    kill "$pid"' "$demo" "$request" "$keys" "$out/$name.png"
  echo "$out/$name.png"
}

shot frame ""
shot file_menu "" "alt+f"
shot dialog_parameters dialog10
shot dialog_output_data dialog101
shot chooser chooser
shot end_query end
