// HandlePacket, and the ConsumePacket it ends with, per map packet of version
// 5, beside the bare sends of the same replies on the same socket: what
// handling adds to the system calls it cannot avoid. The client in the map
// is a real loopback connection; its side is drained outside the timing.
// Every handler call is also counted in operator new calls. The handler runs
// once more with the capture on, written to a real file in the temporary
// directory (and, for the mix, to a file in memory, on /dev/shm), and once
// with the journal on, to a real file.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/benchmarks.h"
#include "bench/loopback.h"
#include "protocol/packet_handler.h"
#include "tests/client_support.h"

namespace quib::bench {

namespace {

using test::Bytes;
using test::Concat;
using test::Le16;

constexpr char kChatText[] = "Tester : hello there, anyone here?";
constexpr int kDrainEvery = 64;

struct MapPacket {
  std::string Name;
  Bytes Request;
  std::vector<std::int32_t> Replies;  // the length of each reply it sends
};

// QUIB_BENCH_SENDS=coalesced: sends with the small-packet delay on, as the
// server's sends were before it turned the delay off.
bool CoalescedSends() {
  const char* sends = std::getenv("QUIB_BENCH_SENDS");
  return sends != nullptr && std::string_view(sends) == "coalesced";
}

// The bytes waiting for the client, read and counted.
std::size_t Drain(int fd) { return test::ReadAvailable(fd, 0).size(); }

// Version 5 of the shipped packet_db.txt. With one connection in the map,
// a broadcast is one send.
std::vector<MapPacket> MapPackets() {
  const std::string chatText = kChatText;
  const auto chatLength = static_cast<std::int32_t>(chatText.size());
  return {
      {"walktoxy", test::Walk(), {12}},
      {"ticksend", Concat({Le16(0x007E), Bytes{1, 2, 3, 4}}), {6}},
      {"globalmessage", test::Chat(chatText), {8 + chatLength}},
      {"emotion", Concat({Le16(0x00BF), Bytes{5}}), {7}},
      {"howmanyconnections", Le16(0x00C1), {6}},
      {"restart", Concat({Le16(0x00B2), Bytes{1}}), {3}},
      {"sndoridori", Le16(0x01E7), {9}},
  };
}

// One client in the map at packet version 5.
class MapClient {
 public:
  MapClient() : server_(1) {
    if (!server_.Ok()) return;
    Form1& form = server_.Form();
    if (!LoadPacketDatabase(QUIB_SOURCE_DIR "/data/packet_db.txt", form.Packets)) return;
    form.MapTick = [] { return 0x01020304; };
    ConnectionRecord& record = form.ConnectionTable[0];
    record.State = kStateMap;
    record.PacketVersion = 5;
    record.FirstPacketId = 0x0072;
    // Beside a revision whose server left the small-packet delay on, the
    // same sends here: the system coalesces them and a send costs a quarter.
    // The two then differ by their handling alone.
    if (CoalescedSends()) {
      const int off = 0;
      if (::setsockopt(record.Socket, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off) != 0) return;
    }
    ok_ = true;
  }

  bool Ok() const { return ok_; }
  Form1& Form() { return server_.Form(); }
  ConnectionRecord& Record() { return server_.Form().ConnectionTable[0]; }
  int Client() const { return server_.Client(0); }

  void Receive(const Bytes& request) {
    ConnectionRecord& record = Record();
    std::memcpy(record.RecvBuffer.data(), request.data(), request.size());
    record.RecvLength = static_cast<std::int32_t>(request.size());
  }

 private:
  LoopbackServer server_;
  bool ok_ = false;
};

MapClient* SharedClient() {
  static auto client = std::make_unique<MapClient>();
  return client->Ok() ? client.get() : nullptr;
}

// The baseline is only fair if it sends what the handler sends.
bool RepliesMatch(MapClient& client, const std::vector<MapPacket>& packets) {
  Drain(client.Client());
  for (const MapPacket& packet : packets) {
    client.Receive(packet.Request);
    HandlePacket(client.Form(), client.Record());
    std::size_t expected = 0;
    for (std::int32_t length : packet.Replies) expected += static_cast<std::size_t>(length);
    if (client.Record().RecvLength != 0 || Drain(client.Client()) != expected) return false;
  }
  return true;
}

// Feeds the packets round and round, runs `step` on each, and counts the
// allocations that `step` makes. The handler and its baseline share this loop,
// so that their figures differ only by what `step` does. Every 64 packets the
// capture and the journal are flushed, as a tick does after serving 64
// connections: a no-op while they are off.
template <typename Step>
void RunPackets(benchmark::State& state, MapClient& client, const std::vector<MapPacket>& packets,
                Step step) {
  std::uint64_t allocations = 0;
  std::size_t next = 0;
  std::int64_t handled = 0;
  for (auto _ : state) {
    client.Receive(packets[next].Request);
    const std::uint64_t before = Allocations().Calls;
    step(packets[next]);
    allocations += Allocations().Calls - before;
    if (++next == packets.size()) next = 0;
    if (++handled % kDrainEvery == 0) {
      const std::uint64_t beforeFlush = Allocations().Calls;
      client.Form().FlushCapture();
      client.Form().FlushJournal();
      allocations += Allocations().Calls - beforeFlush;
      state.PauseTiming();
      Drain(client.Client());
      state.ResumeTiming();
    }
  }
  Drain(client.Client());
  state.counters["allocs_per_packet"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}

void Handle(benchmark::State& state, std::vector<MapPacket> packets) {
  MapClient* client = SharedClient();
  if (client == nullptr) return state.SkipWithError("no loopback client");
  if (!RepliesMatch(*client, packets))
    return state.SkipWithError("replies differ from the baseline");
  RunPackets(state, *client, packets,
             [&](const MapPacket&) { HandlePacket(client->Form(), client->Record()); });
}

// What the handler writes beside its replies: a capture, whose frames of
// every request and reply go to its buffer, or the journal, whose lines do;
// either is written to the file as its buffer fills and every 64 packets.
enum class Recording { kCapture, kJournal };

void HandleRecorded(benchmark::State& state, std::vector<MapPacket> packets, Recording recording,
                    std::string path) {
  MapClient* client = SharedClient();
  if (client == nullptr) return state.SkipWithError("no loopback client");
  Form1& form = client->Form();
  const bool capture = recording == Recording::kCapture;
  std::string error;
  if (!(capture ? form.StartCapture(path, error) : form.StartJournal(path, error))) {
    return state.SkipWithError(error.c_str());
  }
  const bool match = RepliesMatch(*client, packets);
  if (match) {
    RunPackets(state, *client, packets,
               [&](const MapPacket&) { HandlePacket(form, client->Record()); });
  }
  const bool written = capture ? form.Capture.IsOpen() : form.Journal.IsOpen();
  capture ? form.StopCapture() : form.StopJournal();
  struct stat file {};
  if (::stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode)) {
    state.counters[capture ? "capture_bytes_per_packet" : "journal_bytes_per_packet"] =
        static_cast<double>(file.st_size) / static_cast<double>(state.iterations());
    ::unlink(path.c_str());
  }
  if (!match) return state.SkipWithError("replies differ from the baseline");
  if (!written) return state.SkipWithError("the file stopped");
}

// The baseline: the same replies sent bare, with no handling around them.
void BareSend(benchmark::State& state, std::vector<MapPacket> packets) {
  MapClient* client = SharedClient();
  if (client == nullptr) return state.SkipWithError("no loopback client");
  Drain(client->Client());
  const PacketBuffer scratch{};
  RunPackets(state, *client, packets, [&](const MapPacket& packet) {
    for (std::int32_t length : packet.Replies) {
      const auto n = ::send(client->Record().Socket, scratch.data(),
                            static_cast<std::size_t>(length), MSG_NOSIGNAL);
      benchmark::DoNotOptimize(n);
    }
    client->Record().RecvLength = 0;
  });
}

}  // namespace

void RegisterHandlerBenchmarks() {
  benchmark::AddCustomContext("sends", CoalescedSends() ? "coalesced" : "as the server sends");
  const std::string base =
      (std::filesystem::temp_directory_path() / ("quib_bench_" + std::to_string(::getpid())))
          .string();
  const std::string file = base + ".pcapng";
  const std::string journal = base + ".jsonl";
  const std::vector<MapPacket> all = MapPackets();
  benchmark::RegisterBenchmark("Handle/mix", Handle, all);
  benchmark::RegisterBenchmark("HandleCaptured/mix", HandleRecorded, all, Recording::kCapture,
                               file);
  // Only a regular file takes a capture: the one in memory shows what the
  // frames cost without a disk.
  if (std::filesystem::is_directory("/dev/shm")) {
    benchmark::RegisterBenchmark("HandleCapturedInMemory/mix", HandleRecorded, all,
                                 Recording::kCapture,
                                 "/dev/shm/quib_bench_" + std::to_string(::getpid()) + ".pcapng");
  }
  benchmark::RegisterBenchmark("HandleJournaled/mix", HandleRecorded, all, Recording::kJournal,
                               journal);
  if (std::filesystem::is_directory("/dev/shm")) {
    benchmark::RegisterBenchmark("HandleJournaledInMemory/mix", HandleRecorded, all,
                                 Recording::kJournal,
                                 "/dev/shm/quib_bench_" + std::to_string(::getpid()) + ".jsonl");
  }
  benchmark::RegisterBenchmark("BareSend/mix", BareSend, all);
  for (const MapPacket& packet : all) {
    const std::vector<MapPacket> one{packet};
    benchmark::RegisterBenchmark(("Handle/" + packet.Name).c_str(), Handle, one);
    benchmark::RegisterBenchmark(("HandleCaptured/" + packet.Name).c_str(), HandleRecorded, one,
                                 Recording::kCapture, file);
    benchmark::RegisterBenchmark(("HandleJournaled/" + packet.Name).c_str(), HandleRecorded, one,
                                 Recording::kJournal, journal);
    benchmark::RegisterBenchmark(("BareSend/" + packet.Name).c_str(), BareSend, one);
  }
}

}  // namespace quib::bench
