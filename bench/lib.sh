# Shared by the bench scripts: sourced after `here`, `parameters` and `bench_name` are set.

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A fresh folder holding the default parameter file as KTparam.par; prints its path.
fresh_folder() {
  local dir
  dir=$(mktemp -d "$scratch/run.XXXXXX")
  cp "$parameters" "$dir/KTparam.par"
  echo "$dir"
}

# Instructions of one whole process run in <dir>: callgrind's "Collected" total.
instructions_in() {  # instructions_in <dir> <command...>
  local dir=$1
  shift
  (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file="$dir/callgrind.out" "$@" \
     > "$dir/stdout.txt" 2> "$dir/valgrind.txt") ||
    { echo "$bench_name: failed: $*" >&2; cat "$dir/valgrind.txt" >&2; exit 1; }
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$dir/valgrind.txt"
}
