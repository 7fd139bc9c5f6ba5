#!/usr/bin/env bash
# Builds the benchmarks in a release build and runs them (not part of CI):
#   1. every operation in process with 1024, 4096 and 32767 descriptors on one
#      array, the devices each on their own file system and all on one: time
#      per device, its growth from 1024 to 32767, array calls against the
#      fewest needed, peak heap of each call; each call with cold caches,
#      then once more with the calls back to back (a few minutes each)
#   2. instructions per device of each operation at 1024 and 8192 devices,
#      under callgrind: the cost that does not depend on the machine's load
#      or caches (a few minutes)
#   3. the same lifecycle over HTTPS against hnas-arraysim on loopback, its
#      state in SQLite: requests, connections and time per request (the
#      simulator's share apart) per operation call, 48 devices by default
#      (about a minute); "1024 4096 32767" gives the scale table of docs/performance.md
#      (about 7 minutes); "--latency-ms N" before the sizes holds every request
#      N ms in the simulator, as a real array takes (requests and wall time
#      against requests x N per operation, and snap's spread)
# Usage: scripts/run-bench.sh [build-dir] [--latency-ms N] [https-devices ...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-out/bench}
shift || true
devices=("${@:-48}")
scripts/install-deps.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHNAS_WERROR=ON >/dev/null
ninja -C "$dir" -j "${JOBS:-$(nproc)}" hnas_bench hnas_bench_https hnas_bench_model hnas_bench_model_std hnas-arraysim
status=0
echo "== in process (fake host, fake array client), each call with cold caches"
"$dir/bin/hnas_bench" || status=$?
echo
echo "== the same, calls back to back with warm caches (for comparison; no target)"
"$dir/bin/hnas_bench" warm || true
echo
echo "== instructions per device (callgrind)"
ops="prepareDevices snapDevices isMapped mapSnaps unmapSnaps reconcileSnaps revertSnaps deleteSnaps"
toggles=()
for op in $ops; do toggles+=("--toggle-collect=qzso_$op"); done
echo "| operation | file systems | instructions/device at 1024 | at 8192 | ratio |"
echo "|---|---|---|---|---|"
for layout in own one; do
  for n in 1024 8192; do
    valgrind --tool=callgrind --callgrind-out-file="$dir/callgrind.$layout.$n" "${toggles[@]}" \
      "$dir/bin/hnas_bench" "$n" "$layout" time warm >/dev/null 2>&1
    callgrind_annotate --inclusive=yes "$dir/callgrind.$layout.$n" 2>/dev/null |
      awk -v n="$n" '/qzso_[a-zA-Z]+ *\[/ { gsub(",", "", $1); match($0, /qzso_[a-zA-Z]+/);
                     print substr($0, RSTART + 5, RLENGTH - 5), $1 / n }' >"$dir/ir.$layout.$n"
  done
  for op in $ops; do
    a=$(awk -v op="$op" '$1 == op { print $2 }' "$dir/ir.$layout.1024")
    b=$(awk -v op="$op" '$1 == op { print $2 }' "$dir/ir.$layout.8192")
    awk -v op="$op" -v l="$layout" -v a="$a" -v b="$b" 'BEGIN {
      printf "| %s | %s | %.0f | %.0f | %.3f |\n", op, (l == "own" ? "one per device" : "one for all"), a, b, b / a }'
  done
done
echo
echo "== the simulator's array model at 32767 devices: its own lookup tables, then std::unordered_map"
"$dir/bin/hnas_bench_model"
"$dir/bin/hnas_bench_model_std"
echo
echo "== over HTTPS against hnas-arraysim (${devices[*]} devices)"
"$dir/bin/hnas_bench_https" "${devices[@]}" || status=$?
# 2: a figure missed its target (the tables say which).
exit "$status"
