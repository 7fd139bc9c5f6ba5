#!/usr/bin/env bash
# The monitors' commands on a large store: the wall time of `history`,
# `state` and `list-devices --json` on a store of COUNT devices with JOBS
# jobs over all of them, each job's results kept. The jobs are `unprepare`
# (the plug-in does no array work for it, so no simulator is needed), which
# records a result per device like any job. Each command runs RUNS times;
# the fastest and the slowest are printed.
# Usage: bench-store-reads.sh [COUNT] [JOBS] [RUNS] [HNAS-HOST]
set -euo pipefail
count=${1:-2000}
jobs=${2:-50}
runs=${3:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
host=${4:-$root/out/native/bin/hnas-host}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for i in $(seq 1 "$count"); do
  echo "dev-$i {type:native_hnas,path:/__VOLUME__/fs$((i % 16))/d$i,targethostname:hnas1}"
done >"$work/devices.txt"
store=$work/store
"$host" --store "$store" init >/dev/null
"$host" --store "$store" set-setting hnas-host nKeepJobLogs "$jobs" >/dev/null
"$host" --store "$store" add-device --from "$work/devices.txt" >/dev/null
for j in $(seq 1 "$jobs"); do
  "$host" --store "$store" run unprepare --all --quiet >/dev/null
done

seconds() { date +%s.%N; }
for command in "history" "state" "list-devices --json" "history --json"; do
  best=; worst=
  for run in $(seq 1 "$runs"); do
    start=$(seconds)
    # shellcheck disable=SC2086
    "$host" --store "$store" $command >/dev/null
    end=$(seconds)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    best=$(awk -v x="$took" -v y="${best:-$took}" 'BEGIN { print (x < y ? x : y) }')
    worst=$(awk -v x="$took" -v y="${worst:-$took}" 'BEGIN { print (x > y ? x : y) }')
  done
  echo "$command: $count devices, $jobs jobs: fastest $best s, slowest $worst s of $runs"
done
