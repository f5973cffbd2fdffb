// The log's context menu, as both windows show it: its items in order, with
// their captions (UTF-8) and states read from Form1, what each item does, and
// what the file dialogs behind two of them offer. The windows only render it
// with their toolkit and supply what needs one (LogMenuWindow: the clipboard,
// the list's selection, the dialogs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quib {

class Form1;

enum class LogMenuCommand : std::uint8_t {
  kCopy,
  kSelectAll,
  kSaveLog,
  kLogDetail,    // "Show Time and Connection", checked while it is on
  kLogPackets,   // "Show Every Packet", checked while it is on
  kCapture,      // "Start Capture…" or "Stop Capture"
  kJournal,      // "Start Journal…" or "Stop Journal"
  kFaults,       // "Faults…": the faults set, one added, one removed
  kConnections,  // "Connections…": the window of every connection
  // The server's settings: the Windows menu shows the items it stands for in
  // place, the Qt window in its settings dialog.
  kServerSettings,
  kListening,  // where the server listens: shown, never run
  kTick,
  kAcceptDelay,
};

inline constexpr std::int32_t kTickChoicesMs[] = {10, 50, 100, 250, 500, 1000};
inline constexpr std::int32_t kAcceptDelayChoicesMs[] = {0, 100, 250, 500, 1000, 2000};

struct LogMenuItem {
  LogMenuCommand Command = LogMenuCommand::kCopy;
  std::string Caption;
  std::string Shortcut;  // "Ctrl+C"; empty for none
  bool SeparatorBefore = false;
  bool Enabled = true;
  bool Checkable = false;
  bool Checked = false;
  // A submenu of milliseconds ("250 ms", ChoiceCaption), and the index of the
  // one in force; -1 when none is.
  std::span<const std::int32_t> Choices;
  std::int32_t Chosen = -1;
  std::vector<LogMenuItem> Inside;  // what kServerSettings stands for
};

// The menu as it stands now; `linesSelected` says whether any log line is
// selected, which Copy needs.
std::vector<LogMenuItem> LogMenuItems(const Form1& form, bool linesSelected);

// "250 ms".
std::string ChoiceCaption(std::int32_t ms);

// What a window does itself for its log menu.
class LogMenuWindow {
 public:
  virtual void CopySelection() = 0;
  virtual void SelectAllLines() = 0;
  virtual void SaveLogAs() = 0;
  virtual void StartCapture() = 0;  // asks where to
  virtual void StartJournal() = 0;  // asks where to
  virtual void ShowServerSettings() = 0;
  virtual void ShowFaults() = 0;
  virtual void ShowConnections() = 0;  // non-modal; shown again when open

 protected:
  ~LogMenuWindow() = default;
};

// Runs the item `command`; for Tick and Accept Delay, their choice `choice`
// (an index into its choices; one past them does nothing).
void RunLogMenuCommand(Form1& form, LogMenuWindow& window, LogMenuCommand command,
                       std::size_t choice = 0);

// What the save dialog behind a menu item offers.
struct SaveDialogDefaults {
  const char* Title;
  const char* FileName;
  const char* FilterName;  // "Text files": its filter reads "Text files (*.txt)"
  const char* Pattern;
};
inline constexpr SaveDialogDefaults kSaveLogDialog{"Save Log As", "quib-log.txt", "Text files",
                                                   "*.txt"};
inline constexpr SaveDialogDefaults kCaptureDialog{"Start Capture", "quib-capture.pcapng",
                                                   "Capture files", "*.pcapng"};
inline constexpr SaveDialogDefaults kJournalDialog{"Start Journal", "quib-journal.jsonl",
                                                   "Journal files", "*.jsonl"};

}  // namespace quib
