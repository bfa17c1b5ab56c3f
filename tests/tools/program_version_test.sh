#!/usr/bin/env bash
# Checks the version a build works out (tools/program_version.cmake) on scratch trees: from git
# it names the commit's UTC date, the commit count and the hash, and every later commit sorts
# above the one before and above the bare release in Debian's order (so a rebuilt package
# upgrades the installed one); a tree without its own git history gets the bare release or the
# version given; a second run for the same commit leaves the generated files alone.
# Argument: the script.
set -euo pipefail
script="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# Two hours east of Greenwich, so that a date taken in local time shows.
export HOME="$scratch" GIT_CONFIG_NOSYSTEM=1 TZ=EET-2
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# The version for source directory $1 (and override $2), as the generated source defines it.
version_of() {
  cmake -DSOURCE_DIR="$1" -DRELEASE=23 -DVERSION_OVERRIDE="${2:-}" \
    -DOUTPUT_SOURCE="$scratch/out/version.cpp" -DOUTPUT_CPACK="$scratch/out/cpack.cmake" \
    -P "$script"
  sed -n 's/^const char program_version\[\] = "\(.*\)";$/\1/p' "$scratch/out/version.cpp"
}

commit() {
  echo "$2" > "$scratch/tree/file"
  git -C "$scratch/tree" add file
  GIT_COMMITTER_DATE="$1" GIT_AUTHOR_DATE="$1" git -C "$scratch/tree" \
    -c user.name=Tester -c user.email=tester@example.org commit -q -m "$2"
}

mkdir -p "$scratch/tree/sub"
git -C "$scratch/tree" init -q
# Past midnight there, the day before in UTC.
commit "2023-10-06T01:30:00+02:00" first
first="$(version_of "$scratch/tree")"
hash="$(git -C "$scratch/tree" rev-parse --short HEAD)"
[ "$first" = "23+git20231005.1.$hash" ] || fail "first commit: $first, not 23+git20231005.1.$hash"
dpkg --compare-versions "$first" gt 23 || fail "$first does not sort above 23"
grep -qxF "set(CPACK_PACKAGE_VERSION \"$first\")" "$scratch/out/cpack.cmake" ||
  fail "the package is not given $first"

touch -d @0 "$scratch/out/version.cpp" "$scratch/out/cpack.cmake"
version_of "$scratch/tree" > /dev/null
[ "$(stat -c %Y "$scratch/out/version.cpp")" = 0 ] || fail "the same commit rewrote version.cpp"
[ "$(stat -c %Y "$scratch/out/cpack.cmake")" = 0 ] || fail "the same commit rewrote cpack.cmake"

# A later commit on the same day, then one on a later day.
commit "2023-10-06T01:40:00+02:00" second
second="$(version_of "$scratch/tree")"
dpkg --compare-versions "$second" gt "$first" || fail "$second does not sort above $first"
commit "2023-10-07T12:00:00+00:00" third
third="$(version_of "$scratch/tree")"
case "$third" in 23+git20231007.3.*) ;; *) fail "third commit: $third" ;; esac
dpkg --compare-versions "$third" gt "$second" || fail "$third does not sort above $second"

# A directory inside the repository is not a tree of its own; nor is one without git.
mkdir -p "$scratch/plain"
for tree in "$scratch/tree/sub" "$scratch/plain"; do
  [ "$(version_of "$tree")" = 23 ] || fail "$tree: $(version_of "$tree"), not 23"
done
[ "$(version_of "$scratch/plain" 23+tarball1)" = 23+tarball1 ] ||
  fail "the given version was not taken"

exit "$failures"
