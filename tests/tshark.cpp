#include "tests/tshark.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace quib::test {

ToolRun Shell(const std::string& command) {
  const std::string errPath =
      ::testing::TempDir() + "quib_tool_stderr_" + std::to_string(::getpid());
  ToolRun run;
  std::FILE* pipe = ::popen((command + " 2>" + errPath).c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.out.append(chunk, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream errFile(errPath);
  for (std::string line; std::getline(errFile, line);) {
    if (line.rfind("Running as user", 0) != 0) run.err += line + "\n";
  }
  std::remove(errPath.c_str());
  return run;
}

Tshark::Tshark(std::string file, int serverPort) : file_(std::move(file)), port_(serverPort) {
  tool_ = Shell("command -v tshark").out;
  if (!tool_.empty()) tool_.pop_back();  // the line feed
}

ToolRun Tshark::Run(const std::string& args) const {
  return Shell(tool_ + " -d tcp.port==" + std::to_string(port_) + ",data -r " + file_ + " " + args);
}

std::string Tshark::Faults() const {
  const ToolRun run =
      Run("-o tcp.check_checksum:TRUE -o ip.check_checksum:TRUE -Y '!(tcp.checksum.status == 1 && "
          "ip.checksum.status == 1) || tcp.analysis.flags || _ws.malformed || "
          "tcp.analysis.bytes_in_flight > 65535'");
  return (run.status != 0 ? "exit status " + std::to_string(run.status) + "\n" : "") + run.out +
         run.err;
}

std::set<std::string> Tshark::Conversations() const {
  std::set<std::string> conversations;
  std::istringstream lines(Run("-q -z conv,tcp").out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string a, arrow, b;
    if (words >> a >> arrow >> b && arrow == "<->") conversations.insert(a + " " + b);
  }
  return conversations;
}

namespace {

// Hex digits, with or without separators between the bytes.
Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::string digits;
  for (const char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c)) != 0) digits += c;
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

Tshark::Stream Tshark::Follow(int index) const {
  // Raw lines: the client's bytes as hex, the server's behind a tab.
  std::istringstream follow(Run("-q -z follow,tcp,raw," + std::to_string(index)).out);
  std::string toServer, toClient;
  for (std::string line; std::getline(follow, line);) {
    if (line.empty() || line.find_first_not_of("0123456789abcdef\t") != std::string::npos) continue;
    (line[0] == '\t' ? toClient : toServer) += line.substr(line[0] == '\t' ? 1 : 0);
  }
  return {FromHex(toServer), FromHex(toClient)};
}

std::string Tshark::Comments() const {
  return Run("-Y 'frame.comment && tcp.dstport == " + std::to_string(port_) +
             "' -T fields -e frame.comment")
      .out;
}

std::string Tshark::ServerComments() const {
  return Run("-Y 'frame.comment && tcp.srcport == " + std::to_string(port_) +
             "' -T fields -e frame.comment")
      .out;
}

bool LiveCapture::Start(int port, const std::string& file) {
  said_ = file + ".said";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, said_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> args = {
      "dumpcap", "-q", "-i", "lo", "-f", "tcp port " + std::to_string(port), "-w", file};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int result = ::posix_spawnp(&pid_, "dumpcap", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    return false;
  }
  // It names its file once it captures.
  for (int i = 0; i < 100 && Said().find("File:") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return Said().find("File:") != std::string::npos;
}

std::string LiveCapture::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGINT);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  const std::string said = Said();
  if (!said_.empty()) std::remove(said_.c_str());
  said_.clear();
  return said;
}

std::string LiveCapture::Said() const {
  std::ifstream in(said_);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<Tshark::Frame> Tshark::ClientFrames() const {
  std::vector<Frame> frames;
  std::istringstream lines(Run("-Y 'tcp.dstport == " + std::to_string(port_) +
                               " && tcp.len > 0' -T fields -e tcp.srcport -e data.data "
                               "-e frame.comment")
                               .out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string port, data, comment;
    std::getline(fields, port, '\t');
    std::getline(fields, data, '\t');
    std::getline(fields, comment);
    if (port.empty()) continue;
    frames.push_back({std::stoi(port), FromHex(data), comment});
  }
  return frames;
}

}  // namespace quib::test
