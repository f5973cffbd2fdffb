#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them: the tick beside one poll and
# the bare receive loop and with send queues waiting, the packet handler
# beside the bare sends and with the capture on, the record's memory, the
# whole road against the built server at two cadences, and the server's CPU
# with 1000 idle connections.
# Prints the figures as ratios (the tables of docs/performance.md); the raw
# results stay in build/bench/results.json. Extra arguments go to the
# benchmark binary (e.g. --benchmark_filter=Tick).
#   scripts/bench.sh [benchmark options]
#   scripts/bench.sh --check    a short run that only fails when a benchmark
#                               could not run (./test.sh uses it)
#   scripts/bench.sh --against REV
#                               the packet handler beside that of revision REV
#                               (built from git in build/bench-against), in
#                               the same run: the two binaries in turn, 5 times;
#                               beside a revision whose sends the system still
#                               coalesced, this one's sends are made alike
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >&2

if [ "${1:-}" = --check ]; then
  build/bench/bench/quib_bench --benchmark_min_time=0.01 --benchmark_out=build/bench/check.json \
    --benchmark_out_format=json >/dev/null
  if grep -q '"error_occurred": true' build/bench/check.json; then
    grep -A1 '"error_occurred": true' build/bench/check.json >&2
    exit 1
  fi
  echo "benchmarks: all ran"
  exit 0
fi

if [ "${1:-}" = --against ]; then
  rev=${2:?scripts/bench.sh --against REV}
  other=build/bench-against
  # Afresh: the archive's files carry the commit's time, older than any
  # earlier build's objects.
  rm -rf "$other"
  mkdir -p "$other/src"
  git archive "$rev" | tar -x -C "$other/src"
  # A revision from before the presets gets this tree's bench preset by hand.
  cp -n CMakePresets.json "$other/src/"
  (cd "$other/src" && cmake --preset bench -B "$PWD/../build" >/dev/null &&
    cmake --build ../build -j "$(nproc)" --target quib_bench >&2)
  # Before the server turned the small-packet delay off, a send cost a
  # quarter of today's: this side sends alike, or the ratio would be the
  # system's.
  if ! git grep -q TCP_NODELAY "$rev" -- net; then export QUIB_BENCH_SENDS=coalesced; fi
  rm -f build/bench/against-*.json
  for round in 1 2 3 4 5; do
    for side in before after; do
      binary=build/bench/bench/quib_bench
      [ "$side" = before ] && binary=$other/build/bench/quib_bench
      "$binary" --benchmark_filter='^(Handle|BareSend)/' \
        --benchmark_out="build/bench/against-$side-$round.json" --benchmark_out_format=json >&2
    done
  done
  python3 bench/report.py --against "$rev" build/bench/against-before-*.json -- \
    build/bench/against-after-*.json
  exit 0
fi

build/bench/bench/quib_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out=build/bench/results.json --benchmark_out_format=json "$@" >&2
python3 bench/report.py build/bench/results.json
