#include "app/log_text.h"

#include "app/log_detail.h"
#include "app/main_window.h"

namespace quib {

std::string LogText(const ListBox& log) {
  std::string text;
  for (const std::string& line : log.Items()) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string UnknownPacketText(const Form1& form, std::size_t row) {
  if (row >= form.List1.Items().size()) return {};
  const std::string& line = form.List1.Items()[row];
  if (WithoutDetail(line).rfind("Unknown Packet (", 0) != 0) return {};
  const auto* packet = form.Unknown.Find(form.List1.FirstNumber() + row);
  if (packet == nullptr) {
    return line + "\n\nThe bytes of this packet are no longer held: only those of the last " +
           std::to_string(UnknownPackets::kKept) + " unknown packets are kept.";
  }
  return DescribeUnknownPacket(*packet);
}

}  // namespace quib
