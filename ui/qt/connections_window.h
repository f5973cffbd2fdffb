// "Connections…": a small window beside the main one with a row per
// connection (app/connection_rows.h), refreshed twice a second, a box for
// bytes to send, and buttons for what the operator does to the selected one
// (app/connection_actions.h).
// Not modal: the server runs while it is open.
#pragma once

#include <QWidget>
#include <cstdint>

#include "app/connection_actions.h"

class QLineEdit;
class QTableWidget;
class QTimer;

namespace quib {

class Form1;

class ConnectionsWindow : public QWidget {
  Q_OBJECT

 public:
  ConnectionsWindow(Form1& form, QWidget* parent);

  // Shows the table as it stands now.
  void Refresh();
  // Runs `action` on the selected row; Send sends the bytes in the box.
  void Run(ConnectionAction action);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // The number of the selected row's connection; 0 when none is selected.
  std::uint64_t Selected() const;

  Form1& form_;
  QTableWidget* table_ = nullptr;
  QLineEdit* hex_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace quib
