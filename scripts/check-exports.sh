#!/usr/bin/env bash
# Checks that a built plug-in exports exactly the eleven entry points that
# host/QzSnapEngineApi.h declares, and nothing else.
set -euo pipefail
lib=${1:?usage: check-exports.sh path/to/libQzSnapEngineHNAS.so}
nm=${NM:-nm}
# The names, as host/QzSnapEngineApi.h lists them: X(qzso_..., result, parameters).
header="$(dirname "$0")/../host/QzSnapEngineApi.h"
expected=$(grep -o 'X(qzso_[A-Za-z]*' "$header" | sed 's/^X(//' | sort -u)
if [ "$(echo "$expected" | wc -l)" -ne 11 ]; then
  echo "expected eleven entry points in $header, found: $expected" >&2
  exit 1
fi
actual=$("$nm" -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sed 's/@.*//' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $lib differ from the eleven entry points:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$lib exports exactly the eleven entry points"
