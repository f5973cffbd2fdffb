#include "ui/qt/log_actions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "app/log_menu.h"
#include "app/log_text.h"
#include "app/main_window.h"
#include "ui/qt/connections_window.h"
#include "ui/qt/faults_dialog.h"
#include "ui/qt/operator_text.h"

namespace quib {

namespace {

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

FormRect Place(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

void Warn(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QStringLiteral("Quib-Server"), text);
}

// The path the save dialog of `defaults` gives; empty when it was cancelled.
QString AskPath(QWidget* parent, const SaveDialogDefaults& defaults) {
  return QFileDialog::getSaveFileName(
      parent, QString::fromUtf8(defaults.Title), QString::fromUtf8(defaults.FileName),
      QStringLiteral("%1 (%2)").arg(QString::fromUtf8(defaults.FilterName),
                                    QString::fromUtf8(defaults.Pattern)));
}

}  // namespace

QString SelectedLines(const QListWidget& list) {
  QStringList lines;
  for (int row = 0; row < list.count(); ++row) {
    if (list.item(row)->isSelected()) lines << list.item(row)->text();
  }
  return lines.join(QLatin1Char('\n'));
}

bool SaveLog(const ListBox& log, const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    error = file.errorString();
    return false;
  }
  const std::string text = LogText(log);
  file.write(text.data(), static_cast<qint64>(text.size()));
  if (!file.flush() || file.error() != QFileDevice::NoError) {
    error = file.errorString();
    return false;
  }
  return true;
}

QString PacketBytesText(const Form1& form, int row) {
  if (row < 0) return {};
  return Latin1(LineBytesText(form, static_cast<std::size_t>(row)));
}

LogActions::LogActions(Form1& form, QListWidget* list, QWidget* window,
                       std::function<void()> showSettings)
    : QObject(window),
      form_(form),
      list_(list),
      window_(window),
      showSettings_(std::move(showSettings)) {
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this, &LogActions::ShowMenu);
  connect(list_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { ShowBytes(list_->row(item)); });

  list_->installEventFilter(this);

  // A failed write stops the capture; the server goes on.
  captureStops_ = std::make_unique<EventSubscription>(
      form_.Events, KindsOf({EventKind::kCaptureStopped}), [this](const ConnectionEvent& event) {
        Warn(window_, QStringLiteral("The capture has stopped.\n\n") +
                          OperatorText(std::string(event.Text)));
      });
}

bool LogActions::eventFilter(QObject* watched, QEvent* event) {
  // Ctrl+C on the list copies its selected lines, whichever window is active.
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopySelection();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void LogActions::CopySelection() {
  const QString text = SelectedLines(*list_);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void LogActions::SelectAllLines() { list_->selectAll(); }

void LogActions::ShowServerSettings() { showSettings_(); }

void LogActions::ShowFaults() {
  if (faults_ == nullptr) faults_ = new FaultsDialog(form_, window_);
  faults_->Refresh();
  faults_->show();
  faults_->raise();
  faults_->activateWindow();
}

void LogActions::ShowConnections() {
  if (connections_ == nullptr) connections_ = new ConnectionsWindow(form_, window_);
  connections_->show();
  connections_->raise();
}

void LogActions::SaveLogAs() {
  const QString path = AskPath(window_, kSaveLogDialog);
  if (path.isEmpty()) return;
  QString error;
  if (!SaveLog(form_.List1, path, error)) {
    Warn(window_, QStringLiteral("Unable to save the log to %1: %2")
                      .arg(QDir::toNativeSeparators(path), error));
    return;
  }
  form_.Tell("Log saved to " + QDir::toNativeSeparators(path).toStdString());
}

void LogActions::StartCapture() { StartFile(kCaptureDialog, &Form1::StartCapture); }

void LogActions::StartJournal() { StartFile(kJournalDialog, &Form1::StartJournal); }

void LogActions::StartFile(const SaveDialogDefaults& dialog,
                           bool (Form1::*start)(const std::string&, std::string&)) {
  const QString path = AskPath(window_, dialog);
  if (path.isEmpty()) return;
  std::string error;
  if (!(form_.*start)(path.toStdString(), error)) Warn(window_, OperatorText(error));
}

void LogActions::ShowBytes(int row) {
  const QString text = PacketBytesText(form_, row);
  if (text.isEmpty()) return;
  QDialog dialog(window_);
  dialog.setObjectName(QStringLiteral("PacketBytes"));
  dialog.setWindowTitle(QStringLiteral("Packet Bytes"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* view = new QPlainTextEdit(text, &dialog);
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setMinimumSize(620, 240);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  // Beside the log rather than over it, where the screen has room.
  dialog.adjustSize();
  const QRect work = window_->screen()->availableGeometry();
  const FormRect at =
      BytesDialogPlace(Place(window_->frameGeometry()),
                       Place(QRect(list_->mapToGlobal(QPoint(0, 0)), list_->size())),
                       dialog.width(), dialog.height(), Place(work), 0);
  dialog.move(at.Left, at.Top);
  dialog.exec();
}

void LogActions::ShowMenu(const QPoint& at) {
  QMenu menu(window_);
  for (const LogMenuItem& item : LogMenuItems(form_, !list_->selectedItems().isEmpty())) {
    if (item.SeparatorBefore) menu.addSeparator();
    QAction* action = menu.addAction(
        QString::fromUtf8(item.Caption), this,
        [this, command = item.Command] { RunLogMenuCommand(form_, *this, command); });
    if (!item.Shortcut.empty()) action->setShortcut(QKeySequence(QString::fromUtf8(item.Shortcut)));
    action->setEnabled(item.Enabled);
    action->setCheckable(item.Checkable);
    action->setChecked(item.Checked);
  }
  menu.exec(list_->viewport()->mapToGlobal(at));
}

}  // namespace quib
