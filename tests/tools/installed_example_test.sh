#!/usr/bin/env bash
# Runs an installed program on a freshly made example batch under Xvfb: the help book must lie
# beside the executable that bin/kelvorand leads to (where the program looks for it), the batch
# must end by itself with its results, and its log must begin with the program's version.
# Arguments: the installation prefix, the example generator, and the version the log must name
# (optional).
set -euo pipefail
prefix="$1"
make_example="$2"
version="${3:-}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

program="$(readlink -f "$prefix/bin/kelvorand")"
if [ ! -f "$(dirname "$program")/Kelvorand_help.zip" ]; then
  echo "FAILED: no Kelvorand_help.zip beside $program" >&2
  exit 1
fi

"$make_example" "$scratch/example"
status=0
# The limit only ends a hang: the batch takes under a minute even on a loaded machine.
timeout 600 xvfb-run -a -s '-screen 0 1600x1200x24' "$prefix/bin/kelvorand" \
  "$scratch/example/bones.run" > /dev/null 2> "$scratch/stderr" || status=$?
if [ "$status" -ne 0 ]; then
  echo "FAILED: the installed program ended the example batch with status $status" >&2
  cat "$scratch/stderr" >&2
  exit 1
fi
for result in template_bone-target_bone.reg template_bone-target_bone.png bones_log.txt; do
  if [ ! -s "$scratch/example/$result" ]; then
    echo "FAILED: the example batch left no $result" >&2
    exit 1
  fi
done
first_line="$(head -n 1 "$scratch/example/bones_log.txt")"
if [ -n "$version" ] && [ "${first_line#*: }" != "Kelvorand $version" ]; then
  echo "FAILED: the batch log begins with \"$first_line\", not with Kelvorand $version" >&2
  exit 1
fi
