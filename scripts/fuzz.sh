#!/usr/bin/env bash
# Fuzzes the parameter-file reader and the number readers with libFuzzer.
#   scripts/fuzz.sh [SECONDS]   (default 60); the corpus grows in build/fuzz/corpus.
# A finding stops the run and leaves the input as build/fuzz/crash-* (exit status nonzero).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_COMPILER=clang++ -DKT_FUZZ=ON \
        -DKT_BUILD_GUI=OFF -DKT_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target parameter_file_fuzz -j"$(nproc)" >/dev/null
mkdir -p "$build/corpus"
"$build/tests/fuzz/parameter_file_fuzz" "$build/corpus" tests/data/params \
    -dict=tests/fuzz/parameter_file.dict -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/" 2>"$build/fuzz.log" || { tail -40 "$build/fuzz.log"; exit 1; }
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz.log")
echo "fuzz: $runs inputs in $seconds s, no finding (corpus: $(ls "$build/corpus" | wc -l) files)"
