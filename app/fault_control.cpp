// Form1's side of the faults: a packet sent while faults are set goes
// through them, and what they hold back waits in Form1::Held, in order per
// connection, until its time (NextWriteDue, the deadline every mode's wait
// honours) or until its stall is cleared.
#include <algorithm>
#include <utility>

#include "app/main_window.h"
#include "protocol/packet_log.h"
#include "protocol/reply_names.h"

namespace quib {

namespace {

using Clock = std::chrono::steady_clock;

// The role of a packet sent, for role=: the account echo goes ahead of the
// reply of the connection it is on.
PacketRole RoleOfSent(const ConnectionRecord& connection, const PacketDescription* packet) {
  if (packet != nullptr && packet->Kind != PacketKind::kEcho) return packet->Role;
  return connection.State == kStateMap ? PacketRole::kMap : PacketRole::kCharacter;
}

}  // namespace

const char* Form1::FaultComment(const PacketDescription* packet, std::uint32_t fault) {
  const char* name = SentComment(packet);
  std::string comment = name != nullptr ? name : "";
  for (const Fault& set : Faults.All()) {
    if (set.Number == fault) {
      comment += (comment.empty() ? "" : "; ") + std::string("Fault ") + std::to_string(fault) +
                 " (" + set.Spec.Text + ")";
    }
  }
  // The capture keeps the text as long as a queue may name it: for good.
  return FaultComments.insert(std::move(comment)).first->c_str();
}

void Form1::SendWithFaults(ConnectionRecord& connection, std::span<const std::uint8_t> bytes,
                           const PacketDescription* packet) {
  FaultPlan plan =
      Faults.Plan(bytes, packet, connection.Conversation, RoleOfSent(connection, packet));
  const std::uint16_t id =
      bytes.size() < 2 ? 0 : static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
  for (std::size_t i = 0; i < plan.Told.size(); ++i) {
    Emit({.Kind = EventKind::kFault,
          .Connection = &connection,
          .Text = plan.Told[i],
          .Id = id,
          .Fault = plan.FiredBy[i]});
  }
  const char* comment =
      plan.FiredBy.empty() ? SentComment(packet) : FaultComment(packet, plan.FiredBy.back());
  // Behind a write that waits, every later one of the connection waits too.
  Clock::time_point due = Now();
  for (const HeldWrite& write : Held) {
    if (write.Conversation == connection.Conversation) due = std::max(due, write.Due);
  }
  due += std::chrono::milliseconds(plan.DelayMs);
  const auto hold = [&](HeldWrite write) {
    write.Conversation = connection.Conversation;
    write.StalledBy = plan.StalledBy;
    Held.push_back(std::move(write));
  };
  if (!plan.Drop) {
    const std::size_t size = plan.Bytes.size();
    const std::size_t slice = plan.Slice > 0 ? static_cast<std::size_t>(plan.Slice) : size;
    for (int copy = 0; copy < plan.Copies; ++copy) {
      for (std::size_t at = 0; at < size || (size == 0 && at == 0);
           at += std::max(slice, std::size_t{1})) {
        HeldWrite write;
        write.Due = due;
        write.Bytes.assign(
            plan.Bytes.begin() + static_cast<std::ptrdiff_t>(at),
            plan.Bytes.begin() + static_cast<std::ptrdiff_t>(std::min(size, at + slice)));
        if (at == 0) {
          write.Whole = plan.Bytes;
          write.Packet = packet;
          write.Comment = comment;
          write.Injected = Injecting;
        }
        hold(std::move(write));
        due += std::chrono::milliseconds(plan.GapMs);
        if (size == 0) break;
      }
    }
  }
  if (plan.Close || plan.Reset) {
    HeldWrite end;
    end.Due = due;
    end.End = plan.Reset ? HeldWrite::kReset : HeldWrite::kClose;
    hold(std::move(end));
  }
  RunDueWrites();
}

void Form1::RunDueWrites() {
  const Clock::time_point now = Now();
  std::vector<std::uint64_t> waiting;  // connections with a write not yet due
  for (std::size_t i = 0; i < Held.size();) {
    HeldWrite& write = Held[i];
    if (std::find(waiting.begin(), waiting.end(), write.Conversation) != waiting.end() ||
        write.StalledBy != 0 || write.Due > now) {
      waiting.push_back(write.Conversation);
      ++i;
      continue;
    }
    HeldWrite taken = std::move(write);
    Held.erase(Held.begin() + static_cast<std::ptrdiff_t>(i));
    const auto found = std::find_if(
        ConnectionTable.begin(), ConnectionTable.end(), [&](const ConnectionRecord& c) {
          return c.Conversation == taken.Conversation && IsSocketOpen(c.Socket);
        });
    if (found == ConnectionTable.end()) continue;
    ConnectionRecord& connection = *found;
    if (taken.End == HeldWrite::kClose) {
      CloseNow(connection);
    } else if (taken.End == HeldWrite::kReset) {
      // What the socket holds goes first; the reset ends the rest.
      FlushUnsent(connection);
      EndConnection(connection, CloseKind::kServerReset);
    } else if (!taken.Bytes.empty()) {
      const bool injecting = std::exchange(Injecting, taken.Injected);
      SendNow(connection, taken.Bytes.data(), static_cast<std::int32_t>(taken.Bytes.size()),
              taken.Packet, taken.Whole, taken.Comment);
      Injecting = injecting;
    }
  }
}

std::chrono::steady_clock::time_point Form1::NextWriteDue() const {
  Clock::time_point next = Clock::time_point::max();
  std::vector<std::uint64_t> seen;
  for (const HeldWrite& write : Held) {
    // Only the first write of each connection can be due next.
    if (std::find(seen.begin(), seen.end(), write.Conversation) != seen.end()) continue;
    seen.push_back(write.Conversation);
    if (write.StalledBy == 0) next = std::min(next, write.Due);
  }
  return next;
}

void Form1::ForgetHeldWrites(const ConnectionRecord& connection) {
  std::erase_if(
      Held, [&](const HeldWrite& write) { return write.Conversation == connection.Conversation; });
}

bool Form1::AddFault(const std::string& text, std::string& error) {
  const CommandScope command(*this, "fault");
  FaultSpec spec;
  if (!ParseFaultSpec(text, spec, error)) return false;
  const std::uint32_t number = Faults.Add(std::move(spec));
  Tell("Fault " + std::to_string(number) + " set: " + text);
  return true;
}

void Form1::ClearFault(std::uint32_t number) {
  const CommandScope command(*this, "fault");
  if (!Faults.Clear(number)) {
    Tell(number == 0 ? "No fault is set" : "No fault " + std::to_string(number));
    return;
  }
  // What a cleared stall held goes now, in order.
  for (HeldWrite& write : Held) {
    if (write.StalledBy != 0 && (number == 0 || write.StalledBy == number)) write.StalledBy = 0;
  }
  Tell(number == 0 ? "Faults cleared" : "Fault " + std::to_string(number) + " cleared");
  RunDueWrites();
}

}  // namespace quib
