#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. native build with the warning set of cmake/Warnings.cmake as errors, all tests
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   3. under valgrind memcheck, each test binary of the native build with a
#      test labelled memcheck (tests/*/CMakeLists.txt give the label)
#   4. the plug-in exports exactly its eleven entry points, the client exactly its contract
#   5. the plug-in's tests cross-built for 64-bit big-endian PowerPC, run under qemu-ppc64
#   6. every fuzz target for a few seconds
#   7. the release packages of both targets (scripts/build-packages.sh), checked
#      by scripts/check-packages.sh: lintian, the x86-64 .debs unpacked into a
#      fresh root running `hnas-host demo`, the ppc64 archive's libraries;
#      no hnas-arraysim the check started may still run after it
# Build trees go to out/. Each stage prints its time.
#
#   scripts/test-all.sh --quick   the edit-compile-test loop: the native build
#                                 and the in-process tests (ctest labels
#                                 memcheck and quick: unit, formats, device,
#                                 engine, hardening, the array model, the
#                                 client's pieces, the layers), installing
#                                 nothing; CI runs every stage
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
export CTEST_OUTPUT_ON_FAILURE=1

stage() {
  local name=$1; shift
  local start=$SECONDS
  echo "=== $name"
  "$@"
  echo "=== $name: $((SECONDS - start)) s"
}

configure_build_test() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHNAS_WERROR=ON "$@" >/dev/null
  ninja -C "$dir" -j "$jobs"
  (cd "$dir" && ctest -j "$jobs" --timeout 600 --output-on-failure)
}

native() { configure_build_test out/native; }
sanitizers() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    configure_build_test out/asan -DHNAS_SANITIZE=ON
}
# The test binaries of a build tree that hold a test labelled memcheck, each
# named once, in the order ctest lists them.
memcheck_binaries() {
  (cd "$1" && ctest -N -L memcheck --show-only=json-v1) | python3 -c '
import json, sys
print("\n".join(dict.fromkeys(test["command"][0] for test in json.load(sys.stdin)["tests"])))'
}
# No memory errors and no definite or indirect leaks, in the plain build: each
# binary runs all its tests once under valgrind.
memcheck() {
  local binaries binary
  mapfile -t binaries < <(memcheck_binaries out/native)
  if [ ${#binaries[@]} -eq 0 ] || [ -z "${binaries[0]}" ]; then
    echo "no test is labelled memcheck"
    return 1
  fi
  for binary in "${binaries[@]}"; do
    echo "--- $(basename "$binary")"
    valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --show-leak-kinds=definite,indirect "$binary" --gtest_brief=1
  done
}
exports() {
  scripts/check-exports.sh out/native/lib/libQzSnapEngineHNAS.so
  scripts/check-exports.sh out/native/lib/libQzManageHNAS.so
}
ppc64() {
  local boost=out/boost-include
  mkdir -p "$boost" && ln -sfn /usr/include/boost "$boost/boost"
  configure_build_test out/ppc64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-ppc64.cmake" \
    -DHNAS_PLUGIN_ONLY=ON -DHNAS_BOOST_INCLUDE_DIR="$root/$boost"
}
fuzz() { scripts/run-fuzz.sh "${FUZZ_SECONDS:-5}" out/fuzz; }
# The package check starts simulators from the installed tree; none may
# outlive it (scripts/check-no-simulator-left.py fails the stage otherwise).
packages() { scripts/build-packages.sh && scripts/check-no-simulator-left.py scripts/check-packages.sh; }

quick() {
  cmake -S "$root" -B out/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHNAS_WERROR=ON >/dev/null
  ninja -C out/native -j "$jobs"
  (cd out/native && ctest -j "$jobs" -L 'memcheck|quick' --timeout 600 --output-on-failure)
}

total=$SECONDS
if [ "${1:-}" = "--quick" ]; then
  stage "native build and quick tests" quick
  echo "=== quick loop passed in $((SECONDS - total)) s (CI runs every stage: scripts/test-all.sh)"
  exit 0
fi
stage "dependencies" scripts/install-deps.sh
stage "native build and tests" native
stage "sanitizer build and tests" sanitizers
stage "valgrind memcheck" memcheck
stage "exported symbols" exports
stage "big-endian PowerPC build and tests" ppc64
stage "fuzz targets, briefly" fuzz
stage "release packages, installed and checked" packages
echo "=== all stages passed in $((SECONDS - total)) s"
