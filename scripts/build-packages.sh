#!/usr/bin/env bash
# Builds the release packages of both targets into out/packages/:
#   x86-64 (the machine's own architecture):
#     qzsnapenginehnas_<version>_amd64.deb          plug-in and array client
#     qzsnapenginehnas-harness_<version>_amd64.deb  hnas-host, hnas-arraysim, stand-ins
#   64-bit big-endian PowerPC (cross-built):
#     qzsnapenginehnas-<version>-linux-ppc64.tar.gz plug-in and array client, README
#     qzsnapenginehnas_<version>_ppc64.deb          the same as a Debian package
# Installs what is missing first. Release builds with Debian's hardening
# flags, installed under /usr, each in its own build tree (out/pkg-native,
# out/pkg-ppc64). Only the installed targets are built; the tests are
# scripts/test-all.sh's business.
#   scripts/build-packages.sh [native|ppc64]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-$(nproc)}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native ppc64)
out=$root/out/packages
mkdir -p "$out"

# Debian's build flags (hardening included) for C and C++.
flags() {
  local cpp
  cpp=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
  export CFLAGS="$cpp $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CFLAGS)"
  export CXXFLAGS="$cpp $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
  export LDFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
}

# package <build dir> <targets...> [-- <cmake options>...]
package() {
  local dir=$1; shift
  local build=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do build+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "$@" >/dev/null
  ninja -C "$dir" -j "$jobs" "${build[@]}"
  rm -rf "$dir/packages"
  (cd "$dir" && cpack >/dev/null)
  cp "$dir"/packages/*.deb "$out"/
  if compgen -G "$dir/packages/*.tar.gz" >/dev/null; then cp "$dir"/packages/*.tar.gz "$out"/; fi
}

scripts/install-deps.sh
flags
for target in "${targets[@]}"; do
  case $target in
    native)
      package out/pkg-native QzSnapEngineHNAS QzManageHNAS QzLib WbNetwork WbUtils hnas-host hnas-arraysim
      ;;
    ppc64)
      # Boost's headers through a directory of their own, so that no other
      # header of the build machine enters the cross build.
      boost=out/boost-include
      mkdir -p "$boost" && ln -sfn /usr/include/boost "$boost/boost"
      package out/pkg-ppc64 QzSnapEngineHNAS QzManageHNAS -- \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-ppc64.cmake" -DHNAS_PLUGIN_ONLY=ON \
        -DHNAS_BOOST_INCLUDE_DIR="$root/$boost"
      ;;
    *) echo "usage: $0 [native|ppc64]..." >&2; exit 2 ;;
  esac
done
ls -1 "$out"
