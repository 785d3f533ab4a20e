#!/usr/bin/env bash
# Runs the program built with AddressSanitizer (LeakSanitizer included) under a virtual X
# server as a user would: start, a calculation (F5) stopped with Esc, a whole calculation, the
# help window (F1, then q), and Exit with Discard. Passes when the program ends by itself with
# status 0 and the sanitizers report nothing: every thread joined, nothing leaked.
#   scripts/leak_check.sh [build directory]   (default build/asan, made with -DKT_SANITIZE=ON)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build/asan}"
program="$build/app/kestrium"
[ -x "$program" ] || { echo "FAIL: $program not built (cmake -DKT_SANITIZE=ON)"; exit 1; }
work="$(mktemp -d)"
[ -n "${KT_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
cd "$work"
# Qt's own font and X libraries keep caches until the process ends; only our code is judged.
cat > lsan.supp <<'SUPP'
leak:libfontconfig
leak:libX11
leak:libxcb
leak:libQt6
leak:libdbus
SUPP
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=23
export LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0"
cat > drive.sh <<'DRIVE'
set -u
"$1" > out.txt 2> err.txt &
pid=$!
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^kestrium - ' 2>/dev/null | head -1)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "${window:-}" ] || { echo "no window"; kill $pid; exit 1; }
key() {
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window" 2>/dev/null
  xdotool key "$@"
  sleep "${PAUSE:-1}"
}
sleep 2
key F5; key Escape
PAUSE=8 key F5
key F1; key q
key alt+f; key x
# The question Save / Discard / Cancel is a window of its own.
xdotool key alt+d
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
if kill -0 $pid 2>/dev/null; then echo "the program did not end"; kill -9 $pid; exit 1; fi
wait $pid
echo "status $?"
DRIVE
result="$(xvfb-run -a -s "-screen 0 1280x1024x24" bash drive.sh "$program" 2>&1 || true)"
echo "$result"
if grep -q "ERROR: \(LeakSanitizer\|AddressSanitizer\)\|runtime error" err.txt; then
  echo "FAIL: the sanitizers reported:"; grep -A12 "ERROR\|runtime error" err.txt | head -60; exit 1
fi
[ "$(echo "$result" | tail -1)" = "status 0" ] || { echo "FAIL: $result"; tail -20 err.txt; exit 1; }
# The default kinetics mode rewrites the file: the whole run's line, and its last profile file.
[ "$(cat Data1K.dat 2>/dev/null | wc -l)" = 1 ] && [ -s Data1S10.dat ] ||
  { echo "FAIL: the whole calculation left no kinetics line or no last profile"; exit 1; }
echo "ok: two calculations, help, Exit: the program ended by itself with status 0; nothing leaked, no sanitizer report"
