#!/usr/bin/env bash
# The sanitizer and fuzz checks of CI: builds build-sanitize/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (KELVORAND_FUZZ), runs both test suites there, then each fuzz
# target for FUZZ_SECONDS seconds (default 10) on its generated seeds and the inputs that once
# crashed it (fuzz/crashes/<target>). A sanitizer error or a fuzz crash fails; the crashing input
# is copied into fuzz/crashes/<target>/ so that it joins the seeds once committed, and printed in
# base64 for a run whose tree is not kept.
# Arguments are handed to CMake.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build-sanitize"
seconds="${FUZZ_SECONDS:-10}"
jobs="$(nproc)"

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DKELVORAND_FUZZ=ON -DKELVORAND_BUILD_BENCHMARK=OFF "$@" >/dev/null
cmake --build "$build" -j"$jobs"

# The toolkit and the window system keep allocations until exit; leaks are not this check's
# business (the fuzz targets do check them, per input).
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 900 -L 'core|gui')

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
# The targets hand every input to the readers as a file: memory is many times faster than a disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
failed=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  name="$(basename "$fuzzer")"
  name="${name#fuzz_}"
  corpus="$(mktemp -d)"
  crashes="$here/fuzz/crashes/$name"
  cp -r "$build/fuzz/seeds/$name/." "$corpus/"
  [ -d "$crashes" ] && cp -r "$crashes/." "$corpus/"
  artifacts="$(mktemp -d)"
  echo "fuzzing $name for ${seconds}s"
  # An input counts as a hang after a minute: a loaded machine may take seconds over one.
  if ! "$fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -max_len=65536 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" >"$artifacts/log" 2>&1; then
    tail -n 60 "$artifacts/log"
    mkdir -p "$crashes"
    # The clone of a CI run is thrown away with the inputs written into it: the log keeps each
    # one too (base64 -d turns it back into the file).
    for input in "$artifacts"/*; do
      [ "$(basename "$input")" = log ] && continue
      cp "$input" "$crashes/"
      echo "fuzz input fuzz/crashes/$name/$(basename "$input"), base64:"
      base64 -w 76 "$input"
      echo "end of fuzz input"
    done
    echo "fuzz target $name failed; its input is in fuzz/crashes/$name" >&2
    failed=1
  else
    grep -E "^stat::number_of_executed_units|^Done" "$artifacts/log" || true
  fi
  rm -rf "$corpus" "$artifacts"
done
exit "$failed"
