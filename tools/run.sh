#!/usr/bin/env bash
# Builds and starts the program. With a batch file as argument and no display, it runs headless
# under Xvfb and ends after the last job.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# Without a display nobody would see the status line of a batch file that cannot be opened,
# and the window would wait for a user: refuse it before building anything.
if [ -z "${DISPLAY:-}" ] && [ $# -eq 1 ] && [ ! -r "$1" ]; then
  echo "Could not open batch file: $1" >&2
  exit 1
fi
"$here/tools/setup.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1600x1200x24' "$here/build/kelvorand" "$@"
fi
exec "$here/build/kelvorand" "$@"
