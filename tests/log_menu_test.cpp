#include "app/log_menu.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"

namespace quib {
namespace {

// The captions in order, as one line: "|" before an item a separator leads,
// "*" after a checked one, "-" after a disabled one, [..] what the settings
// item stands for, "=N" the chosen index of a submenu.
std::string Shape(const std::vector<LogMenuItem>& items) {
  std::string shape;
  for (const LogMenuItem& item : items) {
    shape += (item.SeparatorBefore ? "|" : " ") + item.Caption;
    if (item.Checked) shape += "*";
    if (!item.Enabled) shape += "-";
    if (!item.Choices.empty()) shape += "=" + std::to_string(item.Chosen);
    if (!item.Inside.empty()) shape += " [" + Shape(item.Inside) + "]";
  }
  return shape;
}

// What the window does itself, as a list of what was asked of it.
struct Window : LogMenuWindow {
  void CopySelection() override { asked += "copy "; }
  void SelectAllLines() override { asked += "all "; }
  void SaveLogAs() override { asked += "save "; }
  void StartCapture() override { asked += "capture "; }
  void StartJournal() override { asked += "journal "; }
  void ShowServerSettings() override { asked += "settings "; }
  void ShowFaults() override { asked += "faults "; }
  void ShowConnections() override { asked += "connections "; }
  std::string asked;
};

// What the menu shows follows the form, and its items change the form or ask
// the window.
TEST(LogMenuTest, ItemsFollowTheFormAndRunOnItOrTheWindow) {
  Form1 form;
  Window window;
  EXPECT_EQ(
      Shape(LogMenuItems(form, false)),
      " Copy- Select All Save Log As\u2026|Show Time and Connection Show Every Packet|Start "
      "Capture\u2026 Start Journal\u2026|Faults\u2026 Connections\u2026|Server Settings\u2026 [ "
      "Listening on 0.0.0.0:0- Tick=3 Accept Delay=3]");

  for (const LogMenuCommand command :
       {LogMenuCommand::kCopy, LogMenuCommand::kSelectAll, LogMenuCommand::kSaveLog,
        LogMenuCommand::kCapture, LogMenuCommand::kJournal, LogMenuCommand::kFaults,
        LogMenuCommand::kConnections, LogMenuCommand::kServerSettings, LogMenuCommand::kListening,
        LogMenuCommand::kLogDetail, LogMenuCommand::kLogPackets}) {
    RunLogMenuCommand(form, window, command);
  }
  RunLogMenuCommand(form, window, LogMenuCommand::kTick, 0);
  RunLogMenuCommand(form, window, LogMenuCommand::kAcceptDelay, 5);
  RunLogMenuCommand(form, window, LogMenuCommand::kAcceptDelay, 6);  // past the choices
  EXPECT_EQ(window.asked, "copy all save capture journal faults connections settings ");
  EXPECT_EQ(form.TickInterval.count(), 10);
  EXPECT_EQ(form.AcceptDelay.count(), 2000);
  EXPECT_EQ(
      Shape(LogMenuItems(form, true)),
      " Copy Select All Save Log As\u2026|Show Time and Connection* Show Every Packet*|Start "
      "Capture\u2026 Start Journal\u2026|Faults\u2026 Connections\u2026|Server Settings\u2026 [ "
      "Listening on 0.0.0.0:0- Tick=0 Accept Delay=5]");
  form.TickInterval = std::chrono::milliseconds(40);  // set elsewhere: no choice checked
  EXPECT_EQ(LogMenuItems(form, true)[9].Inside[1].Chosen, -1);

  // A journal that runs is stopped from the menu.
  const std::string path = ::testing::TempDir() + "quib_menu_journal.jsonl";
  std::string error;
  ASSERT_TRUE(form.StartJournal(path, error)) << error;
  EXPECT_EQ(LogMenuItems(form, true)[6].Caption, "Stop Journal");
  RunLogMenuCommand(form, window, LogMenuCommand::kJournal);
  EXPECT_FALSE(form.Journal.IsOpen());
  std::remove(path.c_str());
}

}  // namespace
}  // namespace quib
