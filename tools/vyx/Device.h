// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every command that talks to a device shares: the service session on a
// console view, opened one way from --port, --mode, --wait, --echo and --gap, so
// that each command says the same of a port it cannot open or a value it refuses.
#include <cstdint>
#include <set>
#include <string>

#include "modbus/Transaction.h"
#include "service/Session.h"
#include "tools/vyx/ConsoleView.h"
#include "tools/vyx/Options.h"

namespace vyx::tool {

// A session on a terminal; the view comes first, as the session shows on it.
struct TConsoleSession {
    TConsoleView View;
    service::TSession Session{View};
};

// The --wait, --echo and --gap lines of the --help of each of them.
extern const char kReplyOptions[];

// Adds the options of the line that each of them takes beside its own:
// --wait MS and --gap MS to `valued`, --echo to `flags`.
void AddLineOptions(std::set<std::string>& valued, std::set<std::string>& flags);

// --wait MS: the wait for the first byte of a reply, kReplyWaitMinMs to
// kReplyWaitMaxMs (10 to 10000 ms, default 40, as the window's field).
// Throws std::invalid_argument for anything else.
uint16_t ReplyWait(const cli::Options& o);

// The line's echo and gap: `fallback` (a snapshot's, else none) with --echo,
// --no-echo (where a command takes it) and --gap MS (0 to kMaxGapMs) over it.
// Throws std::invalid_argument for a bad --gap.
TLineOptions LineOptions(const cli::Options& o, const TLineOptions& fallback = {});

// Opens the session on --port with the line of --mode (else `mode`), --wait,
// and LineOptions over `line`. Every value is checked before
// the port is touched. Throws vyx::Error with the reason ("--port is required",
// "cannot open PATH with MODE: no such device"), std::invalid_argument for a
// bad --wait or --gap.
void OpenPort(service::TSession& session, const cli::Options& o, const std::string& mode,
              const TLineOptions& line = {});

}  // namespace vyx::tool
