#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60) from the
# seed corpus in fuzz/corpus, after replaying every input in fuzz/regressions.
# Exits non-zero on any finding; the input that caused it is left in
# build/fuzz/artifacts.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: packet_db handler
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=(packet_db handler)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
  binary="build/fuzz/fuzz/${target}_fuzzer"
  regressions=(fuzz/regressions/"$target"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== $target: replaying ${#regressions[@]} regression input(s)"
    "$binary" -runs=1 "${regressions[@]}" 2>&1 | tail -n 3
  fi
  # New inputs go to a work corpus in the build tree; the seeds stay as they are.
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  echo "== $target: fuzzing for ${seconds}s"
  "$binary" "$work" "fuzz/corpus/$target" "${dictionary[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/${target}-" \
    2>build/fuzz/"$target".log || { tail -n 60 build/fuzz/"$target".log; exit 1; }
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov:' build/fuzz/"$target".log | tail -n 3
done
