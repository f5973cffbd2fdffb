#include "ui/qt/window_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QValidator>
#include <cstdio>
#include <memory>

#include "app/main_window.h"
#include "startup/program_options.h"
#include "startup/start_server.h"
#include "ui/qt/log_actions.h"
#include "ui/qt/settings_dialog.h"

namespace quib {

namespace {

// The window as designed, in pixels.
constexpr int kClientWidth = Twips(7635);
constexpr int kClientHeight = Twips(4830);
constexpr int kListRightMargin = kClientWidth - Twips(2835 + 4740);
constexpr int kListBottomMargin = kClientHeight - Twips(105 + 4350);
constexpr int kBottomRowFromBottom = kClientHeight - Twips(4515);

// Text is one byte per character, as the protocol sends it.
QString ToQString(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) { return text.toLatin1().toStdString(); }

// Names a control as the form does and puts it at its place in twips.
void Place(QWidget* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

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
  setWindowTitle(QStringLiteral("Quib-Server"));
  BuildControls();
  BindModels();
  StartEvents();
  resize(kClientWidth, kClientHeight);
  setMinimumSize(kClientWidth, kClientHeight);
  move(Twips(2250), Twips(1395));
}

WindowView::~WindowView() { form_.DetachViews(); }

void WindowView::BuildControls() {
  // A small font, close to the one the form was laid out for, so that every
  // caption fits its control.
  QFont small = font();
  small.setPixelSize(11);
  small.setStretch(QFont::SemiCondensed);
  setFont(small);

  check1_ = new QCheckBox(QStringLiteral("Hide Unknown Packets"), this);
  Place(check1_, "Check1", 5040, 4515, 2535, 195);

  command2_ = new QPushButton(QStringLiteral("Clear Log"), this);
  Place(command2_, "Command2", 2835, 4515, 1065, 225);

  frame1_ = new QGroupBox(QStringLiteral("Specifics"), this);
  Place(frame1_, "Frame1", 105, 105, 2640, 1800);

  // The labels go in first: the boxes stand on top of them, as Label1's
  // spaces run under Pos(0) to put its "x" between the two boxes.
  label3_ = new QLabel(QStringLiteral("Gender:"), frame1_);
  Place(label3_, "Label3", 105, 945, 645, 225);
  label2_ = new QLabel(QStringLiteral("Map:"), frame1_);
  Place(label2_, "Label2", 105, 630, 435, 225);
  label1_ = new QLabel(QStringLiteral("Position:           x"), frame1_);
  label1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Place(label1_, "Label1", 105, 315, 1170, 195);

  command4_ = new QPushButton(QStringLiteral("Force Map Reload"), frame1_);
  Place(command4_, "Command4", 840, 1365, 1590, 330);

  option1_[1] = new QRadioButton(QStringLiteral("Male"), frame1_);
  Place(option1_[1], "Option1_1", 1680, 945, 855, 225);
  option1_[0] = new QRadioButton(QStringLiteral("Female"), frame1_);
  Place(option1_[0], "Option1_0", 735, 945, 855, 225);

  text2_ = new QLineEdit(frame1_);
  Place(text2_, "Text2", 735, 630, 1065, 285);

  command3_ = new QPushButton(QStringLiteral("Warp"), frame1_);
  Place(command3_, "Command3", 1890, 315, 540, 330);

  pos_[1] = new QLineEdit(frame1_);
  Place(pos_[1], "Pos1", 1365, 315, 435, 285);
  pos_[0] = new QLineEdit(frame1_);
  Place(pos_[0], "Pos0", 735, 315, 435, 285);

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(static_cast<int>(form_.TickInterval.count()));

  rWin_ = new QPushButton(QStringLiteral("Hidden"), this);
  Place(rWin_, "rWin", 525, 1995, 960, 435);
  rWin_->setVisible(false);

  list1_ = new QListWidget(this);
  list1_->setUniformItemSizes(true);  // the log may grow long
  Place(list1_, "List1", 2835, 105, 4740, 4350);

  command1_ = new QPushButton(QStringLiteral("Unused"), this);
  Place(command1_, "Command1", 1470, 1995, 855, 435);
  command1_->setVisible(false);
  command1_->setEnabled(false);

  text1_ = new QPlainTextEdit(this);
  text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Place(text1_, "Text1", 105, 2100, 2640, 2640);

  for (QLabel* label : {label1_, label2_, label3_}) FitCaption(label, label->text());
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
           check1_, command2_, command4_, option1_[0], option1_[1], command3_}) {
    FitCaption(button, button->text());
  }
  for (QLineEdit* edit : {text2_, pos_[0], pos_[1]}) edit->setTextMargins(0, 0, 0, 0);
}

void WindowView::BindTextBox(QLineEdit* edit, TextBox& box) {
  edit->setText(ToQString(box.Text()));
  edit->setMaxLength(box.MaxLength() > 0 ? static_cast<int>(box.MaxLength()) : 32767);
  edit->setValidator(new BoxValidator(box, edit));
  // What the user types goes through the model's own rules; should the model
  // refuse it anyway, the box shows the model's text again.
  connect(edit, &QLineEdit::textEdited, this, [edit, &box](const QString& text) {
    if (!box.Type(FromQString(text)) || ToQString(box.Text()) != edit->text()) {
      edit->setText(ToQString(box.Text()));
    }
  });
  box.OnChange = [edit, &box] {
    const QString text = ToQString(box.Text());
    if (edit->text() != text) edit->setText(text);
  };
}

void WindowView::BindModels() {
  BindTextBox(text2_, form_.Text2);
  BindTextBox(pos_[0], form_.Pos[0]);
  BindTextBox(pos_[1], form_.Pos[1]);

  text1_->setPlainText(ToQString(form_.Text1.Text()));
  connect(text1_, &QPlainTextEdit::textChanged, this,
          [this] { form_.Text1.Type(FromQString(text1_->toPlainText())); });
  form_.Text1.OnChange = [this] {
    const QString text = ToQString(form_.Text1.Text());
    if (text1_->toPlainText() != text) text1_->setPlainText(text);
  };

  check1_->setChecked(form_.Check1.Checked());
  connect(check1_, &QCheckBox::toggled, this, [this](bool on) { form_.Check1.SetChecked(on); });
  form_.Check1.OnChange = [this] { check1_->setChecked(form_.Check1.Checked()); };

  for (int i = 0; i < 2; ++i) {
    connect(option1_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) form_.Option1.Select(i);
    });
  }
  option1_[form_.Option1.Selected()]->setChecked(true);
  form_.Option1.OnChange = [this] { option1_[form_.Option1.Selected()]->setChecked(true); };

  for (const auto& line : form_.List1.Items()) list1_->addItem(ToQString(line));
  list1_->scrollToBottom();
  form_.List1.OnAppend = [this](const std::string& line) { AppendLogLine(line); };
  form_.List1.OnDropOldest = [this] { delete list1_->takeItem(0); };
  form_.List1.OnClear = [this] { list1_->clear(); };

  // The operator's settings stay off the designed layout: a tooltip on the
  // window and a dialog from the log's context menu.
  setToolTip(DescribeServerSettings(form_));
  logActions_ = new LogActions(form_, list1_, this, [this] { ShowSettings(); });

  connect(command2_, &QPushButton::clicked, this, [this] { form_.Command2_Click(); });
  connect(command3_, &QPushButton::clicked, this, [this] { form_.Command3_Click(); });
  connect(command4_, &QPushButton::clicked, this, [this] { form_.Command4_Click(); });
}

void WindowView::StartEvents() {
  connect(timer1_, &QTimer::timeout, this, [this] { form_.PollConnections(); });
  timer1_->start();
  // rWin's part: a waiting connection on the listening socket is announced
  // here, and each announcement accepts at most one connection.
  if (form_.LoginServer.Socket != kInvalidSocket) {
    acceptNotifier_ = new QSocketNotifier(form_.LoginServer.Socket, QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this, [this] { form_.AcceptPending(); });
  }
}

void WindowView::ShowSettings() {
  SettingsDialog dialog(form_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  timer1_->setInterval(static_cast<int>(form_.TickInterval.count()));
  setToolTip(DescribeServerSettings(form_));
}

void WindowView::AppendLogLine(const std::string& line) {
  // Follow the newest line unless the user has scrolled up to read. Lines
  // come in bursts: whether to follow is decided at the first of a burst,
  // and the list scrolls once, after it.
  if (!scrollPending_) {
    QScrollBar* bar = list1_->verticalScrollBar();
    followLog_ = bar->value() >= bar->maximum();
    scrollPending_ = true;
    QTimer::singleShot(0, this, [this] {
      scrollPending_ = false;
      if (followLog_) list1_->scrollToBottom();
    });
  }
  list1_->addItem(ToQString(line));
}

void WindowView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The log grows with the window; the controls below it keep to the bottom.
  const int listLeft = Twips(2835);
  const int listTop = Twips(105);
  list1_->setGeometry(listLeft, listTop, width() - listLeft - kListRightMargin,
                      height() - listTop - kListBottomMargin);
  const int bottomRow = height() - kBottomRowFromBottom;
  check1_->move(check1_->x(), bottomRow);
  command2_->move(command2_->x(), bottomRow);
}

int RunWindowMode(int& argc, char** argv, const ProgramOptions& options, int stopFd) {
  QApplication app(argc, argv);
  // A stop signal ends the program whichever loop runs: the window's, or the
  // message box's when start-up failed.
  std::unique_ptr<QSocketNotifier> stop;
  if (stopFd >= 0) {
    stop = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
    QObject::connect(stop.get(), &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  }

  Form1 form;
  std::string error;
  if (!StartServer(form, options, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quib-Server"), ToQString(error),
                    QMessageBox::Ok);
    if (stop) QObject::connect(stop.get(), &QSocketNotifier::activated, &box, &QDialog::reject);
    box.exec();
    return 1;
  }
  std::fputs(StartedText(form).c_str(), stderr);
  std::fflush(stderr);
  {
    WindowView view(form);
    view.show();
    app.exec();
  }
  form.Unload();
  return 0;
}

}  // namespace quib
