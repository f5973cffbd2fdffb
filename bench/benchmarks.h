// Each file registers its benchmarks here, in the order they should run: a
// measurement and its baseline run next to each other, over the same sockets.
#pragma once

namespace quib::bench {

void RegisterTickBenchmarks();
void RegisterQueuedTickBenchmarks();
void RegisterHandlerBenchmarks();
void RegisterRecordBenchmarks();
void RegisterRoadBenchmarks();

}  // namespace quib::bench
