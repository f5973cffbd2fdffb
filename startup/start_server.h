// Start-up in its order, and what standard error says once the server runs.
#pragma once

#include <string>

#include "net/socket_layer.h"
#include "protocol/connection_events.h"

namespace quib {

class Form1;
struct ProgramOptions;

// Initialisation (the packet database at the given path, or the first of
// DefaultPacketDatabasePaths that exists), then load (listening on the given
// address and port, at the given cadence), then the capture if one was asked
// for. On failure `error` holds the text to show: "Unable to load
// Packet_db.txt" (or the file given) or "Unable to listen on ADDRESS:PORT",
// each with the reason and what to do on the lines below, or why the capture
// file cannot be created.
bool StartServer(Form1& form, const ProgramOptions& options, std::string& error);

// Why the listen failed and what to do, for the line below "Unable to listen
// on ADDRESS:PORT".
std::string ListenFailureReason(const ProgramOptions& options, SocketError error);

// The line said once the server listens, with the real port.
std::string ListeningMessage(const Form1& form);

// Said on standard error when the server listens beyond this machine; empty
// for a loopback address.
std::string ExposureWarning(const Form1& form);

// Tells that the server has started, as events that standard error says a
// line each: the listening line (kListening), beyond loopback the warning,
// then what the packet database holds (kNotice) and any warning about it
// (kWarning).
void TellStarted(Form1& form);

// The events that standard error says in either mode, as they come, each
// its Text and a line feed: the listening line, notices and warnings. (The
// console says what commands did as well; the windows show that.)
bool SaidOnStandardError(const ConnectionEvent& event);

}  // namespace quib
