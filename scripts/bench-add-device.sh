#!/usr/bin/env bash
# Adding many devices to a store: one `hnas-host add-device --from FILE`
# against one `hnas-host add-device` process per device, the way a script
# without --from must do it. Each add is a durable SQLite commit; a process
# each also pays the start-up, the store's checks and a commit per device.
# Usage: bench-add-device.sh [COUNT] [RUNS] [HNAS-HOST]
set -euo pipefail
count=${1:-300}
runs=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
host=${3:-$root/out/native/bin/hnas-host}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for i in $(seq 1 "$count"); do
  echo "dev-$i {type:native_hnas,path:/__VOLUME__/fs$((i % 16))/d$i,targethostname:hnas1}"
done >"$work/devices.txt"

seconds() { date +%s.%N; }
for run in $(seq 1 "$runs"); do
  rm -rf "$work/from" "$work/single"
  "$host" --store "$work/from" init >/dev/null
  "$host" --store "$work/single" init >/dev/null
  start=$(seconds)
  "$host" --store "$work/from" add-device --from "$work/devices.txt" >/dev/null
  middle=$(seconds)
  while read -r label source; do
    "$host" --store "$work/single" add-device --label "$label" "$source" >/dev/null
  done <"$work/devices.txt"
  end=$(seconds)
  awk -v n="$count" -v r="$run" -v a="$start" -v b="$middle" -v c="$end" \
    'BEGIN { printf "run %d: %d devices: --from %.3f s, one process each %.2f s (%.1f ms a device)\n",
             r, n, b - a, c - b, (c - b) * 1000 / n }'
done
