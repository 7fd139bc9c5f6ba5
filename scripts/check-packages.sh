#!/usr/bin/env bash
# Checks the packages scripts/build-packages.sh made (out/packages/):
#   - lintian finds no error or warning (the overridden tags are explained in
#     packaging/lintian-overrides);
#   - the plug-in package declares the glibc, libstdc++ and libgcc versions its
#     libraries' symbol versions need, and its README names the same; it
#     carries no developer document; no installed document (README, docs,
#     man pages) names a path of the source or build tree;
#   - the x86-64 .debs, unpacked into a fresh root, run `hnas-host demo` and
#     then an operator's commands (scripts/check-installed-operator.sh) from
#     the installed files alone (the source and build trees hidden when the
#     machine allows a private mount namespace), and report the package's
#     version; no stand-in library lies outside the harness's private
#     directory;
#   - the ppc64 archive holds 64-bit big-endian PowerPC libraries, the
#     plug-in exports exactly the eleven entry points and the client exactly
#     its contract, and neither library
#     needs anything its README does not list; the plug-in loads under
#     qemu-ppc64 with every symbol bound.
#   scripts/check-packages.sh [packages dir] [ppc64 package build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
packages=$(cd "${1:-out/packages}" && pwd)
ppc64_build=$(cd "${2:-out/pkg-ppc64}" && pwd)   # its stand-ins and libcurl link stub
version=$(sed -n 's/^project(QzSnapEngineHNAS VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d /tmp/hnas-packages-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }

echo "--- lintian"
lintian --fail-on error,warning "$packages"/*.deb

# The docs a package or archive installs (unpacked under DIR): none names a
# path of the source or build tree, which an installed host does not have.
source_paths='(^|[^a-zA-Z0-9_/.-])(scripts|out|docs|packaging|cmake)/'
check_installed_docs() {  # DIR WHAT
  local file found=0
  while IFS= read -r file; do
    if zcat -f "$file" | grep -nE "$source_paths" | sed "s|^|${file#"$1"/}:|" >&2; then found=1; fi
  done < <(find "$1" -type f \( -name '*.md' -o -name 'README*' -o -name '*.sample' -o -name '*.1.gz' \))
  [ "$found" -eq 0 ] || fail "$2: installed docs name source-tree paths (above)"
}

# The plug-in package (unpacked under DIR, its Depends given): its glibc,
# libstdc++ and libgcc dependencies are those its libraries' symbol versions
# need, its README names the same versions, and it carries no developer
# document (building, testing, fuzzing, benchmarks).
check_plugin_package() {  # DIR DEPENDS README WHAT
  local dir=$1 depends=$2 what=$4 derived line package version readme
  readme=$(tr '\n\t' '  ' <"$3" | tr -s ' ')
  derived=$(packaging/shlib-depends.sh $(find "$dir" -name 'libQz*.so'))
  [ -n "$derived" ] || fail "$what: no dependency derived from its libraries"
  while IFS= read -r line; do
    echo ", $depends," | grep -qF ", $line," || fail "$what: Depends \"$depends\" lacks \"$line\" (its libraries need it)"
    package=${line%% *}
    version=$(echo "$line" | sed 's/.*(>= \(.*\))/\1/')
    case $package in
      libc6) echo "$readme" | grep -qF "glibc $version or later" || fail "$what: the README does not say \"glibc $version or later\"" ;;
      libstdc++6) echo "$readme" | grep -qF "GCC $version or later" || fail "$what: the README does not say \"GCC $version or later\"" ;;
    esac
    [ "$package" = libgcc-s1 ] || echo "$readme" | grep -qF "$line" ||
      fail "$what: the README does not name \"$line\""
  done <<<"$derived"
  echo "$what: Depends $depends; the README names the same versions"
  local developer
  developer=$(find "$dir" \( -name README.md -o -name performance.md -o -name fuzzing.md \) -printf '%P\n')
  [ -z "$developer" ] || fail "$what carries developer documents: $developer"
  if grep -rlE 'ctest|cmake -S|run-fuzz|run-bench|hnas_bench|test-all' "$dir/usr/share/doc" >&2; then
    fail "$what: a document above speaks of building, testing, fuzzing or benchmarks"
  fi
  check_installed_docs "$dir" "$what"
}

echo "--- dependencies and documents"
for deb in "$packages"/qzsnapenginehnas_"$version"_*.deb; do
  unpacked=$work/deb-$(basename "$deb" .deb)
  dpkg-deb -x "$deb" "$unpacked"
  check_plugin_package "$unpacked" "$(dpkg-deb -f "$deb" Depends)" \
    "$unpacked/usr/share/doc/qzsnapenginehnas/README.host" "$(basename "$deb")"
done
for deb in "$packages"/qzsnapenginehnas-harness_"$version"_*.deb; do
  unpacked=$work/deb-$(basename "$deb" .deb)
  dpkg-deb -x "$deb" "$unpacked"
  [ -n "$(dpkg-deb -f "$deb" Depends | grep -oE 'libc6 \(>= [0-9.]+\)')" ] &&
    [ -n "$(dpkg-deb -f "$deb" Depends | grep -oE 'libstdc\+\+6 \(>= [0-9.]+\)')" ] ||
    fail "$(basename "$deb") does not declare the glibc and libstdc++ versions it needs"
  check_installed_docs "$unpacked" "$(basename "$deb")"
  echo "$(basename "$deb"): Depends $(dpkg-deb -f "$deb" Depends); docs name no source path"
done

echo "--- x86-64 packages in a fresh root"
arch=$(dpkg --print-architecture)
plugin_deb=$packages/qzsnapenginehnas_${version}_${arch}.deb
harness_deb=$packages/qzsnapenginehnas-harness_${version}_${arch}.deb
[ -f "$plugin_deb" ] && [ -f "$harness_deb" ] || fail "missing the $arch packages of $version"
[ "$(dpkg-deb -f "$harness_deb" Depends | grep -o "qzsnapenginehnas (= $version)")" ] ||
  fail "the harness package does not depend on qzsnapenginehnas (= $version)"
installed=$work/root
dpkg-deb -x "$plugin_deb" "$installed"
dpkg-deb -x "$harness_deb" "$installed"
standins=$(find "$installed" -name 'libQzLib.so*' -o -name 'libWbNetwork.so*' -o -name 'libWbUtils.so*')
[ -n "$standins" ] || fail "no stand-in libraries in the harness package"
if echo "$standins" | grep -v '/qzsnapenginehnas/standins/'; then
  fail "stand-in libraries outside the harness's private directory"
fi
if dpkg-deb -c "$plugin_deb" | grep -E 'lib(QzLib|WbNetwork|WbUtils)\.so'; then
  fail "the plug-in package carries a stand-in library"
fi
revision=$(git -C "$root" rev-parse --short=12 HEAD 2>/dev/null || echo unknown)
for program in hnas-host hnas-arraysim; do
  reported=$("$installed/usr/bin/$program" --version)
  [ "$reported" = "$program $version (git $revision)" ] ||
    fail "$program reports \"$reported\", the package is $version from $revision"
done

# The demo from the installed files alone: a clean environment, a working
# directory of its own, and, where a private mount namespace can be had, the
# source and build trees hidden under an empty file system. Then an
# operator's day on the demo's workspace (scripts/check-installed-operator.sh,
# copied out of the tree it hides): the commands that mend mistakes, per-array
# keys, --json read back, a busy port refused, log pruning.
if unshare --mount sh -c 'mount -t tmpfs none "$1"' sh "$root" 2>/dev/null; then
  echo "(source tree $root hidden from the installed programs)"
  installed_only() { (cd "$work" && unshare --mount sh -c 'mount -t tmpfs none "$1" && shift && exec "$@"' sh "$root" "$@"); }
else
  echo "(no private mount namespace here: the source tree stays visible)"
  installed_only() { (cd "$work" && "$@"); }
fi
installed_only env -i PATH=/usr/bin:/bin HOME="$work" "$installed/usr/bin/hnas-host" demo --workspace "$work/demo" \
  >"$work/demo.log" 2>&1 || { cat "$work/demo.log"; fail "hnas-host demo failed from the installed files"; }
grep -q "plug-in:   $installed/usr/lib/.*/libQzSnapEngineHNAS.so" "$work/demo.log" ||
  { cat "$work/demo.log"; fail "the demo did not load the installed plug-in"; }
grep "jobs ended as expected" "$work/demo.log"
cp scripts/check-installed-operator.sh "$work/"
installed_only bash "$work/check-installed-operator.sh" "$installed" "$work/demo" ||
  fail "an operator's commands failed from the installed files"

echo "--- ppc64 archive"
archive=$packages/qzsnapenginehnas-${version}-linux-ppc64.tar.gz
[ -f "$archive" ] || fail "missing $archive"
tar -xzf "$archive" -C "$work"
top=$work/qzsnapenginehnas-${version}-linux-ppc64
readme=$top/README
[ -f "$readme" ] || fail "the archive has no README at its top"
ppc64_deb=$packages/qzsnapenginehnas_${version}_ppc64.deb
[ -f "$ppc64_deb" ] || fail "missing $ppc64_deb"
check_plugin_package "$top" "$(dpkg-deb -f "$ppc64_deb" Depends)" "$readme" "$(basename "$archive")"
libs=$(tar -tzf "$archive" | grep '\.so' || true)
[ "$(echo "$libs" | sed 's|.*/||' | sort | tr '\n' ' ')" = "libQzManageHNAS.so libQzSnapEngineHNAS.so " ] ||
  fail "the archive's libraries are not exactly the plug-in and the client: $libs"
for name in libQzSnapEngineHNAS.so libQzManageHNAS.so; do
  lib=$(find "$top" -name "$name")
  header=$(readelf -h "$lib")
  echo "$header" | grep -q 'Class:.*ELF64' || fail "$name is not a 64-bit ELF"
  echo "$header" | grep -q 'Data:.*big endian' || fail "$name is not big-endian"
  echo "$header" | grep -q 'Machine:.*PowerPC64' || fail "$name is not PowerPC64"
  # What the README lists for this library: the tab-indented "NAME =>" lines
  # under "<library>:".
  listed=$(awk -v lib="$name:" '$0 == lib {on = 1; next} on && /^\t[^ \t]+ =>/ {print $1; next}
                                on && !/^\t/ {on = 0}' "$readme" | sort -u)
  [ -n "$listed" ] || fail "the README lists nothing for $name"
  for needed in $(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    echo "$listed" | grep -qx "$needed" || fail "$name needs $needed, which its README does not list"
  done
  echo "$name: ELF64 big-endian PowerPC64; needs only what the README lists"
done
NM=powerpc64-linux-gnu-nm scripts/check-exports.sh "$(find "$top" -name libQzSnapEngineHNAS.so)"
NM=powerpc64-linux-gnu-nm scripts/check-exports.sh "$(find "$top" -name libQzManageHNAS.so)"

# The archive's plug-in loads on ppc64 (qemu-ppc64, the cross toolchain's
# glibc and libstdc++) with every symbol bound at once, the host's own
# libraries played by the stand-ins and the libcurl link stub of the ppc64
# build tree (loading calls no libcurl function), and reports 1.0.0.
echo "--- ppc64 plug-in loaded under qemu-ppc64"
hostlibs=$work/ppc64-host-libs
mkdir -p "$hostlibs"
cp "$ppc64_build"/lib/lib{QzLib,WbNetwork,WbUtils}.so "$ppc64_build"/curl-link-stub/libcurl.so.4 "$hostlibs"/
cat >"$work/load.c" <<'C'
#include <dlfcn.h>
#include <stdio.h>
int main(int argc, char** argv) {
    void* plugin = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
    if (plugin == NULL) { fprintf(stderr, "%s\n", dlerror()); return 1; }
    void (*version)(short*, short*, short*) = (void (*)(short*, short*, short*))dlsym(plugin, "qzso_version");
    if (version == NULL) { fprintf(stderr, "no qzso_version\n"); return 1; }
    short major = -1, minor = -1, patch = -1;
    version(&major, &minor, &patch);
    printf("%d.%d.%d\n", major, minor, patch);
    return 0;
}
C
powerpc64-linux-gnu-gcc -o "$work/load" "$work/load.c" -ldl
loaded=$(qemu-ppc64 -L /usr/powerpc64-linux-gnu -E LD_LIBRARY_PATH="$(dirname "$(find "$top" -name libQzSnapEngineHNAS.so)"):$hostlibs" \
  "$work/load" "$(find "$top" -name libQzSnapEngineHNAS.so)") || fail "the ppc64 plug-in does not load"
[ "$loaded" = "1.0.0" ] || fail "the ppc64 plug-in's qzso_version gives $loaded"
echo "libQzSnapEngineHNAS.so loads on ppc64; qzso_version $loaded"
