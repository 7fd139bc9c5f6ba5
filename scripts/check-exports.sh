#!/usr/bin/env bash
# Checks that a built plug-in exports exactly the eleven qzso_ entry points.
set -euo pipefail
lib=${1:?usage: check-exports.sh path/to/libQzSnapEngineHNAS.so}
nm=${NM:-nm}
expected="qzso_deleteSnaps
qzso_isMapped
qzso_isSupported
qzso_mapSnaps
qzso_prepareDevices
qzso_reconcileSnaps
qzso_revertSnaps
qzso_snapDevices
qzso_unmapSnaps
qzso_unprepareDevices
qzso_version"
actual=$("$nm" -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sed 's/@.*//' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $lib differ from the eleven entry points:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$lib exports exactly the eleven entry points"
