#include "ui/qt/window_view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
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

// The status bar's sections, by StatusPart, and the room around each text.
constexpr std::array<const char*, kStatusPartCount> kSectionNames{
    "StatusListening", "StatusConnections", "StatusWarp",
    "StatusReload",    "StatusFaults",      "StatusCapture"};
constexpr int kSectionSpacing = 4;
constexpr int kSectionMargin = 2;

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
// What the server is doing stays in its sections; the commands' outcomes
// show over them in turn.
void WindowView::BuildStatusBar() {
  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar"));
  // The sections in one row, which the bar hides while an outcome shows. A
  // long capture path must not widen the window: what they show is fitted
  // to the row's width, which follows the window's.
  statusRow_ = new QWidget(statusBar_);
  statusRow_->setObjectName(QStringLiteral("StatusSections"));
  statusRow_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* row = new QHBoxLayout(statusRow_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kSectionSpacing);
  for (std::size_t part = 0; part < kStatusPartCount; ++part) {
    auto* label = new QLabel(statusRow_);
    label->setObjectName(QString::fromLatin1(kSectionNames[part]));
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setContentsMargins(kSectionMargin, 0, kSectionMargin, 0);
    label->setIndent(0);
    label->setVisible(false);
    row->addWidget(label);
    statusLabels_[part] = label;
  }
  row->addStretch(1);
  statusRow_->installEventFilter(this);
  statusBar_->addWidget(statusRow_, 1);

  outcomeTimer_ = new QTimer(this);
  outcomeTimer_->setSingleShot(true);
  connect(outcomeTimer_, &QTimer::timeout, this, [this] { ShowOutcome(); });
  told_ = std::make_unique<EventSubscription>(
      form_.Events, KindsOf({EventKind::kOutcome}), [this](const ConnectionEvent& event) {
        outcomes_.Add(std::string(event.Text), OutcomeQueue::Clock::now());
        ShowOutcome();
        RefreshStatus();
      });
}

// The outcome that shows now over the sections, or the sections again; the
// timer comes back when that changes next.
void WindowView::ShowOutcome() {
  const auto now = OutcomeQueue::Clock::now();
  if (const std::string* shown = outcomes_.Shown(now)) {
    statusBar_->showMessage(OperatorText(*shown));
  } else {
    statusBar_->clearMessage();
  }
  if (const auto next = outcomes_.NextChange()) {
    outcomeTimer_->start(std::chrono::ceil<std::chrono::milliseconds>(*next - now));
  } else {
    outcomeTimer_->stop();
  }
}

void WindowView::RefreshStatus() {
  std::vector<StatusSection> sections = StatusSections(form_);
  const int width = statusRow_->width();
  // Every tick refreshes: nothing is laid out again for nothing.
  if (sections == sections_ && width == fittedWidth_) return;
  sections_ = std::move(sections);
  fittedWidth_ = width;
  const QLabel* sample = statusLabels_[0];
  const QFontMetrics metrics(sample->font());
  // A section's frame and margins, the gap to the next, and a pixel either
  // side for the glyphs' overhang.
  const int around = 2 * (sample->frameWidth() + kSectionMargin + 1) + kSectionSpacing;
  const std::vector<std::string> texts =
      FitStatus(sections_, width, [&metrics, around](const std::string& text) {
        return metrics.horizontalAdvance(OperatorText(text)) + around;
      });
  std::array<bool, kStatusPartCount> shown{};
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const auto part = static_cast<std::size_t>(sections_[i].Part);
    shown[part] = !texts[i].empty();
    statusLabels_[part]->setText(OperatorText(texts[i]));
  }
  for (std::size_t part = 0; part < kStatusPartCount; ++part) {
    statusLabels_[part]->setVisible(shown[part]);
  }
  statusBar_->setToolTip(OperatorText(StatusText(sections_)));
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  // The row's width is known once the bar has laid it out: the sections
  // are fitted to it again.
  if (watched == statusRow_ && event->type() == QEvent::Resize) RefreshStatus();
  return QWidget::eventFilter(watched, event);
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
  // The list follows its newest line unless the user has scrolled up to
  // read: followed while its bar stands at the end, and kept there when the
  // range grows, whatever made it grow (new lines, a scroll bar that came,
  // a smaller window) and whenever the list lays itself out.
  QScrollBar* bar = list1->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this,
          [this, bar](int value) { followLog_ = value >= bar->maximum(); });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (followLog_) bar->setValue(maximum);
  });
  form_.List1.OnAppend = [list1](const std::string& line) { list1->addItem(ToQString(line)); };
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

void WindowView::ArmDeadline() {
  if (deadline_ == nullptr) {
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
      form_.RunDueWrites();
      ArmDeadline();
    });
  }
  const auto due = form_.NextWriteDue();
  if (due == std::chrono::steady_clock::time_point::max()) {
    deadline_->stop();
    return;
  }
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now())
          .count();
  deadline_->start(static_cast<int>(std::max<std::int64_t>(0, ms)));
}

void WindowView::StartEvents() {
  auto* timer1 = Control<QTimer>(FormControl::Timer1);
  connect(timer1, &QTimer::timeout, this, [this] {
    form_.PollConnections();
    RefreshStatus();
    // A judged run that is over ends the window as a stop would.
    if (StopIfDue(form_)) QCoreApplication::quit();
    ArmDeadline();
  });
  timer1->start();
  // rWin's part: a waiting connection on the listening socket is announced
  // here, and each announcement accepts at most one connection.
  if (form_.LoginServer.Socket != kInvalidSocket) {
    acceptNotifier_ = new QSocketNotifier(form_.LoginServer.Socket, QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] {
      form_.AcceptPending();
      RefreshStatus();
      ArmDeadline();
    });
  }
}

void WindowView::ShowSettings() {
  SettingsDialog dialog(form_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Control<QTimer>(FormControl::Timer1)->setInterval(static_cast<int>(form_.TickInterval.count()));
  setToolTip(DescribeServerSettings(form_));
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
