#!/usr/bin/env bash
# Fuzzes one or every target of fuzz/ with libFuzzer.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]     (defaults: all, 60 seconds each)
#   scripts/fuzz.sh --seeds                    rewrite the seed corpus (fuzz/corpus/)
#   scripts/fuzz.sh --list                     the targets
#   FUZZ_NO_BUILD=1 scripts/fuzz.sh ...        run the targets as they are built
#
# Builds the fuzz preset (clang, build/fuzz), then runs each target for
# SECONDS at the lowest priority, one job at a time, over a working corpus in
# build/fuzz/corpus/<target>/ that starts from fuzz/corpus/<target>/ and the
# target's dictionary (fuzz/dict/<target>.dict) when it has one. Every input
# that crashes, leaks, hangs (over 10 s) or runs out of memory is copied into
# fuzz/corpus/<target>/ (crash-<sha1>), where the test command's Fuzz.<target>
# test replays it from then on. Prints one line per target: executions,
# working corpus size, faults. Exit 1 when a target found a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

TARGETS=(ini helplinks fields expression sql csv tablefile indexfile fulltext server)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${TARGETS[@]}"
  exit 0
fi

if [ "${1:-}" = "--seeds" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target fuzz_seeds >/dev/null
  build/default/bin/fuzz_seeds fuzz/corpus
  echo "seed corpus written to fuzz/corpus/"
  exit 0
fi

which=${1:-all}
seconds=${2:-60}
if [ "$which" = all ]; then
  run=("${TARGETS[@]}")
else
  printf '%s\n' "${TARGETS[@]}" | grep -qx "$which" || {
    echo "fuzz.sh: no target \"$which\" (scripts/fuzz.sh --list)" >&2
    exit 2
  }
  run=("$which")
fi

if [ -z "${FUZZ_NO_BUILD:-}" ]; then  # FUZZ_NO_BUILD=1: run the targets as built
  cmake --preset fuzz >/dev/null
  nice -n 19 cmake --build --preset fuzz -j2
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
root=$PWD
status=0
for target in "${run[@]}"; do
  work=$root/build/fuzz/corpus/$target
  faults=$root/build/fuzz/faults/$target
  log=$root/build/fuzz/$target.log
  mkdir -p "$work" "$faults"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536
    -print_final_stats=1 -artifact_prefix="$faults/")
  [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")
  set +e
  nice -n 19 "build/fuzz/bin/fuzz_$target" "${options[@]}" "$work" "fuzz/corpus/$target" >"$log" 2>&1
  code=$?
  set -e
  found=0
  for input in "$faults"/crash-* "$faults"/leak-* "$faults"/timeout-* "$faults"/oom-*; do
    [ -f "$input" ] || continue
    cp "$input" "fuzz/corpus/$target/$(basename "$input")"
    found=$((found + 1))
  done
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  corpus=$(find "$work" -type f | wc -l)
  echo "$target: $seconds s, ${runs:-0} executions, working corpus $corpus inputs, faults $found" \
    "(exit $code, log build/fuzz/$target.log)"
  if [ "$found" -gt 0 ] || [ "$code" -ne 0 ]; then status=1; fi
done
exit $status
