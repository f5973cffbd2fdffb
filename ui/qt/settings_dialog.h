// The server's operator settings in the window: where it listens (fixed at
// start) and its cadence, which may change while it runs.
#pragma once

#include <QDialog>

class QSpinBox;

namespace quib {

class Form1;

// One line on where the server listens and at what cadence, for a tooltip.
QString DescribeServerSettings(const Form1& form);

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(Form1& form, QWidget* parent = nullptr);

  // Applies the values shown to the form when the dialog is accepted.
  void accept() override;

 private:
  Form1& form_;
  QSpinBox* tick_ = nullptr;
  QSpinBox* acceptDelay_ = nullptr;
};

}  // namespace quib
