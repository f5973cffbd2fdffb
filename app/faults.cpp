#include "app/faults.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace quib {

namespace {

struct KindRow {
  FaultKind Kind;
  const char* Name;
  bool TakesAmount;
  std::int32_t Least, Most;  // the amount's range
};
constexpr KindRow kKinds[] = {
    {FaultKind::kSlice, "slice", true, 1, 2048},
    {FaultKind::kDelay, "delay", true, 0, 600000},
    {FaultKind::kStall, "stall", false, 0, 0},
    {FaultKind::kDrop, "drop", false, 0, 0},
    {FaultKind::kDuplicate, "duplicate", false, 0, 0},
    {FaultKind::kTruncate, "truncate", true, 0, 2047},
    {FaultKind::kCorrupt, "corrupt", true, 1, 2048},
    {FaultKind::kClose, "close", false, 0, 0},
    {FaultKind::kReset, "reset", false, 0, 0},
};
constexpr const char* kRoles[] = {"login", "character", "map"};
constexpr std::int32_t kMostMs = 60000;

template <typename Number>
bool ReadNumber(std::string_view text, Number& value, int base = 10) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool ReadBounded(std::string_view text, std::int32_t least, std::int32_t most,
                 std::int32_t& value) {
  return ReadNumber(text, value) && value >= least && value <= most;
}

// One "name=value" filter (or close's and reset's "drop"); false when it is
// none of them or its value is out of bounds.
bool TakeFilter(std::string_view part, FaultSpec& spec, std::string& error) {
  const bool ends = spec.Kind == FaultKind::kClose || spec.Kind == FaultKind::kReset;
  if (part == "drop" && ends) {
    spec.Instead = true;
    return true;
  }
  const std::size_t equals = part.find('=');
  const std::string_view name = part.substr(0, equals);
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : part.substr(equals + 1);
  bool good = equals != std::string_view::npos;
  if (!good) {
  } else if (name == "reply") {
    good =
        value.starts_with("0x") && value.size() <= 6 && ReadNumber(value.substr(2), spec.Reply, 16);
    spec.AnyReply = !good;
  } else if (name == "conn") {
    good = ReadNumber(value, spec.Conn) && spec.Conn > 0;
  } else if (name == "role") {
    const auto* role = std::find(std::begin(kRoles), std::end(kRoles), value);
    good = role != std::end(kRoles);
    spec.Role = static_cast<int>(role - std::begin(kRoles));
  } else if (name == "after") {
    good = ReadNumber(value, spec.After);
  } else if (name == "count") {
    good = ReadNumber(value, spec.Count) && spec.Count > 0;
  } else if (name == "every") {
    good = ReadNumber(value, spec.Every) && spec.Every > 0;
  } else if (name == "p") {
    char* end = nullptr;
    const std::string text(value);
    spec.P = std::strtod(text.c_str(), &end);
    good = !text.empty() && end == text.c_str() + text.size() && spec.P >= 0 && spec.P <= 1;
  } else if (name == "gap" && spec.Kind == FaultKind::kSlice) {
    good = ReadBounded(value, 0, kMostMs, spec.GapMs);
  } else if (name == "jitter" && spec.Kind == FaultKind::kDelay) {
    good = ReadBounded(value, 0, kMostMs, spec.JitterMs);
  } else {
    good = false;
  }
  if (!good) {
    error.assign(1, '"').append(part).append("\" is no filter of ");
    error += kKinds[static_cast<int>(spec.Kind)].Name;
  }
  return good;
}

// "0x0073", or the row's name for a packet without an id of its own.
std::string PacketName(std::span<const std::uint8_t> bytes, const PacketDescription* packet) {
  if (packet != nullptr && packet->Kind != PacketKind::kPacket) return packet->Name;
  char id[8];
  std::snprintf(id, sizeof id, "0x%04X", bytes.size() < 2 ? 0 : bytes[0] | bytes[1] << 8);
  return id;
}

}  // namespace

bool ParseFaultSpec(std::string_view text, FaultSpec& spec, std::string& error) {
  spec = FaultSpec{};
  spec.Text = std::string(text);
  std::size_t comma = text.find(',');
  const std::string_view head = text.substr(0, comma);
  const std::size_t colon = head.find(':');
  const std::string_view name = head.substr(0, colon);
  const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                  [&](const KindRow& row) { return name == row.Name; });
  if (kind == std::end(kKinds)) {
    error =
        "a fault is slice:N, delay:MS, stall, drop, duplicate, truncate:N, corrupt:N, close "
        "or reset, then filters, not \"" +
        std::string(text) + "\"";
    return false;
  }
  spec.Kind = kind->Kind;
  if (kind->TakesAmount != (colon != std::string_view::npos) ||
      (kind->TakesAmount &&
       !ReadBounded(head.substr(colon + 1), kind->Least, kind->Most, spec.Amount))) {
    error = kind->TakesAmount
                ? std::string(kind->Name) + " takes :N from " + std::to_string(kind->Least) +
                      " to " + std::to_string(kind->Most)
                : std::string(kind->Name) + " takes no :N";
    return false;
  }
  while (comma != std::string_view::npos) {
    text.remove_prefix(comma + 1);
    comma = text.find(',');
    if (!TakeFilter(text.substr(0, comma), spec, error)) return false;
  }
  return true;
}

std::uint32_t FaultSet::Add(FaultSpec spec) {
  faults_.push_back({.Number = next_, .Spec = std::move(spec)});
  return next_++;
}

bool FaultSet::Clear(std::uint32_t number) {
  if (number == 0) {
    const bool any = !faults_.empty();
    faults_.clear();
    return any;
  }
  return std::erase_if(faults_, [&](const Fault& fault) { return fault.Number == number; }) > 0;
}

void FaultSet::Seed(std::uint64_t seed) {
  seed_ = seed;
  random_.seed(seed);
}

FaultPlan FaultSet::Plan(std::span<const std::uint8_t> bytes, const PacketDescription* packet,
                         std::uint64_t conn, PacketRole role) {
  FaultPlan plan;
  plan.Bytes.assign(bytes.begin(), bytes.end());
  const std::uint16_t id =
      bytes.size() < 2 ? 0 : static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
  const bool hasId = packet == nullptr || packet->Kind == PacketKind::kPacket;
  const std::string name = PacketName(bytes, packet);
  for (Fault& fault : faults_) {
    const FaultSpec& spec = fault.Spec;
    if ((!spec.AnyReply && (!hasId || spec.Reply != id)) || (spec.Conn != 0 && spec.Conn != conn) ||
        (spec.Role >= 0 && spec.Role != static_cast<int>(role))) {
      continue;
    }
    ++fault.Matched;
    if (fault.Matched <= spec.After || (fault.Matched - spec.After - 1) % spec.Every != 0 ||
        (spec.Count != 0 && fault.Fired >= spec.Count) ||
        (spec.P < 1 && std::uniform_real_distribution<double>(0, 1)(random_) >= spec.P)) {
      continue;
    }
    ++fault.Fired;
    std::string what;
    switch (spec.Kind) {
      case FaultKind::kSlice:
        plan.Slice = spec.Amount;
        plan.GapMs = spec.GapMs;
        what = "sent in writes of " + std::to_string(spec.Amount) + " bytes";
        if (spec.GapMs > 0) what += ", " + std::to_string(spec.GapMs) + " ms apart";
        break;
      case FaultKind::kDelay: {
        const std::int32_t jitter = spec.JitterMs > 0 ? std::uniform_int_distribution<std::int32_t>(
                                                            0, spec.JitterMs)(random_)
                                                      : 0;
        plan.DelayMs += spec.Amount + jitter;
        what = "delayed " + std::to_string(spec.Amount + jitter) + " ms";
        break;
      }
      case FaultKind::kStall:
        plan.StalledBy = fault.Number;
        what = "stalled until the fault is cleared";
        break;
      case FaultKind::kDrop:
        plan.Drop = true;
        what = "dropped";
        break;
      case FaultKind::kDuplicate:
        plan.Copies = 2;
        what = "sent twice";
        break;
      case FaultKind::kTruncate: {
        const auto keep =
            std::min<std::size_t>(static_cast<std::size_t>(spec.Amount), plan.Bytes.size());
        what = "cut to " + std::to_string(keep) + " of " + std::to_string(plan.Bytes.size()) +
               " bytes";
        plan.Bytes.resize(keep);
        break;
      }
      case FaultKind::kCorrupt: {
        std::string at;
        for (std::int32_t i = 0; i < spec.Amount && !plan.Bytes.empty(); ++i) {
          const std::size_t where =
              std::uniform_int_distribution<std::size_t>(0, plan.Bytes.size() - 1)(random_);
          // Never the same byte again: each change changes it.
          plan.Bytes[where] ^=
              static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(random_));
          at += (at.empty() ? "" : ", ") + std::to_string(where);
        }
        what = "corrupted at byte " + (at.empty() ? std::string("none") : at);
        break;
      }
      case FaultKind::kClose:
      case FaultKind::kReset: {
        const bool reset = spec.Kind == FaultKind::kReset;
        (reset ? plan.Reset : plan.Close) = true;
        plan.Drop = plan.Drop || spec.Instead;
        what = std::string(spec.Instead ? "dropped, and instead " : "sent, then ") +
               "the connection " + (reset ? "reset" : "closed");
        break;
      }
    }
    std::string& told = plan.Told.emplace_back("Fault ");
    told.append(std::to_string(fault.Number)).append(": ").append(name).append(1, ' ');
    told += what;
    plan.FiredBy.push_back(fault.Number);
  }
  return plan;
}

std::string DescribeFaults(const FaultSet& faults) {
  std::string text;
  for (const Fault& fault : faults.All()) {
    text += "  " + std::to_string(fault.Number) + "  " + fault.Spec.Text + "  fired " +
            std::to_string(fault.Fired) + " of " + std::to_string(fault.Matched) + " matched\n";
  }
  return text.empty() ? "no fault is set\n" : text;
}

}  // namespace quib
