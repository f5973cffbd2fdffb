// The login role.
//
// kServerList, the server list (79 bytes: a 47-byte head and one 32-byte server entry):
//   0 id | 2 length | 4 0 | 8 account id | 12 0 | 16 0 | 20 date text (24)
//   | 46 sex | 47 server address (network order) | 51 port | 53 name (20)
//   | 73 user count | 75 0 | 77 0
#include "protocol/login_server.h"

#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_handler.h"
#include "protocol/protocol_host.h"

namespace quib {

namespace {

constexpr std::int32_t kServerListHead = 47;
constexpr std::int32_t kServerEntryLength = 32;
constexpr std::int32_t kServerCount = 1;

}  // namespace

void HandleLoginPreRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer&) {
  TellMilestone(host, connection, Milestone::kPreLogin);
  connection.State = kStateLogin;
}

void HandleLoginRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  const std::int32_t length = kServerListHead + kServerEntryLength * kServerCount;
  WriteInt16(scratch, 0, kServerList.Id);
  WriteInt16(scratch, 2, static_cast<std::uint16_t>(length));
  WriteInt32(scratch, 4, 0);
  WriteInt32(scratch, 8, kAccountId);
  WriteInt32(scratch, 12, 0);
  WriteInt32(scratch, 16, 0);
  WriteFixedString(scratch, 20, "2008-08-01 00:00:01.000", 24);
  WriteByte(scratch, 46, host.MaleSelected() ? 1 : 0);
  connection.AccountId = kAccountId;

  WriteServerEndpoint(scratch, 47, host.CharServerEndpoint());  // address at 47, port at 51
  WriteFixedString(scratch, 53, "Quib-Test Server", 20);
  WriteInt16(scratch, 73, static_cast<std::uint16_t>(host.ConnectionCount()));
  WriteInt16(scratch, 75, 0);
  WriteInt16(scratch, 77, 0);
  SendReply(host, connection, scratch, length);

  connection.State = kStateLogin;
  // The record stays: the client comes back on a new connection.
  ServerCloses(host, connection);
  TellMilestone(host, connection, Milestone::kLogin);
}

}  // namespace quib
