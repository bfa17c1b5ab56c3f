#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed program on the example batch
# (installed_example_test.sh). Arguments: the build directory, the example generator.
set -euo pipefail
build="$1"
make_example="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
"$(dirname "$0")/installed_example_test.sh" "$scratch/prefix" "$make_example"
