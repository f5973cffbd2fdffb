// What the window's log offers beyond the designed list: copying and saving
// lines, the bytes behind an "Unknown Packet" line, and starting or stopping
// a capture or the journal. All of it hangs off the list's context menu, its shortcuts and
// double-clicks, so the designed layout stays as it is.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/log_menu.h"
#include "protocol/connection_events.h"

class QListWidget;
class QWidget;

namespace quib {

class ConnectionsWindow;
class FaultsDialog;
class ListBox;

// The selected lines of `list`, top to bottom, one per line.
QString SelectedLines(const QListWidget& list);

// Writes every line of the log to `path`, one per line. False with the
// reason in `error` when the file cannot be written.
bool SaveLog(const ListBox& log, const QString& path, QString& error);

// What the bytes dialog shows for row `row` of the log: the packet's bytes,
// or why they are not shown. Empty for a line that is not about an unknown
// packet.
QString PacketBytesText(const Form1& form, int row);

class LogActions : public QObject, public LogMenuWindow {
  Q_OBJECT

 public:
  // `showSettings` opens the server settings from the same menu.
  LogActions(Form1& form, QListWidget* list, QWidget* window, std::function<void()> showSettings);

  void CopySelection() override;
  void SelectAllLines() override;
  void SaveLogAs() override;
  void StartCapture() override;
  void StartJournal() override;
  void ShowServerSettings() override;
  void ShowFaults() override;
  void ShowConnections() override;
  void ShowBytes(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowMenu(const QPoint& at);
  // Asks for a file as `dialog` offers, and starts writing it with `start`.
  void StartFile(const SaveDialogDefaults& dialog,
                 bool (Form1::*start)(const std::string&, std::string&));

  Form1& form_;
  QListWidget* list_;
  QWidget* window_;
  std::function<void()> showSettings_;
  FaultsDialog* faults_ = nullptr;                   // made when first asked for
  ConnectionsWindow* connections_ = nullptr;         // made when first asked for
  std::unique_ptr<EventSubscription> captureStops_;  // a warning when the capture stops
};

}  // namespace quib
