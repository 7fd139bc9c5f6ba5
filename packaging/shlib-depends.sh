#!/usr/bin/env bash
# Prints, one per line, the Debian dependencies on glibc, libstdc++ and
# libgcc that the given shared libraries need, derived from the symbol
# versions they reference (readelf's version needs): for each library they
# link, the highest version node, looked up in the symbols file of the
# package that provides it on this machine ("GLIBCXX_3.4.29@GLIBCXX_3.4.29 11"
# means libstdc++6 (>= 11)). Version nodes are named after the upstream
# release that brought them, so the lookup holds for a cross-built library
# too. Libraries without versioned needs of those three (the host
# framework's, the client, libcurl) are not listed here.
#   shlib-depends.sh LIBRARY...
set -euo pipefail
symbols_dir=${HNAS_DPKG_INFO_DIR:-/var/lib/dpkg/info}

package_of() {  # the Debian package behind a needed file
  case $1 in
    libc.so.6 | ld64.so.* | ld-linux*.so.*) echo libc6 ;;
    libstdc++.so.6) echo libstdc++6 ;;
    libgcc_s.so.1) echo libgcc-s1 ;;
    *) echo "" ;;
  esac
}

# "package node" for every versioned need of every library.
needs=$(for lib in "$@"; do
  [ -f "$lib" ] || { echo "shlib-depends: no such library: $lib" >&2; exit 1; }
  readelf -V --wide "$lib" | awk '/ File: / {file = $5} / Name: / && file != "" {print file, $3}'
done | while read -r file node; do
  package=$(package_of "$file")
  if [ -n "$package" ]; then echo "$package $node"; fi
done | sort -u)

for package in $(echo "$needs" | awk 'NF {print $1}' | sort -u); do
  symbols=""
  for candidate in "$symbols_dir/$package".symbols "$symbols_dir/$package":*.symbols; do
    if [ -f "$candidate" ]; then symbols=$candidate; break; fi
  done
  [ -n "$symbols" ] || { echo "shlib-depends: no symbols file of $package in $symbols_dir" >&2; exit 1; }
  highest=""
  for node in $(echo "$needs" | awk -v p="$package" '$1 == p {print $2}'); do
    version=$(awk -v n="$node@$node" '$1 == n {print $2; exit}' "$symbols")
    [ -n "$version" ] || { echo "shlib-depends: $package's symbols file does not know $node" >&2; exit 1; }
    if [ -z "$highest" ] || dpkg --compare-versions "$version" gt "$highest"; then highest=$version; fi
  done
  echo "$package (>= $highest)"
done
