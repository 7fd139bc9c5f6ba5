#!/usr/bin/env bash
# The main job in one command: installs what is missing on a fresh Debian
# machine, configures and builds (out/native, as scripts/test-all.sh does),
# then runs `hnas-host demo`: the plug-in's whole lifecycle against a
# simulated HNAS array over loopback HTTPS, one job per process.
#   scripts/demo.sh [demo options]      e.g. --workspace /tmp/my-demo
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
build=${BUILD_DIR:-out/native}   # the build tree; BUILD_DIR overrides

scripts/install-deps.sh
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHNAS_WERROR=ON >/dev/null
ninja -C "$build" -j "$jobs" hnas-host
exec "$build/bin/hnas-host" demo "$@"
