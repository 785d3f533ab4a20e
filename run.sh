#!/usr/bin/env bash
# Installs what is missing, builds what it runs and the Python package (build/release/python),
# and works in runs/ (parameter and result files go there). With a display it starts the
# program; without one it runs the default calculation with the batch runner and draws the page
# into runs/page.png.
set -euo pipefail
cd "$(dirname "$0")"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY is not set): the program's window cannot open here."
  echo "Instead, the default calculation will run without a window; its result files and a"
  echo "picture of the page (page.png) will be written into runs/."
  headless=1
else
  headless=0
fi
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
mkdir -p runs
# The Python package (build/release/python) is built beside the programs when the build has it
# (pybind11 found, KT_BUILD_PYTHON on).
python_target=()
if grep -q '^KT_BUILD_PYTHON:BOOL=ON' build/release/CMakeCache.txt; then
  python_target=(_kestrium)
fi
if [ "$headless" -eq 0 ]; then
  cmake --build build/release -j"$(nproc)" --target kestrium "${python_target[@]}"
  cd runs
  exec ../build/release/app/kestrium "$@"
fi
cmake --build build/release -j"$(nproc)" --target kestrium-batch "${python_target[@]}"
cd runs
batch=../build/release/app/kestrium-batch
[ -e KTparam.par ] || "$batch" defaults KTparam.par
status=0
"$batch" KTparam.par --png page.png "$@" || status=$?
echo
if [ "$status" -eq 0 ]; then
  echo "Done. In $(pwd):"
else
  echo "The calculation did not finish as it should (exit status $status; the message above says why)."
  echo "What was written is in $(pwd):"
fi
ls -1 | sed 's/^/  /'
echo "The batch runner is build/release/app/kestrium-batch; 'kestrium-batch --help' explains it."
if [ "${#python_target[@]}" -gt 0 ]; then
  python=$(sed -n 's/^_Python_EXECUTABLE:INTERNAL=//p' ../build/release/CMakeCache.txt)
  echo "The Python package is in build/release/python, for ${python:-python3}:"
  echo "  PYTHONPATH=build/release/python ${python:-python3} -c 'import kestrium'"
fi
exit "$status"
