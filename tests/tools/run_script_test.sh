#!/usr/bin/env bash
# Checks how tools/run.sh decides between the window, a headless batch and a refusal. It runs a
# copy of the script beside stand-ins for the build, the program and xvfb-run, which record how
# they were called, so nothing is built and no window opens.
set -uo pipefail
source_script="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tools" "$scratch/build" "$scratch/bin"
cp "$source_script" "$scratch/tools/run.sh"
printf '#!/bin/sh\necho setup >> "%s/calls"\n' "$scratch" > "$scratch/tools/setup.sh"
printf '#!/bin/sh\necho "program $*" >> "%s/calls"\n' "$scratch" > "$scratch/build/kelvorand"
printf '#!/bin/sh\necho "xvfb-run" >> "%s/calls"\nshift 3\nexec "$@"\n' "$scratch" \
  > "$scratch/bin/xvfb-run"
chmod +x "$scratch/tools/"*.sh "$scratch/build/kelvorand" "$scratch/bin/xvfb-run"
touch "$scratch/jobs.run"

failures=0
# display, arguments | expected status | expected calls (one line each, joined by ";") | text
# that standard error must contain
check() {
  local display="$1" args="$2" status="$3" calls="$4" message="$5"
  rm -f "$scratch/calls"
  local actual_status=0
  # shellcheck disable=SC2086
  (cd "$scratch" && env -u WAYLAND_DISPLAY DISPLAY="$display" PATH="$scratch/bin:$PATH" \
     tools/run.sh $args) > /dev/null 2> "$scratch/stderr" || actual_status=$?
  local actual_calls=""
  [ -f "$scratch/calls" ] && actual_calls="$(paste -sd ';' "$scratch/calls")"
  if [ "$actual_status" != "$status" ] || [ "$actual_calls" != "$calls" ] ||
     { [ -n "$message" ] && ! grep -qF -- "$message" "$scratch/stderr"; }; then
    echo "FAILED: DISPLAY='$display' run.sh $args: status $actual_status (want $status)," \
         "calls '$actual_calls' (want '$calls'), stderr:" >&2
    cat "$scratch/stderr" >&2
    failures=$((failures + 1))
  fi
}

# No display: only a single readable batch file runs, under Xvfb; the rest is refused at once.
check ""   ""                      2 ""                                    "no display"
check ""   "jobs.run other.run"    2 ""                                    "tools/run.sh JOBS.run"
check ""   "missing.run"           1 ""                                    "Could not open batch file: missing.run"
check ""   "jobs.run"              0 "setup;xvfb-run;program jobs.run"     ""
# A display: the window opens there, with or without arguments.
check ":7" ""                      0 "setup;program "                      ""
check ":7" "jobs.run other.run"    0 "setup;program jobs.run other.run"    ""

[ "$failures" -eq 0 ]
