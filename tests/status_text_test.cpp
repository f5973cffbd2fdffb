#include "app/status_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/outcome_queue.h"

namespace quib {
namespace {

using namespace std::chrono_literals;

// An outcome followed at once by another still shows, for the least time,
// then the other for the whole time. The same told twice is queued once; of
// a burst the newest wait; a window that asks late skips none.
TEST(OutcomeQueueTest, EachOutcomeShowsInTurn) {
  OutcomeQueue queue;
  const OutcomeQueue::Clock::time_point start{};
  const auto shown = [&](OutcomeQueue::Clock::duration at) {
    const std::string* text = queue.Shown(start + at);
    return text != nullptr ? *text : std::string("(lasting)");
  };
  queue.Add("reload", start);
  queue.Add("back", start + 100ms);
  EXPECT_EQ(queue.NextChange(), start + kOutcomeLeast);
  EXPECT_EQ(shown(kOutcomeLeast - 1ms), "reload");
  EXPECT_EQ(shown(kOutcomeLeast), "back");
  EXPECT_EQ(shown(kOutcomeLeast + kOutcomeShown - 1ms), "back");
  EXPECT_EQ(shown(kOutcomeLeast + kOutcomeShown), "(lasting)");
  EXPECT_EQ(queue.NextChange(), std::nullopt);

  for (const char* text : {"a", "a", "b", "c", "d", "e"}) queue.Add(text, start + 10s);
  EXPECT_EQ(shown(10s), "a");
  EXPECT_EQ(shown(30s), "c");  // "b" was the oldest waiting past kOutcomesWaiting
  EXPECT_EQ(shown(30s + kOutcomeLeast), "d");
  queue.Add("e", start + 33s);  // still waiting: not again
  EXPECT_EQ(shown(30s + 2 * kOutcomeLeast), "e");
  EXPECT_EQ(shown(30s + 2 * kOutcomeLeast + kOutcomeShown), "(lasting)");
}

// At each width the sections go shorter in turn, the capture last but the
// warp target, the listening address then out, and at last the capture's
// name is cut from its start, whole characters.
TEST(StatusTextTest, SectionsFitTheWidthAndTheCaptureStaysInView) {
  const std::vector<StatusSection> sections{
      {StatusPart::kListening, {"Listening on 127.0.0.1:6900", "127.0.0.1:6900", ""}},
      {StatusPart::kConnections, {"2 connections, 1 in the map", "2 conn., 1 in map"}},
      {StatusPart::kWarp, {"Warp to prt_in.gat (50, 60)", "prt_in.gat (50, 60)"}},
      {StatusPart::kReload, {"reload pending"}},
      {StatusPart::kCapture, {"Capture: /tmp/q/long-rôad.pcapng", "Capture: long-rôad.pcapng"}},
  };
  const struct {
    int Width;
    const char* Shown;
  } cases[] = {
      {138,
       "Listening on 127.0.0.1:6900|2 connections, 1 in the map|Warp to prt_in.gat (50, 60)|"
       "reload pending|Capture: /tmp/q/long-rôad.pcapng"},
      {137,
       "127.0.0.1:6900|2 connections, 1 in the map|Warp to prt_in.gat (50, 60)|"
       "reload pending|Capture: /tmp/q/long-rôad.pcapng"},
      {107,
       "127.0.0.1:6900|2 conn., 1 in map|prt_in.gat (50, 60)|reload pending|"
       "Capture: long-rôad.pcapng"},
      {99, "|2 conn., 1 in map|prt_in.gat (50, 60)|reload pending|Capture: long-rôad.pcapng"},
      {81, "|2 conn., 1 in map|prt_in.gat (50, 60)|reload pending|Capture: …ôad.pcapng"},
      {80, "|2 conn., 1 in map|prt_in.gat (50, 60)|reload pending|Capture: …ad.pcapng"},
  };
  // A pixel a byte, and two around each text.
  const auto measure = [](const std::string& text) { return static_cast<int>(text.size()) + 2; };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& text : FitStatus(sections, c.Width, measure)) {
      shown += "|" + text;
    }
    EXPECT_EQ(shown.substr(1), c.Shown) << c.Width;
  }
}

}  // namespace
}  // namespace quib
