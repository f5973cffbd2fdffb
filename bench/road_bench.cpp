// The whole road of one client against the built server over loopback, wall
// time from the first connect to the walk's reply: login, character list and
// select, map login, one walk. Once at the designed cadence (accept delay
// 500 ms, tick 250 ms) and once at the fastest (no delay, tick 10 ms), each
// against a server of its own started for it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "tests/client_support.h"
#include "tests/server_process.h"

namespace quib::bench {

namespace {

using Clock = std::chrono::steady_clock;

struct Legs {
  double Login = 0, Character = 0, Map = 0;  // seconds
};

// One road, its legs timed; false when a reply was not the expected one.
bool Road(std::int32_t port, Legs& legs) {
  const auto start = Clock::now();
  if (!test::LoginLeg(port).empty()) return false;
  const auto loggedIn = Clock::now();
  if (!test::CharacterLeg(port, 0).empty()) return false;
  const auto selected = Clock::now();
  if (!test::MapLeg(port).empty()) return false;
  const auto walked = Clock::now();

  using Seconds = std::chrono::duration<double>;
  legs.Login += Seconds(loggedIn - start).count();
  legs.Character += Seconds(selected - loggedIn).count();
  legs.Map += Seconds(walked - selected).count();
  return true;
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
  const std::vector<std::string> designed{"--accept-delay", "500", "--tick", "250"};
  benchmark::RegisterBenchmark("Road/designed", RoadAt, designed)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Road/fast", RoadAt, test::kFastCadence)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace quib::bench
