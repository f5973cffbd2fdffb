// The window as a user sees it, under Qt's offscreen platform.
#include "ui/qt/window_view.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <map>

#include "app/form_layout.h"
#include "app/main_window.h"
#include "app/outcome_queue.h"
#include "protocol/map_commands.h"
#include "protocol/packet_log.h"
#include "tests/test_support.h"
#include "ui/qt/log_actions.h"
#include "ui/qt/settings_dialog.h"

namespace quib {
namespace {

// One application for all the tests, ended after the last.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // A desktop's screen, with room beside the window for the bytes dialog:
    // the offscreen platform's own is hardly wider than the two.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screen_.open()) {
      screen_.write(R"({"screens": [{"name": "Desktop", "x": 0, "y": 0, "width": 1920,
                       "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
      screen_.flush();
      qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen_.fileName().toLocal8Bit());
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "quib_gui_tests";
  char* argv_[2] = {name_, nullptr};
  QTemporaryFile screen_;
  std::unique_ptr<QApplication> app_;
};

const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

// The Qt class each kind of control is built as.
const char* QtClassOf(const FormRow& row) {
  switch (row.Kind) {
    case ControlKind::CheckBox:
      return "QCheckBox";
    case ControlKind::Button:
      return "QPushButton";
    case ControlKind::Frame:
      return "QGroupBox";
    case ControlKind::OptionButton:
      return "QRadioButton";
    case ControlKind::TextBox:
      return row.Settings.MultiLine ? "QPlainTextEdit" : "QLineEdit";
    case ControlKind::Label:
      return "QLabel";
    case ControlKind::Timer:
      return "QTimer";
    case ControlKind::ListBox:
      return "QListWidget";
  }
  return "";
}

// What a user reads on a control: its caption, or the text in a box.
QString Shown(const QObject* control) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (const auto* frame = qobject_cast<const QGroupBox*>(control)) return frame->title();
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  if (const auto* text = qobject_cast<const QPlainTextEdit*>(control)) return text->toPlainText();
  return {};  // the list and the timer
}

QRect Pixels(const FormRect& twips) {
  return QRect(Twips(twips.Left), Twips(twips.Top), Twips(twips.Width), Twips(twips.Height));
}

class WindowViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.AcceptDelay = std::chrono::milliseconds(0);
    ASSERT_TRUE(form.Load(0));
    view = std::make_unique<WindowView>(form);
    view->show();
  }
  void TearDown() override {
    view.reset();
    form.Unload();
  }

  template <typename T>
  T* Find(const char* name) {
    T* widget = view->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  template <typename T>
  T* Find(FormControl control) {
    return Find<T>(RowOf(control).Name);
  }

  // Replaces a box's text by typing, as a user would.
  void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  // Opens the log's context menu and clicks its item `text`, as a user
  // would. Whether the item was checked before the click.
  bool ClickLogMenu(const QString& text) {
    bool found = false;
    bool checked = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (QAction* action : menu->actions()) {
        if (action->text() != text) continue;
        found = true;
        checked = action->isChecked();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        return;
      }
      menu->close();
    });
    emit Find<QListWidget>(FormControl::List1)->customContextMenuRequested(QPoint(4, 4));
    EXPECT_TRUE(found) << text.toStdString();
    return checked;
  }

  QString StatusMessage() { return Find<QStatusBar>("StatusBar")->currentMessage(); }

  Form1 form;
  std::unique_ptr<WindowView> view;
};

TEST_F(WindowViewTest, EveryControlIsBuiltAsTheFormHasIt) {
  EXPECT_EQ(view->windowTitle(), kFormCaption);
  // Placed by its frame, sized by its client area and the status bar below.
  EXPECT_EQ(QRect(view->pos(), view->size() - QSize(0, Find<QStatusBar>("StatusBar")->height())),
            Pixels(kFormPlace));
  auto* frame1 = Find<QWidget>(FormControl::Frame1);
  for (const FormRow& row : FormRows()) {
    SCOPED_TRACE(row.Name);
    auto* control = Find<QObject>(row.Control);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), QtClassOf(row));
    EXPECT_EQ(Shown(control), QString::fromLatin1(row.Caption));
    if (auto* timer = qobject_cast<QTimer*>(control)) {
      EXPECT_TRUE(timer->isActive());
      EXPECT_EQ(timer->interval(), form.TickInterval.count());
      continue;
    }
    auto* widget = qobject_cast<QWidget*>(control);
    EXPECT_EQ(widget->parentWidget(),
              row.Parent == ControlParent::Frame1 ? frame1 : static_cast<QWidget*>(view.get()));
    EXPECT_EQ(widget->geometry(), Pixels(row.Place));
    EXPECT_EQ(widget->isVisible(), row.Settings.Visible);
    EXPECT_EQ(widget->isEnabled(), row.Settings.Enabled);
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
      EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ((label->alignment() & Qt::AlignRight) != 0, row.Settings.AlignRight);
    }
  }
  EXPECT_FALSE(Find<QCheckBox>(FormControl::Check1)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(FormControl::Option1_0)->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(FormControl::Option1_1)->isChecked());
  EXPECT_EQ(Find<QListWidget>(FormControl::List1)->count(), 0);
  // The desktop entry's icon, each size the build made of it.
  for (const int size : {16, 48, 256}) {
    const QString made = QStringLiteral(QUIB_ICON_DIR "/%1x%1/quib-server.png").arg(size);
    if (!QFile::exists(made)) continue;  // built without rsvg-convert
    EXPECT_EQ(view->windowIcon().pixmap(size).toImage().convertToFormat(
                  QImage::Format_ARGB32_Premultiplied),
              QImage(made).convertToFormat(QImage::Format_ARGB32_Premultiplied))
        << size;
  }
  if (const char* path = std::getenv("QUIB_SCREENSHOT")) {
    QCoreApplication::processEvents();  // as the user first sees it
    view->grab().save(QString::fromLocal8Bit(path));
  }
}

// Where two controls overlap, the one made first stands on top: the boxes
// over the labels they share a line with.
TEST_F(WindowViewTest, ControlsMadeFirstStandOnTop) {
  int overlaps = 0;
  const auto rows = FormRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      const FormRow& upper = rows[i];
      const FormRow& lower = rows[j];
      if (upper.Kind == ControlKind::Timer || lower.Kind == ControlKind::Timer ||
          upper.Parent != lower.Parent || !upper.Settings.Visible || !lower.Settings.Visible) {
        continue;
      }
      const QRect overlap = Pixels(upper.Place).intersected(Pixels(lower.Place));
      if (overlap.isEmpty()) continue;
      ++overlaps;
      QWidget* parent = Find<QWidget>(upper.Control)->parentWidget();
      QWidget* shown = parent->childAt(overlap.center());
      while (shown != nullptr && shown->parentWidget() != parent) shown = shown->parentWidget();
      EXPECT_EQ(shown, Find<QWidget>(upper.Control)) << upper.Name << " over " << lower.Name;
    }
  }
  EXPECT_GT(overlaps, 0);
}

// The log grows with the window, the controls below it keep to the bottom and
// the rest stays.
TEST_F(WindowViewTest, ControlsFollowAResizeAsTheFormSays) {
  std::map<FormControl, QRect> before;
  for (const FormRow& row : FormRows()) {
    if (row.Kind != ControlKind::Timer)
      before[row.Control] = Find<QWidget>(row.Control)->geometry();
  }
  const QSize grown = view->size() + QSize(291, 178);
  view->resize(grown);
  ASSERT_EQ(view->size(), grown);
  for (const auto& [control, place] : before) {
    const QRect now = Find<QWidget>(control)->geometry();
    switch (RowOf(control).Resize) {
      case OnResize::Grows:
        EXPECT_EQ(now, place.adjusted(0, 0, 291, 178)) << RowOf(control).Name;
        break;
      case OnResize::KeepsToBottom:
        EXPECT_EQ(now, place.translated(0, 178)) << RowOf(control).Name;
        break;
      case OnResize::Stays:
        EXPECT_EQ(now, place) << RowOf(control).Name;
        break;
    }
  }
}

TEST_F(WindowViewTest, PositionBoxesRefuseLettersAndTheMapBoxStopsAtSixteen) {
  QLineEdit* x = Find<QLineEdit>(FormControl::Pos_0);
  Retype(x, "4a2-");
  EXPECT_EQ(x->text(), "42");
  EXPECT_EQ(form.Pos[0].Text(), "42");

  // Typed or pasted, a longer name is cut by the model, which says so.
  QLineEdit* map = Find<QLineEdit>(FormControl::Text2);
  Retype(map, "abcdefghijklmnopqrst");
  EXPECT_EQ(map->text(), "abcdefghijklmnop");
  EXPECT_EQ(form.Text2.Text(), "abcdefghijklmnop");
  EXPECT_EQ(StatusMessage(), "Map name cut to 16 characters: abcdefghijklmnop (typed 17)");
  QApplication::clipboard()->setText("ABCDEFGHIJKLMNOPQRST");
  map->selectAll();
  QTest::keySequence(map, QKeySequence::Paste);
  EXPECT_EQ(map->text(), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(form.Text2.Text(), "ABCDEFGHIJKLMNOP");
  // The outcome before is not replaced at once.
  EXPECT_EQ(StatusMessage(), "Map name cut to 16 characters: abcdefghijklmnop (typed 17)");
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return StatusMessage() == "Map name cut to 16 characters: ABCDEFGHIJKLMNOP (typed 20)";
      },
      std::chrono::milliseconds(kOutcomeLeast).count() + 1000));
}

// At a requested 300 x 200 the window keeps its designed size: every control
// stays whole above the status bar.
TEST_F(WindowViewTest, TheWindowRefusesToGetSmallerThanItsDesign) {
  auto* bar = Find<QStatusBar>("StatusBar");
  ASSERT_GT(bar->height(), 0);
  view->resize(300, 200);
  QCoreApplication::processEvents();
  EXPECT_GE(view->width(), Twips(kFormPlace.Width));
  EXPECT_GE(view->height(), Twips(kFormPlace.Height) + bar->height());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->geometry(),
            QRect(0, view->height() - bar->height(), view->width(), bar->height()));
  const QRect client(0, 0, view->width(), bar->y());
  for (const FormRow& row : FormRows()) {
    if (row.Kind == ControlKind::Timer) continue;
    const auto* widget = Find<QWidget>(row.Control);
    EXPECT_TRUE(client.contains(QRect(widget->mapTo(view.get(), QPoint()), widget->size())))
        << row.Name;
  }
}

// What the server does stays in the status bar's sections, the whole of it
// in the bar's tooltip; the commands' outcomes show over them in turn, then
// the sections are back.
TEST_F(WindowViewTest, TheStatusBarShowsTheServerAndTheLastOutcome) {
  auto* bar = Find<QStatusBar>("StatusBar");
  auto* sections = Find<QWidget>("StatusSections");
  const QString listening =
      QStringLiteral("Listening on 127.0.0.1:%1 | ").arg(form.ListeningPort());
  EXPECT_EQ(bar->toolTip(), listening + "0 connections, 0 in the map | Warp to " +
                                QString::fromStdString(TargetText(WarpTargetOf(form))));
  EXPECT_TRUE(sections->isVisible());

  const int client = test::ConnectClient(form.ListeningPort());
  ASSERT_GE(client, 0);
  for (int i = 0; i < 40 && form.ConnectionCount() < 1; ++i) QTest::qWait(50);
  EXPECT_TRUE(bar->toolTip().startsWith(listening + "1 connection, 0 in the map | "));
  form.Text2.SetText("prt_in.gat");
  EXPECT_TRUE(bar->toolTip().contains(" | Warp to prt_in.gat ("));

  // A long path from the desktop, with accents: its end stays in view, in
  // its section, at the designed width.
  const QString path = QDir::temp().filePath(QStringLiteral(
      "quib_status_\u00e9_a_capture_with_a_name_longer_than_the_bar_is_wide.pcapng"));
  std::string error;
  ASSERT_TRUE(form.StartCapture(path.toStdString(), error)) << error;
  form.Command4_Click();  // no client in the map: the reload waits
  EXPECT_TRUE(bar->toolTip().endsWith(" | reload pending | Capture: " + path));
  EXPECT_EQ(StatusMessage(), "Capture started: " + path);
  EXPECT_FALSE(sections->isVisible());
  ASSERT_EQ(view->width(), Twips(kFormPlace.Width));
  auto* capture = Find<QLabel>("StatusCapture");
  EXPECT_TRUE(capture->text().startsWith("Capture: \u2026")) << capture->text().toStdString();
  EXPECT_TRUE(capture->text().endsWith("_wide.pcapng")) << capture->text().toStdString();
  EXPECT_EQ(Find<QLabel>("StatusReload")->text(), "reload pending");

  // The reload's outcome shows in turn, then the sections are back.
  EXPECT_TRUE(QTest::qWaitFor([&] { return StatusMessage().startsWith("Force Map Reload: "); },
                              std::chrono::milliseconds(kOutcomeLeast).count() + 1000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return sections->isVisible(); },
                              std::chrono::milliseconds(kOutcomeShown).count() + 1000));
  EXPECT_TRUE(capture->isVisible());
  EXPECT_GE(capture->width(), capture->sizeHint().width()) << "its text is cut";
  EXPECT_LE(capture->mapTo(bar, QPoint(capture->width(), 0)).x(), bar->width());
  form.StopCapture();
  EXPECT_FALSE(bar->toolTip().contains("Capture:"));
  QFile::remove(path);

  QTest::mouseClick(Find<QPushButton>(FormControl::Command3), Qt::LeftButton);
  EXPECT_EQ(StatusMessage(), "Capture stopped: " + path);
  EXPECT_TRUE(QTest::qWaitFor([&] { return StatusMessage() == "Warp: no client in the map"; },
                              std::chrono::milliseconds(kOutcomeLeast).count() + 1000));
  ::close(client);
}

TEST_F(WindowViewTest, CheckableLogItemsFollowTheirBoxes) {
  const std::pair<const char*, CheckBox&> items[] = {{"Show Time and Connection", form.LogDetail},
                                                     {"Show Every Packet", form.LogPackets}};
  for (const auto& [caption, box] : items) {
    EXPECT_FALSE(ClickLogMenu(caption)) << caption;
    EXPECT_TRUE(box.Checked()) << caption;
    EXPECT_TRUE(ClickLogMenu(caption)) << caption;
    EXPECT_FALSE(box.Checked()) << caption;
  }
  // Outcomes show in turn: the first one told is in view.
  EXPECT_EQ(StatusMessage(), "Log lines now start with the time and the connection");
}

// "Start Journal…" asks for the file, as a user answers its dialog, and
// "Stop Journal" stops it.
TEST_F(WindowViewTest, TheLogMenuStartsAndStopsTheJournal) {
  const QString path = QDir::temp().filePath(QStringLiteral("quib_menu_\u00e9.jsonl"));
  QFile::remove(path);
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    answer.stop();
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog*>(dialog)->accept();  // public there
  });
  answer.start(50);
  ClickLogMenu(QStringLiteral("Start Journal\u2026"));
  EXPECT_TRUE(form.Journal.IsOpen());
  EXPECT_EQ(StatusMessage().toStdString(), "Journal started: " + path.toStdString());
  ClickLogMenu(QStringLiteral("Stop Journal"));
  EXPECT_FALSE(form.Journal.IsOpen());
  // Outcomes show in turn: the stop once the start has had its time.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return StatusMessage().toStdString() == "Journal stopped: " + path.toStdString(); },
      std::chrono::milliseconds(kOutcomeLeast).count() + 1000));
  QFile::remove(path);
}

// "Faults…": a SPEC added shows in the list and the status bar, a bad one
// says why, the selected one goes.
TEST_F(WindowViewTest, TheFaultsWindowAddsAndRemovesFaults) {
  ClickLogMenu(QStringLiteral("Faults\u2026"));
  auto* spec = Find<QLineEdit>("FaultSpec");
  auto* list = Find<QListWidget>("FaultList");
  ASSERT_TRUE(spec != nullptr && list != nullptr);
  for (const char* text : {"drop,reply=0x0073,count=1", "bogus"}) {
    spec->setText(QString::fromLatin1(text));
    QTest::mouseClick(Find<QPushButton>("FaultAdd"), Qt::LeftButton);
  }
  ASSERT_EQ(list->count(), 1);
  EXPECT_TRUE(list->item(0)->text().startsWith("1  drop,reply=0x0073,count=1  fired 0"));
  EXPECT_FALSE(Find<QLabel>("FaultError")->text().isEmpty());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Find<QLabel>("StatusFaults")->text() == "1 fault set"; }, 2000));
  list->setCurrentRow(0);
  QTest::mouseClick(Find<QPushButton>("FaultRemove"), Qt::LeftButton);
  EXPECT_EQ(list->count(), 0);
  EXPECT_TRUE(form.Faults.Empty());
}

TEST_F(WindowViewTest, UserChangesReachTheModels) {
  QTest::mouseClick(Find<QCheckBox>(FormControl::Check1), Qt::LeftButton);
  EXPECT_TRUE(form.Check1.Checked());
  QTest::mouseClick(Find<QRadioButton>(FormControl::Option1_1), Qt::LeftButton);
  EXPECT_EQ(form.Option1.Selected(), 1);
  Retype(Find<QLineEdit>(FormControl::Pos_1), "");
  EXPECT_EQ(form.Pos[1].Text(), "");
}

TEST_F(WindowViewTest, ModelChangesShowInTheWidgets) {
  form.Pos[0].SetText("898");
  form.Text2.SetText("prt_in.gat");
  form.Check1.SetChecked(true);
  form.Option1.Select(1);
  EXPECT_EQ(Find<QLineEdit>(FormControl::Pos_0)->text(), "898");
  EXPECT_EQ(Find<QLineEdit>(FormControl::Text2)->text(), "prt_in.gat");
  EXPECT_TRUE(Find<QCheckBox>(FormControl::Check1)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(FormControl::Option1_1)->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(FormControl::Option1_0)->isChecked());
}

TEST_F(WindowViewTest, ClearLogEmptiesTheList) {
  form.List1.AddItem("first");
  form.List1.AddItem("second");
  QListWidget* list = Find<QListWidget>(FormControl::List1);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "second");
  QTest::mouseClick(Find<QPushButton>(FormControl::Command2), Qt::LeftButton);
  EXPECT_EQ(list->count(), 0);
  EXPECT_TRUE(form.List1.Items().empty());
  form.List1.AddItem("after");
  EXPECT_EQ(list->count(), 1);
}

TEST_F(WindowViewTest, TheListKeepsTheNewestLinesLikeTheLog) {
  for (std::size_t i = 0; i <= ListBox::kMaxLines; ++i) form.List1.AddItem(std::to_string(i));
  QListWidget* list = Find<QListWidget>(FormControl::List1);
  EXPECT_EQ(list->count(), static_cast<int>(ListBox::kMaxLines));
  EXPECT_EQ(list->item(0)->text(), "1");
  EXPECT_EQ(form.List1.Items().front(), "1");
}

TEST_F(WindowViewTest, LinesCanBeCopiedSavedAndTheirBytesShown) {
  form.TimeOfDay = [] { return std::int64_t{((12 * 60 + 4) * 60 + 5) * 1000000LL + 120000}; };
  ConnectionRecord client;
  client.PeerAddress = SocketAddressOf({kLoopbackAddress, 52344});
  client.Conversation = 3;
  form.List1.AddItem("first");
  client.RecvBuffer[0] = 0x21;
  client.RecvBuffer[1] = 0x43;
  client.RecvBuffer[2] = 'A';
  client.RecvLength = 3;
  HandleUnknownPacket(form, client, 0x4321);
  form.List1.AddItem("last");

  // Several lines at once, in order; Ctrl+C puts them on the clipboard.
  QListWidget* list = Find<QListWidget>(FormControl::List1);
  list->item(0)->setSelected(true);
  list->item(2)->setSelected(true);
  list->setFocus();
  QTest::keySequence(list, QKeySequence::Copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "first\nlast");

  const QString path = QDir::temp().filePath("quib_saved_log.txt");
  QString error;
  ASSERT_TRUE(SaveLog(form.List1, path, error)) << error.toStdString();
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), "first\nUnknown Packet (0x4321) - 7F000001\nlast\n");
  saved.remove();

  EXPECT_EQ(PacketBytesText(form, 1),
            "12:04:05.120 [#3 127.0.0.1:52344] Unknown Packet (0x4321) - 7F000001 (3 bytes "
            "buffered)\n"
            "0000  21 43 41                                          !CA\n");
  // A double-click shows them beside the log, not over it.
  QRect shown;
  QTimer::singleShot(0, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      shown = dialog->frameGeometry();
      dialog->close();
    }
  });
  const QPoint row1 = list->visualItemRect(list->item(1)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row1);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row1);
  ASSERT_FALSE(shown.isEmpty()) << "no bytes dialog";
  EXPECT_GE(shown.left(), view->frameGeometry().right()) << "it hides the log";
  EXPECT_EQ(shown.top(), view->frameGeometry().top());
  EXPECT_TRUE(PacketBytesText(form, 0).isEmpty()) << "not an unknown packet";
  form.Unknown.Clear();
  EXPECT_TRUE(PacketBytesText(form, 1).contains("no longer held"));
}

TEST_F(WindowViewTest, SettingsShowTheAddressAndChangeTheCadence) {
  EXPECT_TRUE(view->toolTip().startsWith("Listening on 127.0.0.1:"));
  SettingsDialog dialog(form, view.get());
  dialog.findChild<QSpinBox*>("Tick")->setValue(40);
  dialog.findChild<QSpinBox*>("AcceptDelay")->setValue(0);
  dialog.accept();
  EXPECT_EQ(form.TickInterval.count(), 40);
  EXPECT_EQ(form.AcceptDelay.count(), 0);
  EXPECT_TRUE(dialog.findChild<QLabel*>("Address")->text().startsWith("127.0.0.1:"));
}

TEST_F(WindowViewTest, LogFollowsTheNewestLineUnlessScrolledAway) {
  QListWidget* list = Find<QListWidget>(FormControl::List1);
  QScrollBar* bar = list->verticalScrollBar();
  // A line at a time past the first overflow, and on after the window got
  // smaller: the newest stays in view.
  const QSize designed = view->size();
  view->resize(designed + QSize(0, 120));
  for (int i = 0; i < 50; ++i) {
    if (i == 40) view->resize(designed);
    form.List1.AddItem("line " + std::to_string(i));
    QCoreApplication::processEvents();
    const QRect newest = list->visualItemRect(list->item(list->count() - 1));
    ASSERT_LE(newest.bottom(), list->viewport()->rect().bottom()) << "line " << i << " is hidden";
  }
  for (int i = 0; i < 200; ++i) form.List1.AddItem("line " + std::to_string(i));
  QCoreApplication::processEvents();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  bar->setValue(10);  // the user scrolls up to read
  for (int i = 0; i < 5; ++i) form.List1.AddItem("more");
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), 10);

  bar->setValue(bar->maximum());
  form.List1.AddItem("newest");
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum());
}

// The window's own events drive the server: a connection is accepted and its
// login answered without anyone calling in.
TEST_F(WindowViewTest, NotificationAcceptsAndTheTimerPolls) {
  form.Packets = test::ShippedTable();
  const int client = test::ConnectClient(form.ListeningPort());
  ASSERT_GE(client, 0);
  test::SendAll(client, test::Concat({test::Le16(0x0064), test::Zeros(53)}));
  for (int i = 0; i < 40 && form.List1.Items().size() < 1; ++i) QTest::qWait(50);
  EXPECT_EQ(form.ConnectionCount(), 1);
  ASSERT_FALSE(form.List1.Items().empty());
  EXPECT_EQ(Find<QListWidget>(FormControl::List1)->item(0)->text().toStdString(),
            form.List1.Items()[0]);
  ::close(client);
}

// "Connections…" lists the client in the map, and its buttons act on the
// selected row alone.
TEST_F(WindowViewTest, TheConnectionsWindowListsAndActsOnOneClient) {
  form.Packets = test::ShippedTable();
  const int client = test::ConnectClient(form.ListeningPort());
  ASSERT_GE(client, 0);
  test::SendAll(client, test::MapLogin());
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Summary.ReachedCount(Milestone::kMap) == 1; }));
  EXPECT_EQ(test::ReadExactly(client, test::kMapGreetingSize).size(), test::kMapGreetingSize);
  ClickLogMenu(QStringLiteral("Connections\u2026"));
  auto* table = Find<QTableWidget>("ConnectionTable");
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->window()->isVisible());
  ASSERT_EQ(table->rowCount(), 1);
  QStringList cells;
  for (int c = 0; c < table->columnCount(); ++c) cells << table->item(0, c)->text();
  EXPECT_TRUE(cells.join('|').startsWith(QStringLiteral("#1|127.0.0.1:")))
      << cells.join('|').toStdString();
  EXPECT_EQ(cells.mid(2, 3).join('|'), QStringLiteral("map|5|in the map"));

  table->selectRow(0);
  Find<QLineEdit>("Bytes")->setText(QStringLiteral("c2 00 07 00 00 00"));
  Find<QPushButton>("Send")->click();
  EXPECT_EQ(test::ReadExactly(client, 6), test::Concat({test::Le16(0x00C2), test::Le32(7)}));
  Find<QPushButton>("Warp")->click();
  EXPECT_EQ(test::U16(test::ReadExactly(client, 26), 0), 0x0091);
  Find<QPushButton>("Close")->click();
  EXPECT_TRUE(test::PeerClosed(client, 1000));
  EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("closed by the server"));
  ::close(client);
}

}  // namespace
}  // namespace quib
