#include "app/status_text.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

#include "app/main_window.h"
#include "net/ipv4_text.h"
#include "protocol/map_commands.h"

namespace quib {

namespace {

constexpr std::string_view kCaptureLabel = "Capture: ";
// Stands for what was cut off the start of a file name: "…", in UTF-8 as
// the windows read the capture's path.
constexpr std::string_view kCut = "\xE2\x80\xA6";

// When the bar is too narrow, the section of each step in turn goes one
// form shorter: the listening address, which the window's tooltip gives too,
// goes first and at the end goes altogether.
constexpr std::array kShortenSteps{StatusPart::kListening, StatusPart::kConnections,
                                   StatusPart::kCapture, StatusPart::kWarp, StatusPart::kListening};

std::string CountText(std::int32_t count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// The file's name without its folders, on either system.
std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// `text` as the capture's label and as much of its end as `fits` takes: the
// shortest cut that fits, whole characters off the start of the name.
std::string CutCapture(const std::string& text,
                       const std::function<bool(const std::string&)>& fits) {
  const std::string_view name = std::string_view(text).substr(kCaptureLabel.size());
  std::vector<std::size_t> starts;  // where each UTF-8 character of the name starts
  for (std::size_t i = 1; i <= name.size(); ++i) {
    if (i == name.size() || (static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) {
      starts.push_back(i);
    }
  }
  const auto cut = [&](std::size_t from) {
    return std::string(kCaptureLabel) + std::string(kCut) + std::string(name.substr(from));
  };
  // The cut texts narrow as more is cut: the first that fits is the answer.
  const auto first = std::partition_point(starts.begin(), starts.end(),
                                          [&](std::size_t from) { return !fits(cut(from)); });
  return cut(first == starts.end() ? name.size() : *first);
}

}  // namespace

std::string ListeningAddress(const Form1& form) {
  return FormatEndpoint(EndpointOf(form.LoginServer.Address));
}

ConnectionCounts CountConnections(const Form1& form) {
  ConnectionCounts counts;
  for (const ConnectionRecord& connection : form.ConnectionTable) {
    if (!IsSocketOpen(connection.Socket)) continue;
    ++counts.Open;
    if (connection.State == kStateMap) ++counts.InMap;
  }
  return counts;
}

std::vector<StatusSection> StatusSections(const Form1& form) {
  const ConnectionCounts counts = CountConnections(form);
  const std::string address = ListeningAddress(form);
  const std::string target = TargetText(WarpTargetOf(form));
  const std::string inMap = std::to_string(counts.InMap);
  std::vector<StatusSection> sections{
      {StatusPart::kListening, {"Listening on " + address, address, ""}},
      {StatusPart::kConnections,
       {CountText(counts.Open, " connection, ", " connections, ") + inMap + " in the map",
        std::to_string(counts.Open) + " conn., " + inMap + " in map"}},
      {StatusPart::kWarp, {"Warp to " + target, target}},
  };
  if (form.ReloadPending()) sections.push_back({StatusPart::kReload, {"reload pending"}});
  if (const std::size_t faults = form.Faults.All().size(); faults > 0) {
    const std::string count = std::to_string(faults);
    sections.push_back({StatusPart::kFaults,
                        {count + (faults == 1 ? " fault set" : " faults set"),
                         count + (faults == 1 ? " fault" : " faults")}});
  }
  if (form.Capture.IsOpen()) {
    const std::string& path = form.Capture.Path();
    StatusSection capture{StatusPart::kCapture, {std::string(kCaptureLabel) + path}};
    if (FileName(path) != path) {
      capture.Forms.push_back(std::string(kCaptureLabel) + std::string(FileName(path)));
    }
    sections.push_back(std::move(capture));
  }
  return sections;
}

std::string StatusText(const std::vector<StatusSection>& sections) {
  std::string text;
  for (const StatusSection& section : sections) {
    if (!text.empty()) text += " | ";
    text += section.Forms.front();
  }
  return text;
}

std::string StatusText(const Form1& form) { return StatusText(StatusSections(form)); }

std::vector<std::string> FitStatus(const std::vector<StatusSection>& sections, int width,
                                   const std::function<int(const std::string&)>& measure) {
  std::vector<std::string> texts;
  std::vector<int> widths;
  for (const StatusSection& section : sections) {
    texts.push_back(section.Forms.front());
    widths.push_back(measure(texts.back()));
  }
  const auto total = [&widths] { return std::accumulate(widths.begin(), widths.end(), 0); };
  std::vector<std::size_t> forms(sections.size(), 0);  // the form each shows
  for (const StatusPart part : kShortenSteps) {
    for (std::size_t i = 0; i < sections.size() && total() > width; ++i) {
      if (sections[i].Part != part || forms[i] + 1 >= sections[i].Forms.size()) continue;
      texts[i] = sections[i].Forms[++forms[i]];
      widths[i] = texts[i].empty() ? 0 : measure(texts[i]);
    }
  }
  for (std::size_t i = 0; i < sections.size() && total() > width; ++i) {
    if (sections[i].Part != StatusPart::kCapture) continue;
    const int others = total() - widths[i];
    texts[i] = CutCapture(texts[i],
                          [&](const std::string& text) { return others + measure(text) <= width; });
    widths[i] = measure(texts[i]);
  }
  return texts;
}

}  // namespace quib
