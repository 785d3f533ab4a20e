#!/usr/bin/env bash
# Fuzzes the readers of outside data with libFuzzer, one target after the other:
# the parameter-file and number readers, the measured-data reader, the merge of shard tables,
# the material and experiment files, the pulse trace, the measured crater diameters and
# thresholds of the spot, and the points file of a listed study.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s each, every target); each target's
#   corpus grows in build/fuzz/corpus/<target>.
# measured_data, shard_table, lab_files and points_file take inputs of up to 1 MiB (work that
# grows with the input shows as a slow unit or a timeout). A finding stops the run and leaves
# the input as build/fuzz/<target>-crash-* (exit status nonzero).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(parameter_file measured_data shard_table lab_files spot_data points_file)
build=build/fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_COMPILER=clang++ -DKT_FUZZ=ON \
        -DKT_BUILD_GUI=OFF -DKT_BUILD_BENCH=OFF >/dev/null
fi
for target in "${targets[@]}"; do
  case "$target" in
    parameter_file) seeds=tests/data/params ;;
    *) seeds=tests/fuzz/seeds/$target ;;
  esac
  # The readers whose work grows with the size of their input (a header of many columns, many
  # rows, many samples) get inputs well beyond libFuzzer's default of 4 KB.
  max_len=()
  case "$target" in
    measured_data | shard_table | lab_files | points_file) max_len=(-max_len=1048576) ;;
  esac
  cmake --build "$build" --target "${target}_fuzz" -j"$(nproc)" >/dev/null
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/$target.log"
  "$build/tests/fuzz/${target}_fuzz" "$corpus" "$seeds" -dict="tests/fuzz/$target.dict" \
      -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "${max_len[@]}" \
      -artifact_prefix="$build/$target-" 2>"$log" || { tail -40 "$log"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $target: $runs inputs in $seconds s, no finding (corpus: $(ls "$corpus" | wc -l) files)"
done
