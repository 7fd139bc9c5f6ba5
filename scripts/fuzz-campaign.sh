#!/usr/bin/env bash
# A long fuzzing campaign: runs each libFuzzer target for the given number of
# seconds on a copy of its corpus, then merges into fuzz/corpus/<target>/ the
# inputs it found that reach new coverage, so that later runs start from them, and prints one
# line of figures per target (executions, coverage, corpus size, findings).
#   scripts/fuzz-campaign.sh <seconds-per-target> [build-dir] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:?usage: scripts/fuzz-campaign.sh <seconds-per-target> [build-dir] [target ...]}
build=${2:-out/fuzz}
shift $(( $# >= 2 ? 2 : 1 ))
case "$build" in /*) ;; *) build="$root/$build" ;; esac
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(ls fuzz/corpus))

# Builds the targets (and runs each for one second) through the CI script.
scripts/run-fuzz.sh 1 "$build" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
findings="$build/findings"
mkdir -p "$findings"
status=0
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  cp -R "fuzz/corpus/$target/." "$work/"
  log="$build/$target.campaign.log"
  if "$build/bin/$target" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/$target-" >"$log" 2>&1; then
    result="no findings"
  else
    result="FINDING (see $log and $findings)"
    status=1
  fi
  # Adds to the corpus only the inputs that reach new coverage; the named
  # seeds stay as they are.
  "$build/bin/$target" -merge=1 "fuzz/corpus/$target" "$work" >/dev/null 2>&1 || true
  execs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' || true)
  cov=$(grep -E 'DONE +cov:' "$log" | sed -E 's/.*cov: ([0-9]+).*/\1/' | tail -1 || true)
  files=$(ls "fuzz/corpus/$target" | wc -l)
  echo "$target: ${seconds} s, ${execs:-?} executions, cov ${cov:-?}, corpus ${files} files, $result"
  rm -rf "$work"
done
exit $status
