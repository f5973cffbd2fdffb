// The window as a user sees it, under Qt's offscreen platform.
#include "ui/qt/window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include "app/main_window.h"
#include "protocol/packet_log.h"
#include "tests/test_support.h"
#include "ui/qt/log_actions.h"
#include "ui/qt/settings_dialog.h"

namespace quib {
namespace {

// One application for all the tests, ended after the last.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "quib_gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

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

  // Replaces a box's text by typing, as a user would.
  void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  Form1 form;
  std::unique_ptr<WindowView> view;
};

TEST_F(WindowViewTest, EveryControlHasItsCaptionAndInitialValue) {
  EXPECT_EQ(view->windowTitle(), "Quib-Server");
  EXPECT_EQ(view->size(), QSize(509, 322));

  EXPECT_EQ(Find<QCheckBox>("Check1")->text(), "Hide Unknown Packets");
  EXPECT_FALSE(Find<QCheckBox>("Check1")->isChecked());
  EXPECT_EQ(Find<QPushButton>("Command2")->text(), "Clear Log");
  EXPECT_EQ(Find<QGroupBox>("Frame1")->title(), "Specifics");
  EXPECT_EQ(Find<QPushButton>("Command4")->text(), "Force Map Reload");
  EXPECT_EQ(Find<QRadioButton>("Option1_1")->text(), "Male");
  EXPECT_FALSE(Find<QRadioButton>("Option1_1")->isChecked());
  EXPECT_EQ(Find<QRadioButton>("Option1_0")->text(), "Female");
  EXPECT_TRUE(Find<QRadioButton>("Option1_0")->isChecked());
  EXPECT_EQ(Find<QLineEdit>("Text2")->text(), "prontera.gat");
  EXPECT_EQ(Find<QPushButton>("Command3")->text(), "Warp");
  EXPECT_EQ(Find<QLineEdit>("Pos1")->text(), "170");
  EXPECT_EQ(Find<QLineEdit>("Pos0")->text(), "150");
  EXPECT_EQ(Find<QLabel>("Label3")->text(), "Gender:");
  EXPECT_EQ(Find<QLabel>("Label2")->text(), "Map:");
  EXPECT_EQ(Find<QLabel>("Label1")->text(), "Position:           x");
  EXPECT_EQ(Find<QListWidget>("List1")->count(), 0);
  EXPECT_TRUE(Find<QPlainTextEdit>("Text1")->toPlainText().isEmpty());
  EXPECT_EQ(Find<QPlainTextEdit>("Text1")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  EXPECT_EQ(Find<QPushButton>("rWin")->text(), "Hidden");
  EXPECT_FALSE(Find<QPushButton>("rWin")->isVisible());
  EXPECT_EQ(Find<QPushButton>("Command1")->text(), "Unused");
  EXPECT_FALSE(Find<QPushButton>("Command1")->isVisible());
  EXPECT_FALSE(Find<QPushButton>("Command1")->isEnabled());
}

TEST_F(WindowViewTest, ControlsStandWhereTheFormPutThem) {
  struct Placement {
    const char* name;
    int left, top, width, height;  // twips
  };
  for (const Placement& p : {Placement{"Check1", 5040, 4515, 2535, 195},
                             {"Command2", 2835, 4515, 1065, 225},
                             {"Frame1", 105, 105, 2640, 1800},
                             {"Command4", 840, 1365, 1590, 330},
                             {"Option1_1", 1680, 945, 855, 225},
                             {"Option1_0", 735, 945, 855, 225},
                             {"Text2", 735, 630, 1065, 285},
                             {"Command3", 1890, 315, 540, 330},
                             {"Pos1", 1365, 315, 435, 285},
                             {"Pos0", 735, 315, 435, 285},
                             {"Label1", 105, 315, 1170, 195},
                             {"List1", 2835, 105, 4740, 4350},
                             {"Text1", 105, 2100, 2640, 2640}}) {
    EXPECT_EQ(Find<QWidget>(p.name)->geometry(),
              QRect(Twips(p.left), Twips(p.top), Twips(p.width), Twips(p.height)))
        << p.name;
  }
  // The log grows with the window; the row below it keeps to the bottom.
  view->resize(800, 500);
  EXPECT_EQ(Find<QListWidget>("List1")->geometry(), QRect(189, 7, 316 + 291, 290 + 178));
  EXPECT_EQ(Find<QPushButton>("Command2")->y(), 301 + 178);
}

TEST_F(WindowViewTest, PositionBoxesRefuseLettersAndTheMapBoxStopsAtSixteen) {
  QLineEdit* x = Find<QLineEdit>("Pos0");
  Retype(x, "4a2-");
  EXPECT_EQ(x->text(), "42");
  EXPECT_EQ(form.Pos[0].Text(), "42");

  QLineEdit* map = Find<QLineEdit>("Text2");
  Retype(map, "abcdefghijklmnopqrst");
  EXPECT_EQ(map->text(), "abcdefghijklmnop");
  EXPECT_EQ(form.Text2.Text(), "abcdefghijklmnop");
}

TEST_F(WindowViewTest, UserChangesReachTheModels) {
  QTest::mouseClick(Find<QCheckBox>("Check1"), Qt::LeftButton);
  EXPECT_TRUE(form.Check1.Checked());
  QTest::mouseClick(Find<QRadioButton>("Option1_1"), Qt::LeftButton);
  EXPECT_EQ(form.Option1.Selected(), 1);
  Retype(Find<QLineEdit>("Pos1"), "");
  EXPECT_EQ(form.Pos[1].Text(), "");
}

TEST_F(WindowViewTest, ModelChangesShowInTheWidgets) {
  form.Pos[0].SetText("898");
  form.Text2.SetText("prt_in.gat");
  form.Check1.SetChecked(true);
  form.Option1.Select(1);
  EXPECT_EQ(Find<QLineEdit>("Pos0")->text(), "898");
  EXPECT_EQ(Find<QLineEdit>("Text2")->text(), "prt_in.gat");
  EXPECT_TRUE(Find<QCheckBox>("Check1")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("Option1_1")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("Option1_0")->isChecked());
}

TEST_F(WindowViewTest, ClearLogEmptiesTheList) {
  form.List1.AddItem("first");
  form.List1.AddItem("second");
  QListWidget* list = Find<QListWidget>("List1");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "second");
  QTest::mouseClick(Find<QPushButton>("Command2"), Qt::LeftButton);
  EXPECT_EQ(list->count(), 0);
  EXPECT_TRUE(form.List1.Items().empty());
  form.List1.AddItem("after");
  EXPECT_EQ(list->count(), 1);
}

TEST_F(WindowViewTest, TheListKeepsTheNewestLinesLikeTheLog) {
  for (std::size_t i = 0; i <= ListBox::kMaxLines; ++i) form.List1.AddItem(std::to_string(i));
  QListWidget* list = Find<QListWidget>("List1");
  EXPECT_EQ(list->count(), static_cast<int>(ListBox::kMaxLines));
  EXPECT_EQ(list->item(0)->text(), "1");
  EXPECT_EQ(form.List1.Items().front(), "1");
}

TEST_F(WindowViewTest, LinesCanBeCopiedSavedAndTheirBytesShown) {
  ConnectionRecord client;
  client.PeerAddress.sin_addr.s_addr = htonl(0x7F000001);
  form.List1.AddItem("first");
  client.RecvBuffer[0] = 0x21;
  client.RecvBuffer[1] = 0x43;
  client.RecvBuffer[2] = 'A';
  client.RecvLength = 3;
  HandleUnknownPacket(form, client, 0x4321);
  form.List1.AddItem("last");

  // Several lines at once, in order; Ctrl+C puts them on the clipboard.
  QListWidget* list = Find<QListWidget>("List1");
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
            "Unknown Packet (0x4321) - 7F000001 (3 bytes buffered)\n"
            "0000  21 43 41                                          !CA\n");
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
  QListWidget* list = Find<QListWidget>("List1");
  QScrollBar* bar = list->verticalScrollBar();
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
  EXPECT_EQ(Find<QListWidget>("List1")->item(0)->text().toStdString(), form.List1.Items()[0]);
  ::close(client);
}

}  // namespace
}  // namespace quib
