#include "app/log_text.h"

#include <algorithm>
#include <vector>

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

std::string LineBytesText(const Form1& form, std::size_t row) {
  const LineKind kind = static_cast<LineKind>(form.List1.Kind(row));
  if (kind != kUnknownPacketLine && kind != kPacketLine) return {};
  const bool unknown = kind == kUnknownPacketLine;
  const std::string& line = form.List1.Items()[row];
  const auto* packet =
      (unknown ? form.Unknown : form.PacketLineBytes).Find(form.List1.FirstNumber() + row);
  if (packet == nullptr) {
    return line + "\n\nThe bytes of this packet are no longer held: only those of the last " +
           std::to_string(UnknownPackets::kKept) +
           (unknown ? " unknown packets are kept." : " packet lines are kept.");
  }
  return unknown ? DescribeUnknownPacket(*packet) : DescribeUnknownPacket(*packet, "bytes");
}

std::string NewestBytesText(const Form1& form, std::size_t count) {
  std::vector<std::string> newestFirst;
  std::size_t unknown = 0;
  std::size_t lines = 0;
  while (newestFirst.size() < count) {
    const bool haveUnknown = unknown < form.Unknown.Count();
    const bool haveLine = lines < form.PacketLineBytes.Count();
    if (!haveUnknown && !haveLine) break;
    if (haveUnknown && (!haveLine || form.Unknown.Newest(unknown).Line >
                                         form.PacketLineBytes.Newest(lines).Line)) {
      newestFirst.push_back(DescribeUnknownPacket(form.Unknown.Newest(unknown++)));
    } else {
      newestFirst.push_back(DescribeUnknownPacket(form.PacketLineBytes.Newest(lines++), "bytes"));
    }
  }
  if (newestFirst.empty()) {
    return form.LogPackets.Checked() ? "no packet is held\n" : "no unknown packet is held\n";
  }
  std::string text;
  for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) text += *it;
  return text;
}

FormRect BytesDialogPlace(const FormRect& window, const FormRect& log, int width, int height,
                          const FormRect& work, int down) {
  const int workRight = work.Left + work.Width;
  int left = workRight - width;
  for (const int beside : {window.Left + window.Width, window.Left - width, log.Left - width}) {
    if (beside >= work.Left && beside + width <= workRight) {
      left = beside;
      break;
    }
  }
  const int top = std::min(window.Top + down, work.Top + work.Height - height);
  return {std::max(left, work.Left), std::max(top, work.Top), width, height};
}

}  // namespace quib
