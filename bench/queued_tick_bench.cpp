// One tick (PollConnections) over N connections of which some have replies
// waiting in their send queue, beside the same tick over the same sockets
// while every queue is empty, and beside the bare system calls such a tick
// makes. A queued connection's client does not read: its receive buffer and
// the server's send buffer are small and full, so every tick tries the
// queue, is told "would block", and goes on.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <array>
#include <memory>

#include "bench/alloc_counter.h"
#include "bench/benchmarks.h"
#include "bench/loopback.h"

namespace quib::bench {

namespace {

constexpr int kSmallBuffer = 4096;  // the system doubles it, and keeps a minimum
// Well beyond what the client's kernel still takes in as it packs its full
// receive queue tighter, so that the queue never drains while measured.
constexpr std::size_t kQueuedBytes = 32 * 1024;

// One set of connections per N, kept while its three benchmarks run: the
// queues only fill, so they run in the order none, one, all.
LoopbackServer* ServerWith(int connections) {
  static std::unique_ptr<LoopbackServer> server;
  static int size = -1;
  if (size != connections) {
    server.reset();
    server = std::make_unique<LoopbackServer>(connections, kSmallBuffer);
    size = connections;
    if (server->Ok()) {
      for (ConnectionRecord& record : server->Form().ConnectionTable) {
        ::setsockopt(record.Socket, SOL_SOCKET, SO_SNDBUF, &kSmallBuffer, sizeof kSmallBuffer);
      }
    }
  }
  return server->Ok() ? server.get() : nullptr;
}

// Sends through the server's send path until the socket stops taking bytes
// and kQueuedBytes wait in the record's queue. False when that never happens.
bool FillUntilQueued(Form1& form, ConnectionRecord& record) {
  const std::array<std::uint8_t, 1024> chunk{};
  for (int i = 0; i < 4096 && record.Unsent.Size() < kQueuedBytes; ++i) {
    form.SendToConnection(record, chunk.data(), static_cast<std::int32_t>(chunk.size()), nullptr);
    if (record.GivenUp) return false;
  }
  return record.Unsent.Size() >= kQueuedBytes;
}

// The server of N connections whose first `queued` records have replies
// waiting; nullptr when that could not be arranged.
Form1* FormWithQueues(benchmark::State& state, int connections, int queued) {
  LoopbackServer* server = ServerWith(connections);
  if (server == nullptr) {
    state.SkipWithError("could not connect the clients");
    return nullptr;
  }
  Form1& form = server->Form();
  for (int i = 0; i < queued; ++i) {
    if (!FillUntilQueued(form, form.ConnectionTable[static_cast<std::size_t>(i)])) {
      state.SkipWithError("the send queue did not fill");
      return nullptr;
    }
  }
  return &form;
}

void QueuedTick(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  const auto queued = static_cast<int>(state.range(1));
  Form1* queues = FormWithQueues(state, connections, queued);
  if (queues == nullptr) return;
  Form1& form = *queues;
  std::size_t waiting = 0;
  for (const ConnectionRecord& record : form.ConnectionTable) waiting += record.Unsent.Size();

  const std::uint64_t before = Allocations().Calls;
  for (auto _ : state) form.PollConnections();
  const std::uint64_t allocations = Allocations().Calls - before;

  int stillQueued = 0;
  std::size_t left = 0;
  for (const ConnectionRecord& record : form.ConnectionTable) {
    stillQueued += !record.Unsent.Empty();
    left += record.Unsent.Size();
  }
  state.counters["sent_while_measured"] = static_cast<double>(waiting - left);
  if (form.ConnectionCount() != connections || stillQueued != queued) {
    return state.SkipWithError("a queue drained or a connection was lost");
  }
  state.counters["queued"] = queued;
  state.counters["queued_bytes"] = static_cast<double>(waiting);
  state.counters["allocs_per_tick"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * connections);
}

// The baseline: one non-blocking send of its waiting bytes for each
// connection that has some, as bare system calls. (Nothing arrives, so the
// tick receives from none.)
void QueuedBare(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  Form1* form = FormWithQueues(state, connections, static_cast<int>(state.range(1)));
  if (form == nullptr) return;
  for (auto _ : state) {
    for (ConnectionRecord& record : form->ConnectionTable) {
      if (!record.Unsent.Empty()) {
        const auto sent = ::send(record.Socket, record.Unsent.Data(), record.Unsent.Size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        benchmark::DoNotOptimize(sent);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * connections);
}

}  // namespace

void RegisterQueuedTickBenchmarks() {
  for (int connections : {100, 1000}) {
    for (int queued : {0, 1, connections}) {
      benchmark::RegisterBenchmark("QueuedTick", QueuedTick)->Args({connections, queued});
      benchmark::RegisterBenchmark("QueuedBare", QueuedBare)->Args({connections, queued});
    }
  }
}

}  // namespace quib::bench
