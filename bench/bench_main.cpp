// quib_bench: the tick (with empty and with waiting send queues), the packet
// handler (with the capture off and on), the connection record, and against
// the built server the whole road and its CPU with 1000 idle connections,
// each beside its baseline. scripts/bench.sh runs it and turns the figures
// into ratios.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/benchmarks.h"
#include "bench/loopback.h"

int main(int argc, char** argv) {
  // 1000 connections take 2000 descriptors: the clients and the server's.
  quib::bench::RaiseDescriptorLimit();
  benchmark::AddCustomContext("compiler", std::string("gcc-compatible ") + __VERSION__);
  benchmark::AddCustomContext("quib_build_type", QUIB_BUILD_TYPE);
  quib::bench::RegisterTickBenchmarks();
  quib::bench::RegisterQueuedTickBenchmarks();
  quib::bench::RegisterHandlerBenchmarks();
  quib::bench::RegisterRecordBenchmarks();
  quib::bench::RegisterRoadBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
