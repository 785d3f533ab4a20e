# The common parts of the scripts that drive the programs under a virtual X server
# (e2e_desk.sh, e2e_parameters.sh, app_shots.sh, leak_check.sh, display_shots.sh). Sourced:
#   . "$(dirname "$0")/lib.sh"
# Sets kt_repo (the repository). Needs Xvfb, xdotool and ImageMagick's import.

kt_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kt_xvfb_pid=""
kt_program_pid=""

# Configures and builds <targets...> in <build folder> unless KT_E2E_NO_BUILD is set.
kt_build() {  # kt_build <build folder> <target...>
  local build="$1"
  shift
  [ -n "${KT_E2E_NO_BUILD:-}" ] && return 0
  cmake -S "$kt_repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  local target
  for target in "$@"; do cmake --build "$build" -j2 --target "$target" >/dev/null; done
}

# Runs <test command...> every 0.1 s until it succeeds (status 0) or <seconds> have passed (1).
kt_wait_for() {  # kt_wait_for <seconds> <test command...>
  local limit=$(($1 * 10))
  shift
  for _ in $(seq "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Starts Xvfb on a free display of <WxH> pixels and exports DISPLAY; its output goes to <log>.
# Returns 1 when the server does not start or answer.
kt_start_x() {  # kt_start_x <WxH> <log file>
  local display_file
  display_file="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$display_file" >"$2" 2>&1 &
  kt_xvfb_pid=$!
  if ! kt_wait_for 10 test -s "$display_file"; then
    rm -f "$display_file"
    return 1
  fi
  export DISPLAY=":$(head -1 "$display_file")"
  rm -f "$display_file"
  kt_wait_for 10 xdpyinfo >/dev/null 2>&1
}

# Ends a process started in the background and waits for it (nothing when the pid is empty).
kt_end() {  # kt_end <pid>
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Ends the program and then the X server, each waited for: an X server still shutting down
# would remove the socket of the next server that takes its display number.
kt_stop_all() {
  kt_end "$kt_program_pid"
  kt_program_pid=""
  kt_end "$kt_xvfb_pid"
  kt_xvfb_pid=""
}

# The ids of the visible windows whose title matches <regex>.
kt_windows() {  # kt_windows <title regex>
  xdotool search --onlyvisible --name "$1" 2>/dev/null || true
}

# Waits up to <seconds> (default 20) for a visible window whose title matches <regex> and prints
# its id; status 1 when none appears.
kt_find_window() {  # kt_find_window <title regex> [seconds]
  kt_wait_for "${2:-20}" bash -c "xdotool search --onlyvisible --name '$1' >/dev/null 2>&1" ||
    return 1
  kt_windows "$1" | head -1
}

# Xvfb has no window manager: the window gets the keyboard before every key.
kt_key() {  # kt_key <window> <keys...>
  local window="$1"
  shift
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  xdotool key "$@"
}

# The whole screen as <png>, after <settle> seconds (default 0.5) for the windows to paint.
kt_shot() {  # kt_shot <png> [settle seconds]
  sleep "${2:-0.5}"
  import -window root "$1"
}
