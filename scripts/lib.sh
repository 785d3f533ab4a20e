# The common parts of the scripts that drive the programs under a virtual X server
# (e2e_desk.sh, e2e_experiment.sh, e2e_parameters.sh, app_shots.sh, leak_check.sh,
# display_shots.sh). Sourced:
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

# The set-up of a script that drives the programs: <build folder> made and made absolute in
# kt_build_dir, the repository's shots/ folder made (kt_shots), <target...> built there
# (kt_build), and a fresh folder /tmp/<name>.XXXXXX in kt_work that is removed, with the program
# and the X server ended, when the script exits.
kt_prepare() {  # kt_prepare <build folder> <name> <target...>
  mkdir -p "$1"
  kt_build_dir="$(cd "$1" && pwd)"
  kt_shots="$kt_repo/shots"
  mkdir -p "$kt_shots"
  local name="$2"
  shift 2
  kt_build "$kt_build_dir" "$@"
  kt_work="$(mktemp -d "/tmp/$name.XXXXXX")"
  trap kt_cleanup EXIT
}

kt_cleanup() {
  kt_stop_all
  rm -rf "$kt_work"
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

# The whole screen as shots/<name>.png of the repository, named on stdout (kt_shot).
kt_screen() {  # kt_screen <name> [settle seconds]
  kt_shot "$kt_shots/$1.png" "${2:-0.5}"
  echo "  shots/$1.png"
}

# Reports a failed check and ends the script with status 1: the message, the screen as
# shots/<name>.png and the program's output (program.log of kt_work) when there is any.
kt_fail() {  # kt_fail <name> <message>
  echo "FAIL: $2" >&2
  import -window root "$kt_shots/$1.png" 2>/dev/null &&
    echo "  screen at the failure: shots/$1.png" >&2
  if [ -s "$kt_work/program.log" ]; then
    echo "  program output:" >&2
    sed 's/^/    /' "$kt_work/program.log" >&2
  fi
  exit 1
}

# Whether a visible window is titled exactly <title>; kt_gone: whether none is.
kt_shown() {  # kt_shown <exact title>
  [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]
}
kt_gone() { ! kt_shown "$1"; }

# Waits up to 10 s for the window titled exactly <title> and prints its id; when it does not
# appear, the script's own fail is called.
kt_window_of() {  # kt_window_of <exact title>
  kt_wait_for 10 kt_shown "$1" || fail "the window \"$1\" did not appear"
  xdotool search --onlyvisible --name "^$1\$" | head -1
}

# Every file of a folder with its checksum, one line each.
kt_listing() {  # kt_listing <folder>
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum)
}
