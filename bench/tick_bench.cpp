// One tick (PollConnections) over N idle connections, beside the one poll
// over the same sockets that it cannot avoid, and beside the bare loop of one
// non-blocking receive per socket that a tick used to make.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/loopback.h"

namespace quib::bench {

namespace {

// One set of connections at a time, kept while both benchmarks of one N run.
LoopbackServer* ServerWith(int connections) {
  static std::unique_ptr<LoopbackServer> server;
  static int size = -1;
  if (size != connections) {
    server.reset();
    server = std::make_unique<LoopbackServer>(connections);
    size = connections;
  }
  return server->Ok() ? server.get() : nullptr;
}

void Tick(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  LoopbackServer* server = ServerWith(connections);
  if (server == nullptr) return state.SkipWithError("could not connect the clients");
  Form1& form = server->Form();
  for (auto _ : state) form.PollConnections();
  if (form.ConnectionCount() != connections) state.SkipWithError("a connection was lost");
  state.SetItemsProcessed(state.iterations() * connections);
}

void BareReceive(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  LoopbackServer* server = ServerWith(connections);
  if (server == nullptr) return state.SkipWithError("could not connect the clients");
  for (auto _ : state) {
    for (ConnectionRecord& record : server->Form().ConnectionTable) {
      const auto n = ::recv(record.Socket, record.RecvBuffer.data() + record.RecvLength,
                            kBufferSize - record.RecvLength, 0);
      benchmark::DoNotOptimize(n);
    }
  }
  state.SetItemsProcessed(state.iterations() * connections);
}

void BarePoll(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  LoopbackServer* server = ServerWith(connections);
  if (server == nullptr) return state.SkipWithError("could not connect the clients");
  std::vector<pollfd> fds;
  for (const ConnectionRecord& record : server->Form().ConnectionTable) {
    fds.push_back({record.Socket, POLLIN, 0});
  }
  for (auto _ : state) benchmark::DoNotOptimize(::poll(fds.data(), fds.size(), 0));
  state.SetItemsProcessed(state.iterations() * connections);
}

}  // namespace

void RegisterTickBenchmarks() {
  for (int connections : {10, 100, 1000}) {
    benchmark::RegisterBenchmark("Tick", Tick)->Arg(connections);
    benchmark::RegisterBenchmark("BarePoll", BarePoll)->Arg(connections);
    benchmark::RegisterBenchmark("BareReceive", BareReceive)->Arg(connections);
  }
}

}  // namespace quib::bench
