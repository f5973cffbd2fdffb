// Start-up in its order, and what standard error says once the server runs.
#pragma once

#include <string>

namespace quib {

class Form1;
struct ProgramOptions;

// Initialisation (the packet database at the given path, or the first of
// DefaultPacketDatabasePaths that exists), then load (listening on the given
// address and port, at the given cadence), then the capture if one was asked
// for. On failure `error` holds the text to show: "Unable to load
// Packet_db.txt" with the reason on a second line, "Unable to listen on
// ADDRESS:PORT", or why the capture file cannot be created.
bool StartServer(Form1& form, const ProgramOptions& options, std::string& error);

// ADDRESS:PORT of the listening socket.
std::string ListeningAddress(const Form1& form);

// The line said once the server listens, with the real port.
std::string ListeningMessage(const Form1& form);

// Said on standard error when the server listens beyond this machine; empty
// for a loopback address.
std::string ExposureWarning(const Form1& form);

// What standard error says once the server has started: the listening line,
// beyond loopback the warning, then what the packet database holds and any
// warning about it; each line ends in a line feed.
std::string StartedText(const Form1& form);

}  // namespace quib
