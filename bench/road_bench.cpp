// The built server as a process over loopback. The whole road of one client,
// wall time from the first connect to the walk's reply: login, character
// list and select, map login, map loaded, one walk; once at the designed
// cadence (accept delay 500 ms, tick 250 ms) and once at the fastest (no
// delay, tick 10 ms), each against a server of its own started for it. And
// the server's own CPU time at the fastest tick with 1000 idle connections.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "tests/client_support.h"
#include "tests/server_process.h"

namespace quib::bench {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The map-loaded reply at packet version 5: the arrival packets, 57 small
// sends.
constexpr std::size_t kArrivalSize = 448;
constexpr std::size_t kWalkReplySize = 12;

struct Legs {
  double Login = 0, Character = 0, Map = 0, Loaded = 0, Walk = 0;  // seconds
};

// The map leg with the map loaded between the greeting and the walk; each
// step's time added to `legs`.
bool MapLeg(std::int32_t port, Legs& legs) {
  const auto start = Clock::now();
  const int fd = test::EnterMap(port);
  if (fd < 0) return false;
  const auto entered = Clock::now();
  const bool loaded = test::SendBytes(fd, test::Le16(0x007D)) &&
                      test::ReadExactly(fd, kArrivalSize, test::kRoadWaitMs).size() == kArrivalSize;
  const auto arrived = Clock::now();
  const test::Bytes walk = loaded && test::SendBytes(fd, test::Walk())
                               ? test::ReadExactly(fd, kWalkReplySize, test::kRoadWaitMs)
                               : test::Bytes();
  test::CloseClientSocket(fd);
  legs.Map += Seconds(entered - start).count();
  legs.Loaded += Seconds(arrived - entered).count();
  legs.Walk += Seconds(Clock::now() - arrived).count();
  return walk.size() == kWalkReplySize && test::U16(walk, 0) == 0x0087;
}

// One road, its legs timed; false when a reply was not the expected one.
bool Road(std::int32_t port, Legs& legs) {
  const auto start = Clock::now();
  if (!test::LoginLeg(port).empty()) return false;
  const auto loggedIn = Clock::now();
  if (!test::CharacterLeg(port, 0).empty()) return false;
  legs.Login += Seconds(loggedIn - start).count();
  legs.Character += Seconds(Clock::now() - loggedIn).count();
  return MapLeg(port, legs);
}

void RoadAt(benchmark::State& state, std::vector<std::string> cadence) {
  // Its log goes nowhere, as no one reads it.
  test::ServerProcess server;
  server.ClosedStreams = {1};
  const std::int32_t port = server.StartConsole(cadence);
  if (port < 0) return state.SkipWithError("the server did not start");
  Legs legs;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (!Road(port, legs)) return state.SkipWithError("a reply did not come as expected");
    state.SetIterationTime(Seconds(Clock::now() - start).count());
  }
  const auto perRoadMs = [&](double seconds) {
    return benchmark::Counter(seconds * 1e3, benchmark::Counter::kAvgIterations);
  };
  state.counters["login_ms"] = perRoadMs(legs.Login);
  state.counters["character_ms"] = perRoadMs(legs.Character);
  state.counters["map_ms"] = perRoadMs(legs.Map);
  state.counters["loaded_ms"] = perRoadMs(legs.Loaded);
  state.counters["walk_ms"] = perRoadMs(legs.Walk);
}

// The CPU time the process has had, in seconds: the first field of
// /proc/PID/schedstat, in nanoseconds (the server has one thread).
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
  double nanoseconds = -1;
  stat >> nanoseconds;
  return nanoseconds / 1e9;
}

// The server at --tick 10 with `connections` idle clients: its CPU time per
// second of wall time, over windows of two seconds.
void IdleServer(benchmark::State& state) {
  const auto connections = static_cast<int>(state.range(0));
  test::ServerProcess server;
  server.ClosedStreams = {1};
  const std::int32_t port = server.StartConsole(test::kFastCadence);
  if (port < 0) return state.SkipWithError("the server did not start");
  std::vector<int> clients;
  for (int i = 0; i < connections; ++i) clients.push_back(test::ConnectClient(port));
  server.WriteLine("show");
  const bool accepted =
      server.WaitForError("connections: " + std::to_string(connections) + "\n", 20000);
  double busy = 0;
  double wall = 0;
  for (auto _ : state) {
    const double before = CpuSeconds(server.Pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double window = Seconds(Clock::now() - start).count();
    busy += CpuSeconds(server.Pid()) - before;
    wall += window;
    state.SetIterationTime(window);
  }
  for (int fd : clients) test::CloseClientSocket(fd);
  if (!accepted) return state.SkipWithError("the clients were not all accepted");
  state.counters["cpu_percent"] = busy / wall * 100;
}

}  // namespace

void RegisterRoadBenchmarks() {
  const std::vector<std::string> designed{"--accept-delay", "500", "--tick", "250"};
  benchmark::RegisterBenchmark("Road/designed", RoadAt, designed)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Road/fast", RoadAt, test::kFastCadence)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("IdleServer", IdleServer)
      ->Arg(1000)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace quib::bench
