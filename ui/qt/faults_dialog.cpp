#include "ui/qt/faults_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/main_window.h"

namespace quib {

namespace {

// How often the fired counts are read again while the dialog shows.
constexpr int kRefreshMs = 500;

}  // namespace

FaultsDialog::FaultsDialog(Form1& form, QWidget* parent)
    : QDialog(parent),
      form_(form),
      list_(new QListWidget(this)),
      spec_(new QLineEdit(this)),
      error_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Faults"));
  setObjectName(QStringLiteral("FaultsDialog"));
  list_->setObjectName(QStringLiteral("FaultList"));
  spec_->setObjectName(QStringLiteral("FaultSpec"));
  spec_->setPlaceholderText(QStringLiteral("slice:7, delay:300,reply=0x0073, drop,count=1 ..."));
  error_->setObjectName(QStringLiteral("FaultError"));
  error_->setWordWrap(true);
  auto* add = new QPushButton(QStringLiteral("Add"), this);
  add->setObjectName(QStringLiteral("FaultAdd"));
  auto* remove = new QPushButton(QStringLiteral("Remove"), this);
  remove->setObjectName(QStringLiteral("FaultRemove"));
  auto* line = new QHBoxLayout;
  line->addWidget(spec_, 1);
  line->addWidget(add);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(line);
  layout->addWidget(error_);
  layout->addWidget(remove, 0, Qt::AlignRight);
  connect(add, &QPushButton::clicked, this, [this] { Add(); });
  connect(spec_, &QLineEdit::returnPressed, this, [this] { Add(); });
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();
  });
  timer->start(kRefreshMs);
  resize(460, 260);
  Refresh();
}

void FaultsDialog::Refresh() {
  const int selected = list_->currentRow();
  list_->clear();
  for (const Fault& fault : form_.Faults.All()) {
    auto* item = new QListWidgetItem(
        QString::fromStdString(std::to_string(fault.Number) + "  " + fault.Spec.Text + "  fired " +
                               std::to_string(fault.Fired) + " of " +
                               std::to_string(fault.Matched) + " matched"),
        list_);
    item->setData(Qt::UserRole, static_cast<qulonglong>(fault.Number));
  }
  list_->setCurrentRow(std::min(selected, list_->count() - 1));
}

void FaultsDialog::Add() {
  std::string error;
  if (form_.AddFault(spec_->text().trimmed().toStdString(), error)) {
    spec_->clear();
    error_->clear();
  } else {
    error_->setText(QString::fromStdString(error));
  }
  Refresh();
}

void FaultsDialog::RemoveSelected() {
  const QListWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  form_.ClearFault(static_cast<std::uint32_t>(item->data(Qt::UserRole).toULongLong()));
  Refresh();
}

}  // namespace quib
