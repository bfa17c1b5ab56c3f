#!/usr/bin/env bash
# Builds and starts the program. On a desktop it opens the window (a batch file as the one
# argument runs there and closes the window when done). Without a display, a batch file as the
# one argument runs headless under Xvfb and ends after the last job; anything else is refused.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # Without a display a window would open under Xvfb, where nobody can see or close it, and
  # wait for ever; and nobody would see the status line of a batch file that cannot be opened.
  # Refuse both before building anything.
  if [ $# -ne 1 ]; then
    cat >&2 <<EOF
run.sh: there is no display to show the window on.
  To run a batch file headless, give it as the only argument:  tools/run.sh JOBS.run
  To use the window, start tools/run.sh from a terminal on the desktop (or over ssh -X),
  where DISPLAY is set.
EOF
    exit 2
  fi
  if [ ! -r "$1" ]; then
    echo "Could not open batch file: $1" >&2
    exit 1
  fi
fi
"$here/tools/setup.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1600x1200x24' "$here/build/kelvorand" "$@"
fi
exec "$here/build/kelvorand" "$@"
