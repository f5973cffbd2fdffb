#include "app/main_window.h"

#include <cmath>

#include "app/log_detail.h"
#include "packetdb/database_summary.h"
#include "platform/os.h"
#include "protocol/map_commands.h"
#include "protocol/packet_log.h"

namespace quib {

Form1::Form1()
    : Text2(kDefaultMapName),
      Pos{TextBox(kDefaultPosX), TextBox(kDefaultPosY)},
      MapTick(LocalMapTick),
      TimeOfDay(LocalMicrosecondsSinceMidnight) {
  Text2.SetMaxLength(kMapNameMaxLength);
  Text2.OnCut = [this](const std::string& typed) {
    Tell("Map name cut to " + std::to_string(CharacterCount(Text2.Text())) +
         " characters: " + Text2.Text() + " (typed " + std::to_string(CharacterCount(typed)) + ")");
  };
}

bool Form1::Initialize(const std::string& packetDbPath, std::string* reason) {
  if (!LoadAndDescribePacketDatabase(packetDbPath, Packets, PacketDbSummary, reason)) return false;
  PacketDbPath = packetDbPath;
  return true;
}

bool Form1::Load(std::int32_t port) {
  SetDigitsOnly(Pos[0], true);
  SetDigitsOnly(Pos[1], true);
  std::string description;
  SocketStartup(description);
  WideBacklog = AcceptsAtOnce();
  Endpoint listening;
  LoginServer.Socket = ListenOn(port, ListenAddress, listening, WideBacklog ? LargestBacklog() : 1);
  if (LoginServer.Socket == kInvalidSocket) {
    SocketCleanup();
    return false;
  }
  GetSockName(LoginServer.Socket, listening);
  LoginServer.Address = SocketAddressOf(listening);
  CharServer = LoginServer;
  MapServer = LoginServer;
  return true;
}

void Form1::Unload() {
  StopCapture();
  StopJournal();
  SocketCleanup();
}

void Form1::Stop(std::string_view why) {
  if (Stopped) return;
  Stopped = true;
  EndReason = why;
  StopCapture();
  Emit({.Kind = EventKind::kStopped, .Text = why});
  StopJournal();
}

void Form1::Command2_Click() {
  const CommandScope command(*this, "clear");
  List1.Clear();
  Unknown.Clear();
  PacketLineBytes.Clear();
  Tell("Log cleared");
}

void Form1::Command3_Click() {
  const CommandScope command(*this, "warp");
  Warp(*this);
}

void Form1::Command4_Click() {
  const CommandScope command(*this, "reload");
  ForceMapReload(*this);
}

void Form1::DetachViews() {
  List1.OnAppend = nullptr;
  List1.OnDropOldest = nullptr;
  List1.OnClear = nullptr;
  Check1.OnChange = nullptr;
  Option1.OnChange = nullptr;
  Text2.OnChange = nullptr;
  Pos[0].OnChange = nullptr;
  Pos[1].OnChange = nullptr;
  Text1.OnChange = nullptr;
  LogDetail.OnChange = nullptr;
  LogPackets.OnChange = nullptr;
}

void Form1::SetDigitsOnly(TextBox& box, bool flag) { box.SetDigitsOnly(flag); }

void Form1::Log(std::string line, const ConnectionRecord* about, LineKind kind) {
  if (LogDetail.Checked()) line.insert(0, DetailPrefix(TimeOfDay(), about));
  List1.AddItem(std::move(line), kind);
}

void Form1::LogWithBytes(std::string line, const ConnectionRecord* about, LineKind kind,
                         UnknownPackets& store, std::span<const std::uint8_t> bytes) {
  Log(line, about, kind);
  store.Add(List1.Appended() - 1, std::move(line), DetailPrefix(TimeOfDay(), about), bytes.data(),
            static_cast<std::int32_t>(bytes.size()));
}

void Form1::Emit(const ConnectionEvent& event) {
  // The form's own views first, each only when it has something to do with
  // the event: most events are a client's packets and their replies, which
  // only the packet lines, the capture and the journal take. Then the
  // windows' and the console's. The operator's own bytes show whatever the
  // menu says: they were asked for.
  if (LogPackets.Checked() || event.Injected)
    EveryPacket.Observe(event, Packets, PacketLineAppend());
  if (Takes(kDesignedLineKinds, event.Kind)) LogEvent(event);
  if (Capture.IsOpen()) CaptureEvent(event);
  if (Takes(kCountedKinds, event.Kind)) CountEvent(Summary, event);
  if (Rules.Strict && Takes(kJudgedKinds, event.Kind)) JudgeEvent(*this, event);
  if (Journal.IsOpen()) JournalEvent(event);
  Events.Notify(event);
}

bool Form1::SendsObserved() const {
  // As Emit tells them: the designed log, the summary and the verdict take
  // no send.
  static_assert(((kDesignedLineKinds | kCountedKinds | kJudgedKinds) & kSendKinds) == 0);
  return LogPackets.Checked() || Injecting || Capture.IsOpen() || Journal.IsOpen() ||
         Events.Takes(kSendKinds);
}

void Form1::LogEvent(const ConnectionEvent& event) {
  if (HiddenWithUnknownPackets(event) && Check1.Checked()) return;
  std::string line = DesignedLine(event);
  if (line.empty()) return;
  if (event.Kind != EventKind::kUnknown) {
    Log(std::move(line), event.Connection);
    return;
  }
  // The row's bytes, for the operator who asks what the client sent.
  LogWithBytes(std::move(line), event.Connection, kUnknownPacketLine, Unknown, event.Bytes);
}

PacketLines::Append Form1::PacketLineAppend() {
  return
      [this](std::string line, const ConnectionRecord& about, std::span<const std::uint8_t> bytes) {
        LogWithBytes(std::move(line), &about, kPacketLine, PacketLineBytes, bytes);
      };
}

void Form1::Tell(const std::string& outcome) {
  Emit({.Kind = EventKind::kOutcome, .Text = outcome});
}

std::int32_t Form1::CurrentMapTick() const { return MapTick ? MapTick() : LocalMapTick(); }

void Form1::SetLogPackets(bool on) {
  if (!on) FlushPacketLines();
  LogPackets.SetChecked(on);
  Tell(on ? "Every packet now shows in the log, both ways"
          : "Packets show as designed again: unknown ones alone");
}

void Form1::FlushPacketLines() { EveryPacket.Flush(PacketLineAppend()); }

void Form1::SetTickInterval(std::chrono::milliseconds interval) {
  const CommandScope command(*this, "tick");
  TickInterval = interval;
  Tell("Tick: " + std::to_string(interval.count()) + " ms");
}

void Form1::SetAcceptDelay(std::chrono::milliseconds delay) {
  const CommandScope command(*this, "accept-delay");
  AcceptDelay = delay;
  Tell("Accept delay: " + std::to_string(delay.count()) + " ms");
}

void Form1::SetLogDetail(bool on) {
  const CommandScope command(*this, "detail");
  LogDetail.SetChecked(on);
  Tell(on ? "Log lines now start with the time and the connection"
          : "Log lines are as designed again: no time, no connection");
}

std::int32_t Form1::ListeningPort() const { return EndpointOf(LoginServer.Address).Port; }

CommandScope::CommandScope(Form1& form, std::string_view name) {
  if (!form.RunningCommand.empty()) return;
  form_ = &form;
  form.RunningCommand = name;
  form.Emit({.Kind = EventKind::kCommand, .Text = name});
}

CommandScope::~CommandScope() {
  if (form_ == nullptr) return;
  form_->Emit({.Kind = EventKind::kCommand});
  form_->RunningCommand = {};
}

std::int32_t LocalMapTick() {
  return static_cast<std::int32_t>(
      std::lround(static_cast<double>(LocalMicrosecondsSinceMidnight()) / 10000.0));
}

}  // namespace quib
