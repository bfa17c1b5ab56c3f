#!/usr/bin/env bash
# The whole job a user waits for: start the program, load a pair, iterate, save, end. For each
# pair it runs the real program headless on a batch file (40 "Similarity" iterations, the
# registration saved) and the same job scripted with Open3D (bench/open3d_job.py), alternately,
# ROUNDS times each, and prints the best wall time of each, their ratio, the smallest peak
# resident memory of each (from /usr/bin/time; left out without it) and the machine's load.
# On the femur pair it also times "Similarity + LAD" (4 iterations less 1, over 3) and
# "Similarity + FFD" (3 iterations less 1, over 2).
#
#   bench/whole_job.sh [BUILD_DIR [ROUNDS [PAIR...]]]
#
# BUILD_DIR defaults to build, ROUNDS to 3, the pairs to femur bone164k bone655k. The pairs are
# generated into a temporary directory that is removed at the end. Without python3-open3d the
# peer is skipped with a message. Without a display everything runs under one Xvfb, started
# once, so that its start is timed for neither side.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${KELVORAND_WHOLE_JOB_DISPLAY:-}" ]; then
  # The same Xvfb for every run, whatever DISPLAY the caller has: a desktop's GPU would paint
  # at another speed than the software rasteriser that a headless batch run gets.
  exec xvfb-run -a -s '-screen 0 1600x1200x24' env KELVORAND_WHOLE_JOB_DISPLAY=1 "$0" "$@"
fi

build="$(cd "${1:-$here/build}" && pwd)"
rounds="${2:-3}"
shift $(($# < 2 ? $# : 2))
pairs=("$@")
[ ${#pairs[@]} -gt 0 ] || pairs=(femur bone164k bone655k)
program="$build/kelvorand"
make_pairs="$build/bench/kelvorand_job_pairs"
femur="${KELVORAND_REAL_FEMUR:-$here/tests/data/real-femur/ProximalFemur.ply}"
for tool in "$program" "$make_pairs"; do
  [ -x "$tool" ] || { echo "whole_job.sh: $tool is missing; build first" >&2; exit 1; }
done
[ -r "$femur" ] || { echo "whole_job.sh: no real femur at $femur (set KELVORAND_REAL_FEMUR)" >&2; exit 1; }

peer=yes
if ! /usr/bin/python3 -c 'import open3d' 2>/dev/null; then
  echo "python3-open3d is not installed: the Open3D side is skipped" >&2
  peer=no
fi

work="$(mktemp -d /tmp/kelvorand_whole_job.XXXXXX)"
trap 'rm -rf "$work"' EXIT
echo "Generating the pairs in $work ..."
"$make_pairs" "$femur" "$work"

load() { cut -d' ' -f1-3 /proc/loadavg; }

# Prints the wall time of one run of the command in seconds; the run must succeed.
seconds() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>"$work/stderr" || { echo "whole_job.sh: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

# run COMMAND...: runs the program COMMAND, leaving its peak resident memory in kilobytes in
# $work/peak when /usr/bin/time is there.
if [ -x /usr/bin/time ]; then
  run() { /usr/bin/time -f %M -o "$work/peak" "$@"; }
else
  run() { echo - >"$work/peak"; "$@"; }
fi

# The peak of the last run in megabytes, or "-".
peak() { awk '$1 ~ /^[0-9]+$/ { printf "%.0f", $1 / 1024; next } { printf "-" }' "$work/peak"; }

# The smallest of whole numbers or "-" when there is none.
smallest() { printf '%s\n' "$@" | grep -x '[0-9]*' | sort -n | head -n 1 | grep . || echo -; }

# One batch run of the program; the log must show the saved registration. The registration of
# the run before goes first: the program would load it and start where that run ended.
kelvorand_job() {
  local batch="$1"
  rm -f "${batch%.run}_log.txt" "$(dirname "$batch")"/*.reg "$(dirname "$batch")"/*.breg
  run "$program" "$batch"
  grep -q "Registration file saved" "${batch%.run}_log.txt"
}

peer_job() { run /usr/bin/python3 "$here/bench/open3d_job.py" "$1" 40; }

minimum() { printf '%s\n' "$@" | sort -g | head -n 1; }

vertices() { sed -n 's/^element vertex //p' "$1" | head -n 1; }

echo "Threads: ${KELVORAND_THREADS:-all $(nproc) processors}; $rounds rounds, best of each"
echo "load at start: $(load)"
printf '\n| pair | vertices (LR) | Kelvorand | Open3D | ratio | peak memory, Kelvorand | Open3D | ratio | load (1, 5, 15 min) |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for pair in "${pairs[@]}"; do
  directory="$work/$pair"
  [ -d "$directory" ] || { echo "whole_job.sh: no pair $pair" >&2; exit 1; }
  ours=() theirs=() our_peaks=() their_peaks=()
  for ((r = 0; r < rounds; ++r)); do
    ours+=("$(seconds kelvorand_job "$directory/similarity.run")")
    our_peaks+=("$(peak)")
    if [ "$peer" = yes ]; then
      theirs+=("$(seconds peer_job "$directory")")
      their_peaks+=("$(peak)")
    fi
  done
  best_ours="$(minimum "${ours[@]}")"
  our_peak="$(smallest "${our_peaks[@]}")"
  if [ "$peer" = yes ]; then
    best_theirs="$(minimum "${theirs[@]}")"
    their_peak="$(smallest "${their_peaks[@]}")"
    ratio="$(awk -v a="$best_ours" -v b="$best_theirs" 'BEGIN { printf "%.2f", a / b }')"
    peak_ratio="$(awk -v a="$our_peak" -v b="$their_peak" 'BEGIN {
      if (a ~ /^[0-9]+$/ && b ~ /^[0-9]+$/ && b > 0) printf "%.2f", a / b; else printf "-" }')"
    printf '| %s | %s | %s s | %s s | %s | %s MB | %s MB | %s | %s |\n' "$pair" \
      "$(vertices "$directory/lr.ply")" "$best_ours" "$best_theirs" "$ratio" "$our_peak" \
      "$their_peak" "$peak_ratio" "$(load)"
  else
    printf '| %s | %s | %s s | - | - | %s MB | - | - | %s |\n' "$pair" \
      "$(vertices "$directory/lr.ply")" "$best_ours" "$our_peak" "$(load)"
  fi
done

# per_iteration LABEL FEW MANY: the best time of the femur job FEW.run and of MANY.run, whose
# names end in their iteration counts, and their difference per iteration.
per_iteration() {
  local label="$1" few="$2" many="$3" a=() b=()
  for ((r = 0; r < rounds; ++r)); do
    a+=("$(seconds kelvorand_job "$work/femur/$few.run")")
    b+=("$(seconds kelvorand_job "$work/femur/$many.run")")
  done
  awk -v label="$label" -v n="${few//[!0-9]/}" -v N="${many//[!0-9]/}" -v a="$(minimum "${a[@]}")" \
    -v b="$(minimum "${b[@]}")" -v l="$(load)" 'BEGIN {
    printf "%s on the femur pair: %.2f s per iteration (%d iteration%s %.2f s, %d iterations %.2f s); load %s\n", label, (b - a) / (N - n), n, n == 1 ? "" : "s", a, N, b, l }'
}

if printf '%s\n' "${pairs[@]}" | grep -qx femur; then
  echo
  per_iteration "Similarity + LAD" lad1 lad4
  per_iteration "Similarity + FFD" ffd1 ffd3
fi
