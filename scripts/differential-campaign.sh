#!/usr/bin/env bash
# A long differential campaign: plays SEEDS drawn scenarios (default 200)
# from seed START (default 1), each at 1 and at 8 requests in flight, with
# the plug-in in process and the real client against hnas-arraysim
# (tests/differential/), and prints one line per seed, the seeds that
# diverged, and what diverged by kind and by job. Each divergence's full
# report (seed, scenario, job, device, both sides) is in the log it names.
#   scripts/differential-campaign.sh [SEEDS] [START]
#   scripts/differential-campaign.sh 1 17            # replays seed 17
#   HNAS_DIFF_CONTROL=1 scripts/differential-campaign.sh 200
#       both plays at 1 in flight: any divergence is the test's own (a fault
#       or a value that depends on timing), not the plug-in's
# BUILD sets the build tree (default out/native, configured if missing);
# JOBS the compile jobs (default 1). Exits 0 when no seed diverged, 1 when
# some did, 2 when the campaign could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
seeds=${1:-200}
start=${2:-1}
build=${BUILD:-out/native}
case "$seeds$start" in
  *[!0-9]*) echo "usage: scripts/differential-campaign.sh [SEEDS] [START] (whole numbers)" >&2; exit 2 ;;
esac

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHNAS_WERROR=ON >/dev/null
fi
ninja -C "$build" -j "${JOBS:-1}" hnas_differential_tests hnas-arraysim >/dev/null

mode="1 and 8 in flight"
[ "${HNAS_DIFF_CONTROL:-}" = "1" ] && mode="control: 1 and 1 in flight"
log="$build/differential-campaign-$start-$seeds.log"
begin=$SECONDS
set +e
HNAS_DIFF_SEEDS=$seeds HNAS_DIFF_START=$start "$build/bin/hnas_differential_tests" \
  --gtest_filter='InFlightCampaign.*' >"$log" 2>&1
set -e

grep '^campaign seed' "$log" || true
ran=$(grep -c '^campaign seed' "$log" || true)
diverged=$(grep -c '^campaign seed .*: DIVERGED' "$log" || true)
if [ "$ran" -ne "$seeds" ]; then
  echo "the campaign stopped after $ran of $seeds seeds; see $log" >&2
  exit 2
fi
echo
echo "seeds run: $ran (seeds $start to $((start + seeds - 1)), $mode, $((SECONDS - begin)) s)"
echo "seeds that diverged: $diverged"
# "job 4 map (devices, log)" -> "map: devices", "map: log", one line per kind.
by_kind() {
  sed -E 's/^ *job [0-9]+ ([A-Za-z]+) \((.*)\)$/\1|\2/' |
    awk -F'|' '{ n = split($2, kinds, ", "); for (i = 1; i <= n; i++) count[$1 ": " kinds[i]]++ }
               END { for (k in count) printf "  %-30s %d\n", k, count[k] }' | sort
}
if [ "$diverged" -gt 0 ]; then
  divergent=$(grep '^campaign seed .*: DIVERGED' "$log" | sed 's/^[^:]*: DIVERGED: //')
  # A job after the first one that differs may differ only through it (a
  # device in another state, a share that one side lacks).
  echo "first divergent job of each seed, by operation and kind:"
  cut -d';' -f1 <<<"$divergent" | by_kind
  echo "every divergent job, by operation and kind:"
  tr ';' '\n' <<<"$divergent" | by_kind
  echo "reports: $log"
  exit 1
fi
