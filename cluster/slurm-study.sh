#!/bin/bash
# A parameter study on a Slurm cluster: one job array whose tasks each run one shard of the
# study, and a merge job that starts when every task has ended well and writes the table the
# study would have made on one machine.
#
# Usage (on a login node, from a folder all nodes see):
#   cluster/slurm-study.sh [-n SHARDS] [-c CPUS] [-b KESTRIUM_BATCH] [-- SBATCH_OPTION...] \
#       PARFILE --vary NAME=VALUES [--vary ...] --out DIR
#   (or --points FILE.csv instead of the --vary arguments; the experiment's options --experiment,
#   --pulses, --rate, --pulse-shape, --trace, --incubated-absorption, --scheme and --energy go
#   to every task and to the merge, which checks the tables against that study)
#
#   -n SHARDS   array tasks, one shard each (default 4). Task I runs the points i (counted
#               from 0) with i % SHARDS == I-1 and writes DIR/study.shard-I-of-SHARDS.csv.
#   -c CPUS     CPUs per task, used as --jobs (default 1).
#   -b PROGRAM  the kestrium-batch to run (default: the one on PATH); it must be reachable
#               from the compute nodes under the same path.
#   SBATCH_OPTION...  passed to both sbatch calls, ending with "--", e.g.
#               -- --partition=short --time=02:00:00 --account=abc --
#   The sbatch environment variables (SBATCH_PARTITION, SBATCH_TIMELIMIT, ...) apply too.
#
# The script submits itself twice:
#   sbatch --array=1-SHARDS          ... slurm-study.sh (shard role)
#   sbatch --dependency=afterok:JOB  ... slurm-study.sh (merge role)
# and prints both job ids. The merged table is DIR/study.csv; the task logs are
# DIR/slurm-JOB_TASK.out. If a task fails, the merge job never starts (Slurm leaves it pending
# with the reason DependencyNeverSatisfied; cancel it with scancel). Re-run the failed shard by
# hand (kestrium-batch study ... --shard I/SHARDS) and merge with
#   kestrium-batch merge DIR --out DIR --study KTparam.par --vary ...   (the study's options)
# A merge refuses shards of other studies or with other points and names any missing shard.
#
# A task stopped by Slurm (time limit, scancel) writes no table: kestrium-batch stops its runs
# at SIGTERM and leaves nothing half written.
#
# Example:
#   cluster/slurm-study.sh -n 16 -c 4 -- --time=01:00:00 -- \
#       KTparam.par --vary fluence=10:1000:log40 --vary pulse_width=5,10,20,40 --out map
set -euo pipefail

role="${KT_STUDY_ROLE:-submit}"
program="${KT_STUDY_PROGRAM:-kestrium-batch}"

study_out_dir() {
  local previous=""
  for a in "$@"; do
    if [[ "$previous" == "--out" ]]; then
      printf '%s\n' "$a"
      return 0
    fi
    previous="$a"
  done
  return 1
}

case "$role" in
  shard)
    exec "$program" study "$@" --jobs "${KT_STUDY_CPUS:-1}" \
      --shard "${SLURM_ARRAY_TASK_ID}/${KT_STUDY_SHARDS}"
    ;;
  merge)
    # The merge is given the study's definition (its parameter file and the options that
    # define its points), so a shard table of another study or with other points is refused.
    out="$(study_out_dir "$@")"
    definition=()
    while [[ $# -gt 0 ]]; do
      case "$1" in
        --vary|--points|--refine|--scheme|--material|--experiment|--pulse-shape|--trace|--pulses|--rate|--incubated-absorption)
          definition+=("$1" "${2:?}"); shift 2 ;;
        --vary=*|--points=*|--refine=*|--scheme=*|--material=*|--experiment=*|--pulse-shape=*|--trace=*|--pulses=*|--rate=*|--incubated-absorption=*)
          definition+=("$1"); shift ;;
        --energy) definition+=("$1"); shift ;;
        --out|--jobs|--shard) shift 2 ;;
        -*) shift ;;
        *) definition+=(--study "$1"); shift ;;
      esac
    done
    exec "$program" merge "$out" --out "$out" "${definition[@]}"
    ;;
  submit) ;;
  *)
    echo "slurm-study.sh: unknown KT_STUDY_ROLE \"$role\"" >&2
    exit 2
    ;;
esac

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

shards=4
cpus=1
sbatch_options=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    -n) shards="${2:?}"; shift 2 ;;
    -c) cpus="${2:?}"; shift 2 ;;
    -b) program="${2:?}"; shift 2 ;;
    -h|--help) usage ;;
    --)
      shift
      while [[ $# -gt 0 && "$1" != "--" ]]; do sbatch_options+=("$1"); shift; done
      [[ $# -gt 0 ]] || usage
      shift
      ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || usage
[[ "$shards" =~ ^[1-9][0-9]*$ ]] || { echo "slurm-study.sh: -n takes a count from 1" >&2; exit 2; }
[[ "$cpus" =~ ^[1-9][0-9]*$ ]] || { echo "slurm-study.sh: -c takes a count from 1" >&2; exit 2; }
out="$(study_out_dir "$@")" || { echo "slurm-study.sh: the study needs --out DIR" >&2; exit 2; }
if [[ "$program" == */* ]]; then
  program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"
else
  program="$(command -v "$program")" || { echo "slurm-study.sh: no kestrium-batch on PATH; give -b" >&2; exit 2; }
fi

# The study is checked here, on the login node, before anything is queued: a study that
# cannot start would otherwise fail in every task.
"$program" study "$@" --check
mkdir -p "$out"

settings="KT_STUDY_PROGRAM=${program},KT_STUDY_SHARDS=${shards},KT_STUDY_CPUS=${cpus}"
array_job=$(sbatch --parsable --job-name=kt-study "${sbatch_options[@]}" \
  --export="ALL,KT_STUDY_ROLE=shard,${settings}" --array="1-${shards}" \
  --cpus-per-task="$cpus" --output="${out}/slurm-%A_%a.out" "$0" "$@")
array_job="${array_job%%;*}"
merge_job=$(sbatch --parsable --job-name=kt-study-merge "${sbatch_options[@]}" \
  --export="ALL,KT_STUDY_ROLE=merge,${settings}" --dependency="afterok:${array_job}" \
  --cpus-per-task=1 --output="${out}/slurm-%j-merge.out" "$0" "$@")
merge_job="${merge_job%%;*}"
echo "study array job ${array_job} (${shards} shards), merge job ${merge_job}"
echo "the table will be ${out}/study.csv"
