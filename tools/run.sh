#!/usr/bin/env bash
# Builds and starts the program. With a batch file as argument and no display, it runs headless
# under Xvfb and ends after the last job.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1600x1200x24' "$here/build/kelvorand" "$@"
fi
exec "$here/build/kelvorand" "$@"
