#!/usr/bin/env bash
# Checks that a built library exports its contract and nothing else:
#   libQzSnapEngineHNAS.so  exactly the eleven entry points that
#                           host/QzSnapEngineApi.h declares;
#   libQzManageHNAS.so      exactly the members of the class QzManageHNAS
#                           that host/QzManageHNAS.h declares, and the
#                           version text (the list below).
# An export missing from the list, or one the list does not name, fails.
# Usage: check-exports.sh path/to/libQzSnapEngineHNAS.so|path/to/libQzManageHNAS.so
set -euo pipefail
lib=${1:?usage: check-exports.sh path/to/libQzSnapEngineHNAS.so|path/to/libQzManageHNAS.so}
nm=${NM:-nm}
defined() { "$nm" -D --defined-only "$@" "$lib" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {$1 = $2 = ""; print substr($0, 3)}' | sed 's/@.*//'; }

case "$(basename "$lib")" in
libQzManageHNAS.so*)
  # The client's contract: each exported name once per symbol the compiler
  # makes of it, its parameters left out (an overload is a line of its own;
  # a constructor or destructor is two symbols, the complete and the base
  # object's).
  expected=$(sort <<'LIST'
QzManageHNAS_versionText
QzManageHNAS::QzManageHNAS
QzManageHNAS::QzManageHNAS
QzManageHNAS::QzManageHNAS
QzManageHNAS::QzManageHNAS
QzManageHNAS::~QzManageHNAS
QzManageHNAS::~QzManageHNAS
QzManageHNAS::init
QzManageHNAS::getVirtualServerInfo
QzManageHNAS::getFileSystemID
QzManageHNAS::getFileSystemID
QzManageHNAS::getFileSystemsInfo
QzManageHNAS::getFilesystemShares
QzManageHNAS::createFileSystemSnapshot
QzManageHNAS::isSharePresent
QzManageHNAS::createFileSystemShare
QzManageHNAS::deleteFileSystemShare
QzManageHNAS::deleteFileSystemSnapshot
QzManageHNAS::recoverFileSystemSnapshot
QzManageHNAS::getAllSnapshots
QzManageHNAS::getAllSnapshots
QzManageHNAS::getAllSnapshots
QzManageHNAS::getAllShares
QzManageHNAS::probe
QzManageHNAS::probeRequest
QzManageHNAS::requestsInFlight
QzManageHNAS::runConcurrently
LIST
)
  actual=$(defined -C | sed 's/(.*//' | sort)
  what="the client's contract (host/QzManageHNAS.h and the version text)"
  ;;
*)
  # The names, as host/QzSnapEngineApi.h lists them: X(qzso_..., result,
  # parameters) and, for the operations, OP(X, qzso_..., type, ...).
  header="$(dirname "$0")/../host/QzSnapEngineApi.h"
  expected=$(grep -oE '(X\(|OP\(X, )qzso_[A-Za-z]+' "$header" | sed -E 's/^.*(qzso_)/\1/' | sort -u)
  if [ "$(echo "$expected" | wc -l)" -ne 11 ]; then
    echo "expected eleven entry points in $header, found: $expected" >&2
    exit 1
  fi
  actual=$(defined | sort -u)
  what="the eleven entry points"
  ;;
esac

if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $lib differ from $what:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$lib exports exactly $what"
