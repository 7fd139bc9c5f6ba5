#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for the given
# number of seconds, starting from its seed corpus in fuzz/corpus/<target>/.
# The corpus is copied to a temporary directory first, so runs never grow the
# repository. Any finding (crash, sanitizer report, failed check, leak,
# time-out) fails the script; the reproducer is kept under <build-dir>/findings/.
# The build goes to out/fuzz, beside the other build trees, unless named.
#   scripts/run-fuzz.sh <seconds-per-target> [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:?usage: scripts/run-fuzz.sh <seconds-per-target> [build-dir]}
build=${2:-out/fuzz}
jobs=${JOBS:-2}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHNAS_WERROR=ON -DHNAS_FUZZ=ON >/dev/null
# The targets are those fuzz/CMakeLists.txt defines; it writes their names here.
mapfile -t targets <"$build/fuzz/targets.txt"
ninja -C "$build" -j "$jobs" hnas_fuzz_all

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings="$build/findings"
mkdir -p "$findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
  corpus="$work/$target"
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$target" ]; then cp -R "fuzz/corpus/$target/." "$corpus/"; fi
  echo "--- $target: ${seconds} s"
  if "$build/bin/$target" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
      >"$work/$target.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done ' "$work/$target.log" || true
  else
    tail -n 60 "$work/$target.log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz findings in: ${failed[*]} (reproducers in $findings)"
  exit 1
fi
echo "all ${#targets[@]} fuzz targets ran ${seconds} s each without findings"
