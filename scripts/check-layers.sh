#!/usr/bin/env bash
# Checks the #include lines of the source folders against the one-way layers
# written down in the README ("Layers"):
#   host/ and records/  <-  utils/  <-  device/  <-  engine/
# with the one exception that utils/SnapNames.cpp reaches device/ for
# HNASSnapDevice (marking the devices that share a snapped file system); the
# client and the simulator include nothing of each other; the harness and
# the client reach the plug-in only through host/ (and records/, which the
# client's declaration carries, for the client); inside the harness,
# framework/ uses neither demo/ nor cli/, and demo/ does not use cli/; the
# in-memory host (hostkit/) that the harness, the tests and the benchmarks
# build their hosts on reaches host/ alone; the stand-ins (standins/) for the
# host framework's libraries reach none of the plug-in, client or harness;
# the file kit (syskit/: reading a named file safely, checking a private
# place), which the client, the simulator and the harness share, is POSIX
# alone and reaches no other folder (they share it, not the array's API);
# the source-device check (sourcecheck/) hands hnas-host the plug-in's own
# parsers behind a header of standard types, so the harness includes it and
# never the plug-in's folders behind it;
# inside the simulator, model/ uses neither store/ nor server/, and store/
# (the state file) does not use server/ (HTTP and the JSON forms); the
# simulator's launcher and admin client (simkit/), which the demo, the tests
# and the benchmarks share, speaks to the simulator only as a process and
# over HTTPS, so it includes none of the plug-in, the client, the simulator,
# the harness or the tests, and the harness's framework/ does not use it.
# Usage: check-layers.sh [source root]; prints each include that breaks the
# rule and exits 1 when there is one.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# Folder: the folders its includes may name (whitelist), for the plug-in.
declare -A allowed=(
  [host]="host records"
  [records]="records host"
  [utils]="utils records host"
  [device]="device utils records host"
  [engine]="engine device utils records host"
  [hostkit]="hostkit host"
  [syskit]="syskit"
  [sourcecheck]="sourcecheck device utils records host standins/qzlib"
)
# Folder: the folders its includes may not name (blacklist), for the rest.
declare -A forbidden=(
  [harness]="engine device utils records"
  [client]="engine device utils arraysim standins simkit"
  [arraysim]="engine device utils records client simkit"
  [standins]="engine device utils records client arraysim harness simkit"
  [harness/framework]="harness/demo harness/cli simkit"
  [simkit]="engine device utils records host client standins arraysim hostkit harness tests bench"
  [harness/demo]="harness/cli"
  [arraysim/model]="arraysim/store arraysim/server"
  [arraysim/store]="arraysim/server"
)
# The one exception: file, include.
exceptions="utils/SnapNames.cpp device/HNASSnapDevice.h"

# The folder an include names: "client/X.h" -> client,
# "harness/framework/HostStore.h" -> harness/framework, "host/EvDebug.h" -> host;
# a bare name is the including file's own folder. A rule on a folder covers
# the folders inside it: "standins" names standins/qzlib too.
include_folder() {
  case "$1" in
    standins/*/* | harness/*/* | arraysim/*/*) echo "${1%/*}" ;;
    */*) echo "${1%%/*}" ;;
    *) echo "$2" ;;
  esac
}

failures=0
check_folder() {
  local folder=$1 mode=$2 list=$3 file line number target target_folder
  while IFS= read -r file; do
    while IFS=: read -r number line; do
      target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
      target_folder=$(include_folder "$target" "$folder")
      local listed=no
      for f in $list; do
        case "$target_folder" in "$f" | "$f"/*) listed=yes ;; esac
      done
      if { [ "$mode" = allow ] && [ $listed = no ]; } || { [ "$mode" = forbid ] && [ $listed = yes ]; }; then
        if [ "$file $target" = "$exceptions" ]; then continue; fi
        echo "$file:$number: includes \"$target\": $folder/ may not reach $target_folder/" >&2
        failures=$((failures + 1))
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) | sort)
}

for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] && check_folder "$folder" allow "${allowed[$folder]}"
done
for folder in "${!forbidden[@]}"; do
  [ -d "$folder" ] && check_folder "$folder" forbid "${forbidden[$folder]}"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layers" >&2
  exit 1
fi
echo "every include follows the layers"
