#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed program on a freshly made
# example batch under Xvfb: the help book must lie beside the executable that bin/kelvorand
# leads to (where the program looks for it), and the batch must end by itself with its results.
# Arguments: the build directory, the example generator.
set -euo pipefail
build="$1"
make_example="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
program="$(readlink -f "$scratch/prefix/bin/kelvorand")"
if [ ! -f "$(dirname "$program")/Kelvorand_help.zip" ]; then
  echo "FAILED: no Kelvorand_help.zip beside $program" >&2
  exit 1
fi

"$make_example" "$scratch/example"
status=0
# The limit only ends a hang: the batch takes under a minute even on a loaded machine.
timeout 600 xvfb-run -a -s '-screen 0 1600x1200x24' "$scratch/prefix/bin/kelvorand" \
  "$scratch/example/bones.run" > /dev/null 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  echo "FAILED: the installed program ended the example batch with status $status" >&2
  exit 1
fi
for result in template_bone-target_bone.reg template_bone-target_bone.png bones_log.txt; do
  if [ ! -s "$scratch/example/$result" ]; then
    echo "FAILED: the example batch left no $result" >&2
    exit 1
  fi
done
