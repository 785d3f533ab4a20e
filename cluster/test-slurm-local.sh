#!/bin/bash
# Runs a parameter study through a real Slurm on this machine and checks that the merged table
# equals the one a single-machine run writes, byte for byte.
#
# Usage (as root): cluster/test-slurm-local.sh [KESTRIUM_BATCH]
#   KESTRIUM_BATCH defaults to build/release/app/kestrium-batch under the source tree.
#
# What it does:
#   - installs Debian's slurm-wlm and munge with apt-get when they are missing;
#   - starts its own munged, slurmctld and slurmd for one node (this machine, loopback only,
#     ports 16817/16818), with every key, state folder, socket and log in a temporary folder;
#     the system's /etc/slurm and /etc/munge are not touched;
#   - submits a 4-task array study with the merge job (cluster/slurm-study.sh), waits for
#     the merge at most 5 minutes, and compares the merged table with a run on this machine;
#   - prints PASS or FAIL, stops the daemons it started and removes the temporary folder
#     (kept on FAIL, for its logs).
# Not part of the ctest suite: it needs root, package installs and daemons.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
program="${1:-$source_dir/build/release/app/kestrium-batch}"
if [ ! -x "$program" ]; then
  echo "$0: no batch runner at $program; build it (cmake --build build/release --target kestrium-batch) or give its path" >&2
  exit 2
fi
timeout_seconds=300

say() { printf '[slurm-local] %s\n' "$*"; }
fail() {
  say "FAIL: $*"
  result=FAIL
  exit 1
}

[[ $(id -u) -eq 0 ]] || { say "FAIL: must run as root (it starts munged, slurmctld, slurmd)"; exit 1; }
[[ -x "$program" ]] || { say "FAIL: no kestrium-batch at $program (build it, or give its path)"; exit 1; }
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"

if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null ||
   ! command -v munged >/dev/null || ! command -v sbatch >/dev/null; then
  say "installing slurm-wlm and munge"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends slurm-wlm munge \
    >/dev/null || { say "FAIL: apt-get install slurm-wlm munge failed"; exit 1; }
fi
say "$(slurmctld -V), $(munged --version 2>&1 | head -1 | awk '{print $1}')"

work="$(mktemp -d /tmp/kt-slurm-XXXXXX)"
chmod 755 "$work"
pids=()
result=FAIL

stop_daemons() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  if [[ "$result" == PASS ]]; then
    rm -rf "$work"
  else
    say "logs kept in $work"
  fi
  say "daemons stopped; result: $result"
}
trap stop_daemons EXIT

# munge: a private key (in a folder only root reads) and socket.
mkdir -p "$work/munge" "$work/munge-key"
chmod 755 "$work/munge"
chmod 700 "$work/munge-key"
dd if=/dev/urandom of="$work/munge-key/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge-key/munge.key"
munged --foreground --force --key-file="$work/munge-key/munge.key" \
  --socket="$work/munge/munge.socket" --pid-file="$work/munge/munged.pid" \
  --seed-file="$work/munge-key/munge.seed" --log-file="$work/munge/munged.log" \
  >"$work/munge/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S "$work/munge/munge.socket" ]] && break; sleep 0.1; done
[[ -S "$work/munge/munge.socket" ]] || fail "munged did not start (see $work/munge/munged.log)"

# slurm: one node, this machine, on the loopback address.
node="$(hostname -s)"
cpus="$(nproc)"
mkdir -p "$work/state" "$work/spool" "$work/log"
cat > "$work/slurm.conf" <<EOF
ClusterName=ktlocal
SlurmctldHost=${node}(127.0.0.1)
SlurmctldPort=16817
SlurmdPort=16818
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=${work}/munge/munge.socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=${work}/state
SlurmdSpoolDir=${work}/spool
SlurmctldPidFile=${work}/slurmctld.pid
SlurmdPidFile=${work}/slurmd.pid
SlurmctldLogFile=${work}/log/slurmctld.log
SlurmdLogFile=${work}/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
MinJobAge=600
SchedulerType=sched/backfill
NodeName=${node} NodeAddr=127.0.0.1 CPUs=${cpus} State=UNKNOWN
PartitionName=local Nodes=${node} Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$work/slurm.conf"

slurmctld -D -c -f "$SLURM_CONF" >"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  sinfo -h -o '%T' 2>/dev/null | grep -Eq '^(idle|mixed|allocated)' && break
  sleep 0.2
done
sinfo -h -o '%T' 2>/dev/null | grep -Eq '^(idle|mixed|allocated)' ||
  fail "the node did not come up (see $work/log)"
say "slurmctld and slurmd up: $(sinfo -h -o '%P %D node(s) %c CPUs %T')"
say "listening: $(ss -ltnp 2>/dev/null | awk '/:1681[78] /{print $4}' | sort -u | tr '\n' ' ')"

# The study: 24 points over fluence x pulse width.
cd "$work" || fail "cannot enter $work"
cp "$source_dir/tests/data/params/default.par" KTparam.par
study=(KTparam.par --vary fluence=20:2000:log6 --vary pulse_width=5,10,20,40 --out slurm-out)

say "submitting: cluster/slurm-study.sh -n 4 -b kestrium-batch -- ${study[*]}"
submitted="$("$here/slurm-study.sh" -n 4 -b "$program" "${study[@]}")" ||
  fail "submission failed: $submitted"
printf '%s\n' "$submitted" | sed 's/^/[slurm-local]   /'
merge_job="$(printf '%s\n' "$submitted" | sed -n 's/.*merge job \([0-9]*\).*/\1/p')"
[[ -n "$merge_job" ]] || fail "no merge job id in the submission output"

start=$(date +%s)
state=""
while :; do
  state="$(scontrol show job "$merge_job" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')"
  case "$state" in
    COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY) break ;;
  esac
  if [[ "$(scontrol show job "$merge_job" 2>/dev/null)" == *DependencyNeverSatisfied* ]]; then
    state="DEPENDENCY_NEVER_SATISFIED"
    break
  fi
  (( $(date +%s) - start < timeout_seconds )) || { state="TIMED_OUT_WAITING"; break; }
  sleep 1
done
say "merge job ${merge_job}: ${state} after $(( $(date +%s) - start )) s"
say "array tasks: $(squeue -h -t all -o '%i %T' 2>/dev/null | tr '\n' ' ')"
ls slurm-out | sed 's/^/[slurm-local]   slurm-out\//'
[[ "$state" == COMPLETED ]] || fail "the merge job ended as $state"

"$program" study "${study[@]:0:5}" --out single --jobs 2 >/dev/null ||
  fail "the single-machine run failed"
if cmp -s single/study.csv slurm-out/study.csv; then
  rows=$(( $(wc -l < single/study.csv) - 2 ))
  say "merged table = single-machine table, byte for byte ($rows rows, $(wc -c < single/study.csv) bytes)"
  head -4 slurm-out/study.csv | sed 's/^/[slurm-local]   /'
  result=PASS
  say "PASS"
else
  diff single/study.csv slurm-out/study.csv | head -20
  fail "the merged table differs from the single-machine one"
fi
