#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# ./test.sh --sanitize  runs the suite under AddressSanitizer and UndefinedBehaviorSanitizer.
# ./test.sh --sanitize-clang  the same built with clang (build/asan-clang), whose undefined-
#                       behaviour checks also come from clang's own runtime; not run by CI.
# ./test.sh --tsan      runs the suite under ThreadSanitizer.
# ./test.sh --slow      runs only the slow tests (label "slow": the fit on the calculation),
#                       which every other run leaves out.
# Without an option it also checks the formatting (scripts/check-format.sh) and fuzzes the
# readers of outside data for a few seconds each (scripts/fuzz.sh).
# KT_WERROR=ON ./test.sh  treats compiler warnings as errors (as CI does, .ci/run).
# The benchmarks are not built here: cmake --preset bench && cmake --build --preset bench.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build=build/release
flags=(-DCMAKE_BUILD_TYPE=Release -DKT_BUILD_BENCH=OFF)
case "${1:-}" in
  --sanitize) build=build/asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=ON -DKT_BUILD_BENCH=OFF) ;;
  --sanitize-clang)
    build=build/asan-clang
    flags=(-DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=ON -DKT_BUILD_BENCH=OFF
           -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  --tsan) build=build/tsan; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_TSAN=ON -DKT_BUILD_BENCH=OFF) ;;
esac
if [ -z "${1:-}" ]; then
  ./scripts/check-format.sh
  # A few seconds of fuzzing of each reader of outside data (clang, build/fuzz).
  ./scripts/fuzz.sh 4
fi
flags+=(-DKT_WERROR="${KT_WERROR:-OFF}")
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Qt is not built with ThreadSanitizer: the races it cannot see inside Qt are suppressed.
if [ "${1:-}" = --tsan ]; then
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1"
fi
# The documentation build (label "docs", a minute or more) is scripts/check-docs.sh.
labels=(-LE "slow|docs")
if [ "${1:-}" = --slow ]; then labels=(-L slow); fi
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "${labels[@]}"
