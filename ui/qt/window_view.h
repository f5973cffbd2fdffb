// The window: Qt widgets built from the designed form, mirroring Form1's
// control models both ways, with the poll timer and the accept notification,
// and below the designed client area a status bar: the server in sections
// fitted to its width, the whole text in its tooltip, and what the commands
// did over the sections in turn. Form1 keeps all state; every event here is
// one call into it.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "app/form_layout.h"
#include "app/outcome_queue.h"
#include "app/status_text.h"
#include "protocol/connection_events.h"

class QLabel;
class QLineEdit;
class QSocketNotifier;
class QStatusBar;
class QTimer;

namespace quib {

class Form1;
class LogActions;
class TextBox;

// The form was laid out in twips; fifteen make a pixel.
constexpr int Twips(int twips) { return twips / 15; }

class WindowView : public QWidget {
  Q_OBJECT

 public:
  // `form` must outlive the view. When the form listens, the view accepts
  // connections as they wait; its timer polls them every 250 ms. The window
  // is never smaller than the designed client area with the status bar.
  explicit WindowView(Form1& form, QWidget* parent = nullptr);
  ~WindowView() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildStatusBar();
  QObject* MakeControl(const FormRow& row);
  // The control that the form's row `control` became.
  template <typename T>
  T* Control(FormControl control) const {
    return qobject_cast<T*>(controls_[static_cast<std::size_t>(control)]);
  }
  void BindTextBox(QLineEdit* edit, TextBox& box);
  void BindModels();
  void StartEvents();
  // Armed after each tick and each accept: the faults' held writes go at
  // their time, not at the next tick.
  void ArmDeadline();
  void ShowSettings();
  void RefreshStatus();
  void ShowOutcome();

  Form1& form_;
  std::array<QObject*, kFormControlCount> controls_{};  // in the form's order
  QSocketNotifier* acceptNotifier_ = nullptr;
  QTimer* deadline_ = nullptr;  // the next held write's time
  LogActions* logActions_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QWidget* statusRow_ = nullptr;  // the sections, hidden while an outcome shows
  std::array<QLabel*, kStatusPartCount> statusLabels_{};  // by StatusPart
  std::vector<StatusSection> sections_;                   // as last shown
  int fittedWidth_ = -1;                                  // the row's width they were fitted to
  int statusHeight_ = 0;
  OutcomeQueue outcomes_;
  QTimer* outcomeTimer_ = nullptr;           // when the outcome shown changes next
  std::unique_ptr<EventSubscription> told_;  // what the form tells, in the status bar
  bool followLog_ = true;                    // the log's list stands at its newest line
};

}  // namespace quib
