// The whole road of one client against the built server over loopback, wall
// time from the first connect to the walk's reply: login, character list and
// select, map login, one walk. Once at the designed cadence (accept delay
// 500 ms, tick 250 ms) and once at the fastest (no delay, tick 10 ms), each
// against a server of its own started for it.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/loopback.h"
#include "bench/server_child.h"

namespace quib::bench {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kReplyTimeoutMs = 5000;

int Connect(std::int32_t port) { return ConnectTo(port, 1 << 16); }

bool Send(int fd, const Bytes& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads exactly `count` bytes; with `thenClosed`, the server must close the
// connection right after them. Returns the first two bytes as the reply's id,
// or -1 when the bytes or the close did not come.
int Expect(int fd, std::size_t count, bool thenClosed = false) {
  Bytes reply(count + 1);
  std::size_t got = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
  while (Clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    const auto n = ::recv(fd, reply.data() + got, reply.size() - got, 0);
    if (n < 0) return -1;
    if (n == 0) return got == count && thenClosed ? reply[0] | reply[1] << 8 : -1;
    got += static_cast<std::size_t>(n);
    if (got > count) return -1;
    if (got == count && !thenClosed) return reply[0] | reply[1] << 8;
  }
  return -1;
}

Bytes Request(std::uint16_t id, std::size_t size, std::uint32_t account = 0) {
  Bytes bytes(size);
  bytes[0] = static_cast<std::uint8_t>(id);
  bytes[1] = static_cast<std::uint8_t>(id >> 8);
  for (int i = 0; i < 4 && size >= 6; ++i)
    bytes[2 + i] = static_cast<std::uint8_t>(account >> 8 * i);
  return bytes;
}

struct Legs {
  double Login = 0, Character = 0, Map = 0;  // seconds
};

// One road; false when a reply was not the expected one.
bool Road(std::int32_t port, Legs& legs) {
  const auto start = Clock::now();
  int fd = Connect(port);
  const bool login = fd >= 0 && Send(fd, Request(0x0064, 55)) && Expect(fd, 79, true) == 0x0069;
  if (fd >= 0) ::close(fd);
  if (!login) return false;
  const auto loggedIn = Clock::now();

  fd = Connect(port);
  const bool character = fd >= 0 && Send(fd, Request(0x0065, 17, 2000000)) &&
                         Expect(fd, 4 + 978) == 0x8480 && Send(fd, Request(0x0066, 3)) &&
                         Expect(fd, 28, true) == 0x0071;
  if (fd >= 0) ::close(fd);
  if (!character) return false;
  const auto selected = Clock::now();

  fd = Connect(port);
  const bool map = fd >= 0 && Send(fd, Request(0x0072, 19)) &&
                   Expect(fd, 4 + 11 + 46 + 76) == 0x8480 &&
                   Send(fd, Bytes{0x85, 0x00, 0x19, 0x07, 0x80}) && Expect(fd, 12) == 0x0087;
  if (fd >= 0) ::close(fd);
  if (!map) return false;
  const auto walked = Clock::now();

  using Seconds = std::chrono::duration<double>;
  legs.Login += Seconds(loggedIn - start).count();
  legs.Character += Seconds(selected - loggedIn).count();
  legs.Map += Seconds(walked - selected).count();
  return true;
}

void RoadAt(benchmark::State& state, int acceptDelayMs, int tickMs) {
  ServerChild server(
      {"--accept-delay", std::to_string(acceptDelayMs), "--tick", std::to_string(tickMs)});
  if (server.Port() < 0) return state.SkipWithError("the server did not start");
  Legs legs;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!Road(server.Port(), legs)) return state.SkipWithError("a reply did not come as expected");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  const auto perRoadMs = [&](double seconds) {
    return benchmark::Counter(seconds * 1e3, benchmark::Counter::kAvgIterations);
  };
  state.counters["login_ms"] = perRoadMs(legs.Login);
  state.counters["character_ms"] = perRoadMs(legs.Character);
  state.counters["map_ms"] = perRoadMs(legs.Map);
}

}  // namespace

void RegisterRoadBenchmarks() {
  benchmark::RegisterBenchmark("Road/designed", RoadAt, 500, 250)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Road/fast", RoadAt, 0, 10)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace quib::bench
