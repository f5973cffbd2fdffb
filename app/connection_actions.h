// The operator's commands on one connection, named by its number
// (ConnectionRecord::Conversation, "#3" in the detailed log): send it bytes,
// warp it, close it, reset it. The console and both windows call these. Each
// says what it did (Form1::Tell) and returns an empty text, or returns why
// it was refused ("no connection #7") having done nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quib {

class Form1;

// The most bytes one injected packet carries: a packet the client could
// have framed from the server's own buffer.
inline constexpr std::size_t kMostInjectedBytes = 2048;

// "3" or "#3": a connection's number. False for anything else.
bool ParseConnectionNumber(std::string_view text, std::uint64_t& number);

// Hex digits, two a byte, blanks allowed between bytes, 1 to
// kMostInjectedBytes bytes. On failure, `error` says why ("send takes hex
// digits, two a byte: ...").
bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes, std::string& error);

// The bytes to connection `number` as one packet, through the send path as
// every reply goes: a packet line ("Inject ..."), the journal's packet event
// (injected: true) and the capture's comment "injected" say so.
std::string SendInjected(Form1& form, std::uint64_t number, std::span<const std::uint8_t> bytes);
// The connection to the map and cell in the boxes, as Warp does for all;
// refused for one not in the map.
std::string WarpOne(Form1& form, std::uint64_t number);
// Closed as the server closes a connection (the record stays).
std::string CloseOne(Form1& form, std::uint64_t number);
// Closed so that the client sees a reset; the record goes.
std::string ResetOne(Form1& form, std::uint64_t number);

// What the Connections window offers on its selected row, with the captions
// both windows show; Send sends the bytes typed in the box kSendPrompt labels.
enum class ConnectionAction : std::uint8_t { kSend, kWarp, kClose, kReset };
struct ConnectionActionRow {
  ConnectionAction Action;
  const char* Caption;
};
inline constexpr ConnectionActionRow kConnectionActions[] = {
    {ConnectionAction::kSend, "Send"},
    {ConnectionAction::kWarp, "Warp"},
    {ConnectionAction::kClose, "Close"},
    {ConnectionAction::kReset, "Reset"},
};
inline constexpr const char* kSendPrompt = "Bytes (hex):";

// Runs `action` on connection `number`; Send takes the bytes `hex` as typed.
// A refusal is told, as the window's status bar shows it; returns it, or an
// empty text.
std::string RunConnectionAction(Form1& form, ConnectionAction action, std::uint64_t number,
                                std::string_view hex = {});

}  // namespace quib
