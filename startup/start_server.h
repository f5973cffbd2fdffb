// Start-up in its order, and what standard error says once the server runs.
#pragma once

#include <cstdio>
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

// The ready file's one JSON object: where the server listens (the real port,
// also when the system picked it), its process and its version.
std::string ReadyFileText(const Form1& form);
// Removes the ready file --ready-file names, if any: the server has ended.
void RemoveReadyFile(const ProgramOptions& options);

// Why the listen failed and what to do, for the line below "Unable to listen
// on ADDRESS:PORT". `systemText` is the system's own words
// (ListenFailureText), shown for a failure other than a port in use or an
// address not this machine's.
std::string ListenFailureReason(const ProgramOptions& options, SocketError error,
                                const std::string& systemText);

// The line said once the server listens, with the real port.
std::string ListeningMessage(const Form1& form);

// Said on standard error when the server listens beyond this machine; empty
// for a loopback address.
std::string ExposureWarning(const Form1& form);

// --check-db: reads the packet database start-up would read and writes to
// `out` each mistake of the file as it is read, the summary, the warnings
// start-up gives and a last line on which versions can reach the map. Returns
// the exit status: 0 when clients of every version the file lists can reach
// the map (VersionsThatCannotReachTheMap), 1 when some cannot or the file
// cannot be loaded, which `err` then says as start-up would.
int CheckPacketDatabase(const ProgramOptions& options, std::FILE* out, std::FILE* err);

// Tells that the server has started, as events that standard error says a
// line each: the listening line (kListening), beyond loopback the warning,
// then what the packet database holds (kNotice) and any warning about it
// (kWarning).
void TellStarted(Form1& form);

// The events that standard error says in either mode, as they come, each
// its Text and a line feed: the listening line, notices and warnings. (The
// console says what commands did as well; the windows show that.)
inline constexpr EventKinds kSaidOnStandardError =
    KindsOf({EventKind::kListening, EventKind::kNotice, EventKind::kWarning});

}  // namespace quib
