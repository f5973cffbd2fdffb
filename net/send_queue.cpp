#include "net/send_queue.h"

namespace quib {

void SendQueue::Push(const std::uint8_t* bytes, std::size_t count, bool started,
                     const char* comment) {
  if (count == 0) return;
  if (Empty()) {
    Clear();
    headStarted_ = started;
  }
  bytes_.insert(bytes_.end(), bytes, bytes + count);
  packets_.push_back({static_cast<std::uint32_t>(count), comment});
}

std::size_t SendQueue::FrontLength() const { return Empty() ? 0 : packets_[firstPacket_].Length; }

const char* SendQueue::FrontComment() const {
  return Empty() || headStarted_ ? nullptr : packets_[firstPacket_].Comment;
}

void SendQueue::Drop(std::size_t count) {
  if (count >= Size()) {
    Clear();
    return;
  }
  head_ += static_cast<std::uint32_t>(count);
  while (count > 0) {
    std::uint32_t& first = packets_[firstPacket_].Length;
    if (count < first) {
      first -= static_cast<std::uint32_t>(count);
      headStarted_ = true;
      break;
    }
    count -= first;
    ++firstPacket_;
    headStarted_ = false;
  }
  // Keep the front from growing without end while the queue never drains.
  if (head_ >= bytes_.size() / 2) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
    packets_.erase(packets_.begin(), packets_.begin() + static_cast<std::ptrdiff_t>(firstPacket_));
    firstPacket_ = 0;
  }
}

void SendQueue::KeepStartedPacket() {
  if (Empty() || !headStarted_) {
    Clear();
    return;
  }
  bytes_.resize(head_ + packets_[firstPacket_].Length);
  packets_.resize(firstPacket_ + 1);
}

void SendQueue::Clear() {
  // Capacity is given back: a queue that emptied holds nothing.
  std::vector<std::uint8_t>().swap(bytes_);
  std::vector<Packet>().swap(packets_);
  head_ = 0;
  firstPacket_ = 0;
  headStarted_ = false;
}

}  // namespace quib
