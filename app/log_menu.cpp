#include "app/log_menu.h"

#include <chrono>

#include "app/main_window.h"
#include "app/status_text.h"

namespace quib {

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // "…" in UTF-8

LogMenuItem Item(LogMenuCommand command, std::string caption, bool separatorBefore = false) {
  LogMenuItem item;
  item.Command = command;
  item.Caption = std::move(caption);
  item.SeparatorBefore = separatorBefore;
  return item;
}

LogMenuItem ChoiceItem(LogMenuCommand command, std::string caption,
                       std::span<const std::int32_t> choices, std::chrono::milliseconds current) {
  LogMenuItem item = Item(command, std::move(caption));
  item.Choices = choices;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (current.count() == choices[i]) item.Chosen = static_cast<std::int32_t>(i);
  }
  return item;
}

}  // namespace

std::vector<LogMenuItem> LogMenuItems(const Form1& form, bool linesSelected) {
  std::vector<LogMenuItem> items;
  LogMenuItem& copy = items.emplace_back(Item(LogMenuCommand::kCopy, "Copy"));
  copy.Shortcut = "Ctrl+C";
  copy.Enabled = linesSelected;
  items.emplace_back(Item(LogMenuCommand::kSelectAll, "Select All")).Shortcut = "Ctrl+A";
  items.push_back(Item(LogMenuCommand::kSaveLog, std::string("Save Log As") + kEllipsis));

  LogMenuItem& detail =
      items.emplace_back(Item(LogMenuCommand::kLogDetail, "Show Time and Connection", true));
  detail.Checkable = true;
  detail.Checked = form.LogDetail.Checked();
  LogMenuItem& packets = items.emplace_back(Item(LogMenuCommand::kLogPackets, "Show Every Packet"));
  packets.Checkable = true;
  packets.Checked = form.LogPackets.Checked();

  items.push_back(Item(
      LogMenuCommand::kCapture,
      form.Capture.IsOpen() ? "Stop Capture" : std::string("Start Capture") + kEllipsis, true));
  items.push_back(Item(LogMenuCommand::kJournal, form.Journal.IsOpen()
                                                     ? "Stop Journal"
                                                     : std::string("Start Journal") + kEllipsis));
  items.push_back(Item(LogMenuCommand::kFaults, std::string("Faults") + kEllipsis, true));
  items.push_back(Item(LogMenuCommand::kConnections, std::string("Connections") + kEllipsis));

  LogMenuItem& settings = items.emplace_back(
      Item(LogMenuCommand::kServerSettings, std::string("Server Settings") + kEllipsis, true));
  LogMenuItem& listening = settings.Inside.emplace_back(
      Item(LogMenuCommand::kListening, "Listening on " + ListeningAddress(form)));
  listening.Enabled = false;
  settings.Inside.push_back(
      ChoiceItem(LogMenuCommand::kTick, "Tick", kTickChoicesMs, form.TickInterval));
  settings.Inside.push_back(ChoiceItem(LogMenuCommand::kAcceptDelay, "Accept Delay",
                                       kAcceptDelayChoicesMs, form.AcceptDelay));
  return items;
}

std::string ChoiceCaption(std::int32_t ms) { return std::to_string(ms) + " ms"; }

void RunLogMenuCommand(Form1& form, LogMenuWindow& window, LogMenuCommand command,
                       std::size_t choice) {
  switch (command) {
    case LogMenuCommand::kCopy:
      return window.CopySelection();
    case LogMenuCommand::kSelectAll:
      return window.SelectAllLines();
    case LogMenuCommand::kSaveLog:
      return window.SaveLogAs();
    case LogMenuCommand::kLogDetail:
      return form.SetLogDetail(!form.LogDetail.Checked());
    case LogMenuCommand::kLogPackets:
      return form.SetLogPackets(!form.LogPackets.Checked());
    case LogMenuCommand::kCapture:
      if (form.Capture.IsOpen()) return form.StopCapture();
      return window.StartCapture();
    case LogMenuCommand::kJournal:
      if (form.Journal.IsOpen()) return form.StopJournal();
      return window.StartJournal();
    case LogMenuCommand::kFaults:
      return window.ShowFaults();
    case LogMenuCommand::kServerSettings:
      return window.ShowServerSettings();
    case LogMenuCommand::kConnections:
      return window.ShowConnections();
    case LogMenuCommand::kListening:
      return;
    case LogMenuCommand::kTick:
      // The window's timer takes the new rhythm at its next tick.
      if (choice < std::size(kTickChoicesMs)) {
        form.SetTickInterval(std::chrono::milliseconds(kTickChoicesMs[choice]));
      }
      return;
    case LogMenuCommand::kAcceptDelay:
      if (choice < std::size(kAcceptDelayChoicesMs)) {
        form.SetAcceptDelay(std::chrono::milliseconds(kAcceptDelayChoicesMs[choice]));
      }
      return;
  }
}

}  // namespace quib
