#!/usr/bin/env bash
# Checks the Debian package that tools/package.sh made in build/ (CI runs it after packing):
# its version is the build's and sorts above the bare release, so that installing it upgrades
# an older one; it holds the program, its help book and the link in bin/, and nothing else; it
# depends on the package of every library the program links and on Mesa's drivers; and the
# program unpacked from it runs the example batch, whose log names that version.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

shopt -s nullglob
packages=("$build"/kelvorand_*.deb)
[ ${#packages[@]} -eq 1 ] || fail "expected one kelvorand_*.deb in $build, found ${#packages[@]}"
deb="${packages[0]}"
echo "checking $(basename "$deb")"

release="$(sed -n 's/^project(Kelvorand VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")"
version="$(dpkg-deb -f "$deb" Version)"
dpkg --compare-versions "$version" gt "$release" ||
  fail "version $version does not sort above the release $release"
[ "$(basename "$deb")" = "kelvorand_${version}_$(dpkg-deb -f "$deb" Architecture).deb" ] ||
  fail "the file name does not carry the version $version"
[ "$(dpkg-deb -f "$deb" Package)" = kelvorand ] || fail "the package is not named kelvorand"

# The paths alone (and link targets), without the top directory that some packers list.
contents="$(dpkg-deb -c "$deb" |
  awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); if ($0 != "./") print }' | sort)"
expected="./usr/
./usr/bin/
./usr/bin/kelvorand -> ../lib/kelvorand/kelvorand
./usr/lib/
./usr/lib/kelvorand/
./usr/lib/kelvorand/Kelvorand_help.zip
./usr/lib/kelvorand/kelvorand"
[ "$contents" = "$expected" ] || fail "the package holds
$contents
instead of
$expected"

dpkg-deb -x "$deb" "$scratch/root"
program="$scratch/root/usr/lib/kelvorand/kelvorand"
# Depends as a list of package names, one a line (versions and architectures dropped).
depends="$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/:.*//; s/ //g' | sort -u)"
grep -qx libgl1-mesa-dri <<< "$depends" || fail "the package does not depend on libgl1-mesa-dri"
for library in $(objdump -p "$program" | awk '/NEEDED/ { print $2 }'); do
  path="$(ldd "$program" | awk -v name="$library" '$1 == name { print $3 }')"
  [ -f "$path" ] || fail "$library, which the program links, is not installed here"
  # dpkg knows a library by the path its package installed, which a merged /usr may hide.
  owner=""
  for candidate in "$path" "$(readlink -f "$path")"; do
    [ -n "$owner" ] || owner="$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1)" || true
  done
  [ -n "$owner" ] || fail "no Debian package holds $path"
  grep -qx "$owner" <<< "$depends" || fail "the package does not depend on $owner (for $library)"
done

"$here/tests/tools/installed_example_test.sh" "$scratch/root/usr" "$build/kelvorand_example" \
  "$version"
echo "package $(basename "$deb") passed"
