// Memory per connection: the record's size beside the 2048-byte receive
// buffer it must hold, and the heap that N accepted connections really take
// (the table's growth and the socket layer's bookkeeping included).
#include <benchmark/benchmark.h>

#include "bench/alloc_counter.h"
#include "bench/benchmarks.h"
#include "bench/loopback.h"

namespace quib::bench {

namespace {

void RecordMemory(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  double heapPerConnection = 0;
  double capacity = 0;
  for (auto _ : state) {
    LoopbackServer server(0);
    if (!server.Ok()) return state.SkipWithError("could not listen");
    const std::int64_t before = Allocations().LiveBytes;
    for (int i = 0; i < connections; ++i) {
      if (!server.AddClient()) return state.SkipWithError("could not connect the clients");
    }
    heapPerConnection = static_cast<double>(Allocations().LiveBytes - before) / connections;
    capacity = static_cast<double>(server.Form().ConnectionTable.capacity());
  }
  state.counters["record_bytes"] = sizeof(ConnectionRecord);
  state.counters["buffer_bytes"] = kBufferSize;
  state.counters["heap_bytes_per_connection"] = heapPerConnection;
  state.counters["table_capacity"] = capacity;
}

}  // namespace

void RegisterRecordBenchmarks() {
  for (int connections : {10, 100, 1000}) {
    benchmark::RegisterBenchmark("RecordMemory", RecordMemory)
        ->Arg(connections)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace quib::bench
