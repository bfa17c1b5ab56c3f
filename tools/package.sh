#!/usr/bin/env bash
# Builds everything and packs the program with its help book into a Debian package in build/
# (kelvorand_VERSION_ARCH.deb); install it with: apt install ./build/kelvorand_*.deb
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh"
cd "$here/build"
cpack -G DEB
