#!/usr/bin/env bash
# Builds everything and runs every test (the GUI tests under Xvfb). Arguments are handed to
# CMake, as for tools/setup.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh" "$@"
cd "$here/build"
ctest --output-on-failure -j"$(nproc)" --timeout 600
