// "Faults…": the faults set, each with its number and how often it fired; a
// fault added from a SPEC line, the selected one removed. Not modal: the
// server runs on while it is open, and its counts follow.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;

namespace quib {

class Form1;

class FaultsDialog : public QDialog {
 public:
  FaultsDialog(Form1& form, QWidget* parent);
  // Shows the faults as they stand now.
  void Refresh();

 private:
  void Add();
  void RemoveSelected();

  Form1& form_;
  QListWidget* list_;
  QLineEdit* spec_;
  QLabel* error_;
};

}  // namespace quib
