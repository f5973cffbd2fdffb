#include "ui/qt/connections_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "app/connection_rows.h"
#include "app/main_window.h"

namespace quib {

namespace {

constexpr int kRefreshMs = 500;

}  // namespace

ConnectionsWindow::ConnectionsWindow(Form1& form, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(form) {
  setObjectName(QStringLiteral("Connections"));
  setWindowTitle(QStringLiteral("Connections"));
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(0, static_cast<int>(kConnectionColumns.size()), this);
  table_->setObjectName(QStringLiteral("ConnectionTable"));
  QStringList captions;
  for (const char* caption : kConnectionColumns) captions << QString::fromUtf8(caption);
  table_->setHorizontalHeaderLabels(captions);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setMinimumSize(760, 160);
  layout->addWidget(table_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QLabel(QString::fromUtf8(kSendPrompt), this));
  hex_ = new QLineEdit(this);
  hex_->setObjectName(QStringLiteral("Bytes"));
  buttons->addWidget(hex_, 1);
  for (const ConnectionActionRow& row : kConnectionActions) {
    auto* button = new QPushButton(QString::fromUtf8(row.Caption), this);
    button->setObjectName(QString::fromUtf8(row.Caption));
    connect(button, &QPushButton::clicked, this, [this, action = row.Action] { Run(action); });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  refresh_ = new QTimer(this);
  connect(refresh_, &QTimer::timeout, this, &ConnectionsWindow::Refresh);
}

void ConnectionsWindow::Refresh() {
  // The selection follows its connection, wherever its row is now.
  const std::uint64_t selected = Selected();
  const std::vector<ConnectionRow> rows = ConnectionRows(form_, std::chrono::steady_clock::now());
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const ConnectionRow& row = rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < static_cast<int>(row.Cells.size()); ++c) {
      auto* item =
          new QTableWidgetItem(QString::fromStdString(row.Cells[static_cast<std::size_t>(c)]));
      item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(row.Number));
      table_->setItem(r, c, item);
    }
    if (row.Number == selected) table_->selectRow(r);
  }
  table_->resizeColumnsToContents();
}

void ConnectionsWindow::Run(ConnectionAction action) {
  const std::uint64_t number = Selected();
  if (number == 0) return;
  RunConnectionAction(form_, action, number, hex_->text().toStdString());
  Refresh();
}

std::uint64_t ConnectionsWindow::Selected() const {
  const QList<QTableWidgetItem*> items = table_->selectedItems();
  return items.isEmpty() ? 0 : items.front()->data(Qt::UserRole).toULongLong();
}

void ConnectionsWindow::showEvent(QShowEvent* event) {
  Refresh();
  refresh_->start(kRefreshMs);
  QWidget::showEvent(event);
}

void ConnectionsWindow::hideEvent(QHideEvent* event) {
  refresh_->stop();
  QWidget::hideEvent(event);
}

}  // namespace quib
