#include "app/connection_actions.h"

#include <algorithm>

#include "app/main_window.h"
#include "protocol/map_commands.h"
#include "protocol/packet_descriptions.h"

namespace quib {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#3". Piece by piece: "literal" + a temporary string sets off a false
// overlap warning in GCC 12 at -O3.
std::string Name(std::uint64_t number) {
  std::string name = "#";
  name += std::to_string(number);
  return name;
}

// The open connection `number`, or nullptr with `error` saying why not.
ConnectionRecord* OpenConnection(Form1& form, std::uint64_t number, std::string& error) {
  const auto found =
      std::find_if(form.ConnectionTable.begin(), form.ConnectionTable.end(),
                   [number](const ConnectionRecord& r) { return r.Conversation == number; });
  if (found == form.ConnectionTable.end()) {
    error = "no connection " + Name(number);
    return nullptr;
  }
  if (found->GivenUp || !IsSocketOpen(found->Socket)) {
    error = "connection " + Name(number) + " is closed";
    return nullptr;
  }
  return &*found;
}

}  // namespace

bool ParseConnectionNumber(std::string_view text, std::uint64_t& number) {
  if (text.starts_with('#')) text.remove_prefix(1);
  if (text.empty() || text.size() > 18) return false;
  number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return number > 0;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes, std::string& error) {
  bytes.clear();
  const std::string expected = "send takes hex digits, two a byte: ";
  int high = -1;  // the first digit of a byte, while its second is to come
  for (const char c : text) {
    if (c == ' ' || c == '\t') {
      if (high < 0) continue;
      error = expected + "a byte is split by a blank";
      return false;
    }
    const int value = HexValue(c);
    if (value < 0) {
      error = expected + "\"" + std::string(1, c) + "\" is not one";
      return false;
    }
    if (high < 0) {
      high = value;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | value));
    high = -1;
  }
  if (high >= 0) error = expected + "an odd number of digits";
  if (bytes.empty() && error.empty()) error = expected + "none given";
  if (bytes.size() > kMostInjectedBytes) {
    error = expected + "at most " + std::to_string(kMostInjectedBytes) + " bytes, not " +
            std::to_string(bytes.size());
  }
  return error.empty();
}

std::string SendInjected(Form1& form, std::uint64_t number, std::span<const std::uint8_t> bytes) {
  std::string error;
  ConnectionRecord* connection = OpenConnection(form, number, error);
  if (connection == nullptr) return error;
  const CommandScope command(form, "send");
  // The row its id names reads it in the packet line and the journal.
  const PacketDescription* packet =
      bytes.size() >= 2 ? FindServerPacket(static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8))
                        : nullptr;
  form.Injecting = true;
  form.SendToConnection(*connection, bytes.data(), static_cast<std::int32_t>(bytes.size()), packet);
  form.Injecting = false;
  form.Tell("Sent " + std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes") +
            " to " + Name(number) + " (injected)");
  return {};
}

std::string WarpOne(Form1& form, std::uint64_t number) {
  std::string error;
  ConnectionRecord* connection = OpenConnection(form, number, error);
  if (connection == nullptr) return error;
  if (connection->State != kStateMap) return "connection " + Name(number) + " is not in the map";
  const CommandScope command(form, "warp");
  WarpConnection(form, *connection);
  return {};
}

std::string CloseOne(Form1& form, std::uint64_t number) {
  std::string error;
  ConnectionRecord* connection = OpenConnection(form, number, error);
  if (connection == nullptr) return error;
  const CommandScope command(form, "close");
  form.CloseConnection(*connection);
  form.Tell("Connection " + Name(number) + " closed by the server");
  return {};
}

std::string RunConnectionAction(Form1& form, ConnectionAction action, std::uint64_t number,
                                std::string_view hex) {
  std::string error;
  switch (action) {
    case ConnectionAction::kSend: {
      std::vector<std::uint8_t> bytes;
      if (ParseHexBytes(hex, bytes, error)) error = SendInjected(form, number, bytes);
      break;
    }
    case ConnectionAction::kWarp:
      error = WarpOne(form, number);
      break;
    case ConnectionAction::kClose:
      error = CloseOne(form, number);
      break;
    case ConnectionAction::kReset:
      error = ResetOne(form, number);
      break;
  }
  if (!error.empty()) form.Tell(error);
  return error;
}

std::string ResetOne(Form1& form, std::uint64_t number) {
  std::string error;
  ConnectionRecord* connection = OpenConnection(form, number, error);
  if (connection == nullptr) return error;
  const CommandScope command(form, "reset");
  form.EndConnection(*connection, CloseKind::kServerReset);
  form.Tell("Connection " + Name(number) + " reset by the server");
  return {};
}

}  // namespace quib
