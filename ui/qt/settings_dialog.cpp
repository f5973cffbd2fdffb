#include "ui/qt/settings_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

#include "app/main_window.h"
#include "app/status_text.h"
#include "startup/program_options.h"
#include "startup/start_server.h"

namespace quib {

QString DescribeServerSettings(const Form1& form) {
  return QStringLiteral("Listening on %1, tick %2 ms, accept delay %3 ms")
      .arg(QString::fromStdString(ListeningAddress(form)))
      .arg(form.TickInterval.count())
      .arg(form.AcceptDelay.count());
}

SettingsDialog::SettingsDialog(Form1& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("SettingsDialog"));
  setWindowTitle(QStringLiteral("Server Settings"));
  auto* layout = new QFormLayout(this);

  auto* address = new QLabel(QString::fromStdString(ListeningAddress(form)), this);
  address->setObjectName(QStringLiteral("Address"));
  address->setToolTip(QStringLiteral("Chosen at start with --address and --port"));
  layout->addRow(QStringLiteral("Listening on:"), address);

  tick_ = new QSpinBox(this);
  tick_->setObjectName(QStringLiteral("Tick"));
  tick_->setRange(kTickRange.Lowest, kTickRange.Highest);
  tick_->setSuffix(QStringLiteral(" ms"));
  tick_->setValue(static_cast<int>(form.TickInterval.count()));
  tick_->setToolTip(QStringLiteral("Each connection gets one packet handled per tick"));
  layout->addRow(QStringLiteral("Tick:"), tick_);

  acceptDelay_ = new QSpinBox(this);
  acceptDelay_->setObjectName(QStringLiteral("AcceptDelay"));
  acceptDelay_->setRange(kAcceptDelayRange.Lowest, kAcceptDelayRange.Highest);
  acceptDelay_->setSuffix(QStringLiteral(" ms"));
  acceptDelay_->setValue(static_cast<int>(form.AcceptDelay.count()));
  acceptDelay_->setToolTip(QStringLiteral("The wait before each accept holds the whole server"));
  layout->addRow(QStringLiteral("Accept delay:"), acceptDelay_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
  layout->addRow(buttons);
}

void SettingsDialog::accept() {
  // Each value changed is said, as the console and the Windows menu say it.
  const std::chrono::milliseconds tick(tick_->value());
  const std::chrono::milliseconds acceptDelay(acceptDelay_->value());
  if (tick != form_.TickInterval) form_.SetTickInterval(tick);
  if (acceptDelay != form_.AcceptDelay) form_.SetAcceptDelay(acceptDelay);
  QDialog::accept();
}

}  // namespace quib
