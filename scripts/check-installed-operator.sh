#!/usr/bin/env bash
# An operator's day with the installed programs alone, after `hnas-host demo`
# ran from them in WORKSPACE: a fresh hnas-arraysim with the demo's world (its
# second array also taking an API key) is started, a second one on its port
# is refused; the demo's store is pointed at it with update-array, the second
# array through its own key file; check-array names each array's credential;
# wrong settings and device strings are refused; devices are added from a
# file; prepare, snap and delete run with --json and are read back with
# python3; only the last jobs keep their logs; remove-array is refused while
# a device refers to the array, remove-device takes the added devices back.
#   scripts/check-installed-operator.sh INSTALLED-ROOT WORKSPACE
set -euo pipefail
installed=$1
ws=$2
bin=$installed/usr/bin
op=$ws/operator
mkdir -m 700 "$op"
fail() { echo "check-installed-operator: $*" >&2; exit 1; }
clean() { env -i PATH=/usr/bin:/bin HOME="$op" "$@"; }
host() { clean "$bin/hnas-host" --store "$ws/store" "$@"; }
# expect CODE COMMAND...: runs it, its output in $op/out and $op/err.
expect() {
  local want=$1 got=0
  shift
  "$@" >"$op/out" 2>"$op/err" || got=$?
  [ "$got" = "$want" ] || { cat "$op/out" "$op/err"; fail "$* exited $got, not $want"; }
}
said() { grep -q -- "$1" "$op/$2" || { cat "$op/out" "$op/err"; fail "no \"$1\" in the $2 of the last command"; }; }
# json PYTHON-EXPRESSION: asserted over the document in $op/out, as `d`.
json() {
  python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
assert d["format"] == 1, d
assert eval(sys.argv[2]), sys.argv[2]' "$op/out" "$1" || { cat "$op/out"; fail "the document does not hold: $1"; }
}

echo "--- a simulator of the demo's world, the second array also with an API key"
key=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
(umask 077 && printf '%s\n' "$key" >"$op/evs2.key")
python3 - "$ws/seed.json" "$op/seed.json" "$key" <<'PY'
import json, sys
seed = json.load(open(sys.argv[1]))
seed["arrays"][1]["apiKeys"] = [{"key": sys.argv[3]}]
json.dump(seed, open(sys.argv[2], "w"))
PY
sim_args=(--cert "$ws/cert/server.pem" --key "$ws/cert/server.key")
# Started as the background job itself, not through clean(): a function put
# in the background runs in a subshell, and $! would name that subshell,
# whose end leaves the simulator running. env execs the simulator, so $! is
# the simulator's own process.
env -i PATH=/usr/bin:/bin HOME="$op" "$bin/hnas-arraysim" "${sim_args[@]}" --port 0 --state "$op/sim.db" \
  --seed "$op/seed.json" --ready-file "$op/ready" >"$op/sim.log" 2>&1 &
sim=$!
# Stops it and waits until it has gone: SIGTERM, SIGKILL after 5 s.
stop_sim() {
  kill "$sim" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}
trap stop_sim EXIT
for _ in $(seq 100); do [ -s "$op/ready" ] && break; sleep 0.1; done
[ -s "$op/ready" ] || { cat "$op/sim.log"; fail "the simulator did not start"; }
port=$(cat "$op/ready")
expect 2 clean "$bin/hnas-arraysim" "${sim_args[@]}" --port "$port" --state "$op/second.db"
said "in use" err
echo "a second simulator on port $port: refused"

echo "--- the demo's arrays pointed at it, the second through its key"
expect 0 host update-array hnas1 --port "$port"
# One endpoint serves both arrays: the key array gets a control host name of
# its own, reached at the same address.
expect 0 host update-array evs2 --port "$port" --control-host evs2.demo --address 127.0.0.1 \
  --api-key-file "$op/evs2.key"
expect 0 host check-array evs2
said "API key from $op/evs2.key" out
expect 0 host check-array hnas1
said "user hnas1-supervisor" out
expect 0 host list-arrays --json
json '[a["name"] for a in d["arrays"]] == ["hnas1", "evs2"]'
grep -q "$key" "$op/out" && fail "list-arrays shows the API key"

echo "--- what is entered wrong is refused with its reason"
expect 65 host set-setting '~Vorlane/HNASClinet' sCAFile /x
said "~Vorlane/HNASClient" err
expect 65 host set-setting '~Vorlane/HNASClient' nConnectTimeoutSecs abc
expect 65 host add-device garbage
expect 0 host set-setting hnas-host nKeepJobLogs 3

echo "--- devices from a file, three jobs with --json"
printf '%s\n' '# the scratch share and a second export path' \
  'scratch {vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:\\hnas1\\scratch,targethostname:hnas1}' \
  '{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\/exp1\/builds,targethostname:hnas1}' >"$op/devices.txt"
expect 0 host add-device --from "$op/devices.txt"
expect 0 host list-devices --json
json 'len(d["devices"]) == 6 and d["devices"][4]["label"] == "scratch"'
for operation in prepare snap delete; do
  expect 0 host run "$operation" --all --json
  json "d['job']['operation'] == '$operation' and d['failures'] == [] and len(d['devices']) == 6"
done
json 'all(x["statusName"] == "DELETED" for x in d["devices"])'
expect 0 host history --json
json 'all(j["outcome"] == "done" for j in d["jobs"])'
logs=$(find "$ws/store/logs" -name 'job-*.log' | wc -l)
[ "$logs" = 6 ] || fail "$logs log files, not the 3 jobs' 6"

echo "--- mistakes undone"
expect 65 host remove-array hnas1
said "hnas1" err
expect 0 host remove-device scratch 6
expect 0 host list-devices --json
json 'len(d["devices"]) == 4'
expect 0 host unset-setting hnas-host nKeepJobLogs
expect 0 host orphans --json
echo "the installed programs did what an operator asks"
