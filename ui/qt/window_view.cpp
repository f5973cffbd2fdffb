#include "ui/qt/window_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QValidator>
#include <chrono>

#include "app/main_window.h"
#include "app/status_text.h"
#include "ui/qt/log_actions.h"
#include "ui/qt/operator_text.h"
#include "ui/qt/settings_dialog.h"
#include "ui/qt/window_icon.h"

namespace quib {

namespace {

// Text is one byte per character, as the protocol sends it.
QString ToQString(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) { return text.toLatin1().toStdString(); }

// Fonts differ from the one the form was drawn with: a caption that would not
// fit its control gets a smaller font rather than a clipped text.
void FitCaption(QWidget* widget, const QString& caption) {
  // A push button's hint has a minimum width of its own; its text needs only
  // the bevel around it.
  const int padding =
      qobject_cast<QPushButton*>(widget) != nullptr
          ? 8
          : widget->sizeHint().width() - widget->fontMetrics().horizontalAdvance(caption);
  QFont font = widget->font();
  while (font.pixelSize() > 8 &&
         QFontMetrics(font).horizontalAdvance(caption) + padding > widget->width()) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  widget->setFont(font);
}

// Refuses what the model's box would refuse from a user: anything but digits
// when the box takes digits only. The model's flag is read at each keystroke,
// so SetDigitsOnly takes effect at once.
class BoxValidator : public QValidator {
 public:
  BoxValidator(const TextBox& box, QObject* parent) : QValidator(parent), box_(box) {}

  State validate(QString& input, int&) const override {
    return box_.Accepts(FromQString(input)) ? Acceptable : Invalid;
  }

 private:
  const TextBox& box_;
};

}  // namespace

WindowView::WindowView(Form1& form, QWidget* parent) : QWidget(parent), form_(form) {
  setWindowTitle(QString::fromLatin1(kFormCaption));
  setWindowIcon(ProgramIcon());
  BuildControls();
  BuildStatusBar();
  BindModels();
  StartEvents();
  RefreshStatus();
  statusHeight_ = statusBar_->sizeHint().height();
  // Smaller, and part of the designed form would be cut off.
  resize(Twips(kFormPlace.Width), Twips(kFormPlace.Height) + statusHeight_);
  setMinimumSize(size());
  move(Twips(kFormPlace.Left), Twips(kFormPlace.Top));
}

WindowView::~WindowView() { form_.DetachViews(); }

void WindowView::BuildControls() {
  // A small font, close to the one the form was laid out for, so that every
  // caption fits its control.
  QFont small = font();
  small.setPixelSize(11);
  small.setStretch(QFont::SemiCondensed);
  setFont(small);

  for (const FormRow& row : FormRows()) {
    QObject* control = MakeControl(row);
    control->setObjectName(QString::fromLatin1(row.Name));
    controls_[static_cast<std::size_t>(row.Control)] = control;
    auto* widget = qobject_cast<QWidget*>(control);
    if (widget == nullptr) continue;
    widget->setGeometry(Twips(row.Place.Left), Twips(row.Place.Top), Twips(row.Place.Width),
                        Twips(row.Place.Height));
    // Each control goes beneath those made before it, as a native child
    // window does: the boxes stand over the labels beside them, and Label1's
    // spaces run under Pos(0), which puts its "x" between the two boxes.
    widget->lower();
    if (!row.Settings.Visible) widget->setVisible(false);
    if (!row.Settings.Enabled) widget->setEnabled(false);
    const QString caption = QString::fromLatin1(row.Caption);
    if (!caption.isEmpty() &&
        (row.Kind == ControlKind::Label || row.Kind == ControlKind::Button ||
         row.Kind == ControlKind::CheckBox || row.Kind == ControlKind::OptionButton)) {
      FitCaption(widget, caption);
    }
  }
}

// The status bar, along the window's bottom edge below the designed controls.
// What the server is doing stays in it; a command's outcome shows over it for
// a while.
void WindowView::BuildStatusBar() {
  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar"));
  statusText_ = new QLabel(statusBar_);
  statusText_->setObjectName(QStringLiteral("StatusText"));
  // A long capture path must not widen the window: the text is cut at the
  // bar's end, and whole in the tooltip.
  statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar_->addWidget(statusText_, 1);
  outcomes_ =
      std::make_unique<EventSubscription>(form_.Events, [this](const ConnectionEvent& event) {
        if (event.Kind != EventKind::kOutcome) return;
        statusBar_->showMessage(OperatorText(std::string(event.Text)),
                                static_cast<int>(std::chrono::milliseconds(kOutcomeShown).count()));
        RefreshStatus();
      });
}

void WindowView::RefreshStatus() {
  const QString text = OperatorText(StatusText(form_));
  if (statusText_->text() == text) return;
  statusText_->setText(text);
  statusText_->setToolTip(text);
}

// A row of the form as a Qt object, in Frame1 or on the window. A text box
// takes its text from its model.
QObject* WindowView::MakeControl(const FormRow& row) {
  QWidget* parent =
      row.Parent == ControlParent::Frame1 ? Control<QWidget>(FormControl::Frame1) : this;
  const QString caption = QString::fromLatin1(row.Caption);
  switch (row.Kind) {
    case ControlKind::CheckBox:
      return new QCheckBox(caption, parent);
    case ControlKind::Button:
      return new QPushButton(caption, parent);
    case ControlKind::Frame:
      return new QGroupBox(caption, parent);
    case ControlKind::OptionButton:
      return new QRadioButton(caption, parent);
    case ControlKind::Label: {
      auto* label = new QLabel(caption, parent);
      if (row.Settings.AlignRight) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      return label;
    }
    case ControlKind::TextBox: {
      if (row.Settings.MultiLine) {
        auto* text = new QPlainTextEdit(parent);
        text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return text;
      }
      auto* edit = new QLineEdit(parent);
      edit->setTextMargins(0, 0, 0, 0);
      // No Qt limit for a box with a designed MaxLength: its model holds the
      // same limit, and says so when it cuts what was typed or pasted.
      return edit;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setUniformItemSizes(true);  // the log may grow long
      return list;
    }
    case ControlKind::Timer: {
      auto* timer = new QTimer(this);
      timer->setInterval(static_cast<int>(form_.TickInterval.count()));
      return timer;
    }
  }
  return nullptr;
}

void WindowView::BindTextBox(QLineEdit* edit, TextBox& box) {
  edit->setText(ToQString(box.Text()));
  edit->setValidator(new BoxValidator(box, edit));
  // What the user types goes through the model's own rules; should the model
  // refuse it anyway, the box shows the model's text again.
  connect(edit, &QLineEdit::textEdited, this, [edit, &box](const QString& text) {
    if (!box.Type(FromQString(text)) || ToQString(box.Text()) != edit->text()) {
      edit->setText(ToQString(box.Text()));
    }
  });
  // The boxes are the warp target in the status bar.
  box.OnChange = [this, edit, &box] {
    const QString text = ToQString(box.Text());
    if (edit->text() != text) edit->setText(text);
    RefreshStatus();
  };
}

void WindowView::BindModels() {
  BindTextBox(Control<QLineEdit>(FormControl::Text2), form_.Text2);
  BindTextBox(Control<QLineEdit>(FormControl::Pos_0), form_.Pos[0]);
  BindTextBox(Control<QLineEdit>(FormControl::Pos_1), form_.Pos[1]);

  auto* text1 = Control<QPlainTextEdit>(FormControl::Text1);
  text1->setPlainText(ToQString(form_.Text1.Text()));
  connect(text1, &QPlainTextEdit::textChanged, this,
          [this, text1] { form_.Text1.Type(FromQString(text1->toPlainText())); });
  form_.Text1.OnChange = [this, text1] {
    const QString text = ToQString(form_.Text1.Text());
    if (text1->toPlainText() != text) text1->setPlainText(text);
  };

  auto* check1 = Control<QCheckBox>(FormControl::Check1);
  check1->setChecked(form_.Check1.Checked());
  connect(check1, &QCheckBox::toggled, this, [this](bool on) { form_.Check1.SetChecked(on); });
  form_.Check1.OnChange = [this, check1] { check1->setChecked(form_.Check1.Checked()); };

  const std::array<QRadioButton*, 2> option1{Control<QRadioButton>(FormControl::Option1_0),
                                             Control<QRadioButton>(FormControl::Option1_1)};
  for (int i = 0; i < 2; ++i) {
    connect(option1[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) form_.Option1.Select(i);
    });
  }
  option1[form_.Option1.Selected()]->setChecked(true);
  form_.Option1.OnChange = [this, option1] { option1[form_.Option1.Selected()]->setChecked(true); };

  auto* list1 = Control<QListWidget>(FormControl::List1);
  for (const auto& line : form_.List1.Items()) list1->addItem(ToQString(line));
  list1->scrollToBottom();
  form_.List1.OnAppend = [this](const std::string& line) { AppendLogLine(line); };
  form_.List1.OnDropOldest = [list1] { delete list1->takeItem(0); };
  form_.List1.OnClear = [list1] { list1->clear(); };

  // The operator's settings stay off the designed layout: a tooltip on the
  // window and a dialog from the log's context menu.
  setToolTip(DescribeServerSettings(form_));
  logActions_ = new LogActions(form_, list1, this, [this] { ShowSettings(); });

  connect(Control<QPushButton>(FormControl::Command2), &QPushButton::clicked, this,
          [this] { form_.Command2_Click(); });
  connect(Control<QPushButton>(FormControl::Command3), &QPushButton::clicked, this,
          [this] { form_.Command3_Click(); });
  connect(Control<QPushButton>(FormControl::Command4), &QPushButton::clicked, this,
          [this] { form_.Command4_Click(); });
}

void WindowView::StartEvents() {
  auto* timer1 = Control<QTimer>(FormControl::Timer1);
  connect(timer1, &QTimer::timeout, this, [this] {
    form_.PollConnections();
    RefreshStatus();
  });
  timer1->start();
  // rWin's part: a waiting connection on the listening socket is announced
  // here, and each announcement accepts at most one connection.
  if (form_.LoginServer.Socket != kInvalidSocket) {
    acceptNotifier_ = new QSocketNotifier(form_.LoginServer.Socket, QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] {
      form_.AcceptPending();
      RefreshStatus();
    });
  }
}

void WindowView::ShowSettings() {
  SettingsDialog dialog(form_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Control<QTimer>(FormControl::Timer1)->setInterval(static_cast<int>(form_.TickInterval.count()));
  setToolTip(DescribeServerSettings(form_));
}

void WindowView::AppendLogLine(const std::string& line) {
  // Follow the newest line unless the user has scrolled up to read. Lines
  // come in bursts: whether to follow is decided at the first of a burst,
  // and the list scrolls once, after it.
  auto* list1 = Control<QListWidget>(FormControl::List1);
  if (!scrollPending_) {
    QScrollBar* bar = list1->verticalScrollBar();
    followLog_ = bar->value() >= bar->maximum();
    scrollPending_ = true;
    QTimer::singleShot(0, this, [this, list1] {
      scrollPending_ = false;
      if (followLog_) list1->scrollToBottom();
    });
  }
  list1->addItem(ToQString(line));
}

void WindowView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The log grows with the window; the controls below it keep to the bottom
  // of the client area, which ends where the status bar begins.
  const int client = height() - statusHeight_;
  for (const FormRow& row : FormRows()) {
    if (row.Resize == OnResize::Stays) continue;
    const FormRect place = ResizedPlace(row, width(), client, Twips);
    Control<QWidget>(row.Control)->setGeometry(place.Left, place.Top, place.Width, place.Height);
  }
  statusBar_->setGeometry(0, client, width(), statusHeight_);
}

}  // namespace quib
