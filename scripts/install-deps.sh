#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config file binutils openssl
  libboost-dev googletest libgtest-dev libgmock-dev
  libcurl4-openssl-dev nlohmann-json3-dev libssl-dev libsqlite3-dev
  clang libclang-rt-14-dev
  g++-powerpc64-linux-gnu qemu-user
  valgrind
  git dpkg-dev lintian
  python3 python3-requests
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
