// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every command that talks to a device shares: the service session on a
// console view, opened one way from --port, --mode and --wait, so that each
// command says the same of a port it cannot open.
#include <cstdint>
#include <string>

#include "service/Session.h"
#include "tools/vyx/ConsoleView.h"
#include "tools/vyx/Options.h"

namespace vyx::tool {

// A session on a terminal; the view comes first, as the session shows on it.
struct TConsoleSession {
    TConsoleView View;
    service::TSession Session{View};
};

// The --wait line of the --help of each of them.
extern const char kWaitOption[];

// --wait MS: the first-byte wait, 1 to 60000 ms (default the window's 40).
// Throws std::invalid_argument for anything else.
uint16_t FirstByteWait(const cli::Options& o);

// Opens the session on --port with --mode (else `mode`) and --wait. Throws
// vyx::Error with the reason ("--port is required", "cannot open PATH with
// MODE: no such device"), std::invalid_argument for a bad --wait.
void OpenPort(service::TSession& session, const cli::Options& o, const std::string& mode);

}  // namespace vyx::tool
