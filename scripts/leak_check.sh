#!/usr/bin/env bash
# Runs the program built with AddressSanitizer (LeakSanitizer included) under a virtual X
# server as a user would: start, a calculation (F5) stopped with Esc, a whole calculation, the
# help window (F1, then q), and Exit with Discard. Passes when the program ends by itself with
# status 0 and the sanitizers report nothing: every thread joined, nothing leaked.
#   scripts/leak_check.sh [build directory]   (default build/asan, made with -DKT_SANITIZE=ON)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
build="${1:-$kt_repo/build/asan}"
program="$build/app/kestrium"
[ -x "$program" ] || { echo "FAIL: $program not built (cmake -DKT_SANITIZE=ON)"; exit 1; }
program="$(cd "$(dirname "$program")" && pwd)/kestrium"  # the program runs in a scratch folder
work="$(mktemp -d)"
cleanup() {
  kt_stop_all
  [ -n "${KT_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# Qt's own font and X libraries keep caches until the process ends; only our code is judged.
cat > lsan.supp <<'SUPP'
leak:libfontconfig
leak:libX11
leak:libxcb
leak:libQt6
leak:libdbus
SUPP
kt_start_x 1280x1024 "$work/xvfb.log" || { echo "FAIL: Xvfb did not start"; exit 1; }
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=23 \
  LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0" "$program" > out.txt 2> err.txt &
kt_program_pid=$!
window="$(kt_find_window '^kestrium - ' 20)" || { echo "FAIL: no window"; exit 1; }
step() {  # step <keys...>: a key to the main window, then a pause of PAUSE seconds (default 1)
  kt_key "$window" "$@"
  sleep "${PAUSE:-1}"
}
sleep 2
step F5
step Escape
PAUSE=8 step F5
step F1
step q
step alt+f
step x
# The question Save / Discard / Cancel is a window of its own.
xdotool key alt+d
if ! kt_wait_for 20 bash -c "! kill -0 $kt_program_pid 2>/dev/null"; then
  echo "FAIL: the program did not end"
  exit 1
fi
status=0
wait "$kt_program_pid" || status=$?
kt_program_pid=""
result="status $status"
echo "$result"
if grep -q "ERROR: \(LeakSanitizer\|AddressSanitizer\)\|runtime error" err.txt; then
  echo "FAIL: the sanitizers reported:"; grep -A12 "ERROR\|runtime error" err.txt | head -60; exit 1
fi
[ "$(echo "$result" | tail -1)" = "status 0" ] || { echo "FAIL: $result"; tail -20 err.txt; exit 1; }
# The default kinetics mode rewrites the file: the whole run's line, and its last profile file.
[ "$(cat Data1K.dat 2>/dev/null | wc -l)" = 1 ] && [ -s Data1S10.dat ] ||
  { echo "FAIL: the whole calculation left no kinetics line or no last profile"; exit 1; }
echo "ok: two calculations, help, Exit: the program ended by itself with status 0; nothing leaked, no sanitizer report"
