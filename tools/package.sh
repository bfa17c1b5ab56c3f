#!/usr/bin/env bash
# Builds everything and packs the program with its help book into a Debian package in build/
# (kelvorand_VERSION_ARCH.deb, VERSION the build's: tools/program_version.cmake); install it
# with: apt install ./build/kelvorand_*.deb. Arguments are handed to CMake, as for
# tools/setup.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh" "$@"
cd "$here/build"
# Each commit's package has a name of its own: the older ones go, so that the glob above names
# one package.
rm -f kelvorand_*.deb
cpack -G DEB
