// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus master on the command line, shared by its subcommands: read, write and
// reset (Master.cpp), walk, monitor and calibrate (Sequenced.cpp). Each opens the
// port and finds its register in a session, runs the same transaction as the
// window through a console view, and ends with the exit status of the outcome.
#include <optional>
#include <set>
#include <string>

#include "modbus/Frame.h"
#include "modbus/Transaction.h"
#include "registers/RegisterTree.h"
#include "sequences/Readings.h"
#include "serial/Serial.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

namespace vyx::master {

// Exit statuses of the master commands, beside those of Commands.h.
inline constexpr int kExitCrcError = 2;
inline constexpr int kExitException = 3;
inline constexpr int kExitTimeout = 4;
// A reply that does not answer the request: another unit's or function's, of
// another length, an echo the line was not set for, or an echo that differs.
inline constexpr int kExitMismatch = 6;

using vyx::TOutcome;
// Says on standard error why the last transaction failed (FailureText); nothing
// after a good reply.
void ReportOutcome(const TTransaction& t);
int ExitStatus(TOutcome o);

// The device session of a master command, and the register it names.
struct TSession : tool::TConsoleSession {
    TRegisterTree tree;
    TNode* node = nullptr;
};

// Parses the options (the common ones and `valued`, `flags`), opens the session
// and runs `body`; prints the usage for --help and any error on standard error.
int Run(const char* command, int argc, char** argv, const char* usage, int (*body)(TSession&, const cli::Options&),
        bool needRegister, const std::set<std::string>& valued = {}, const std::set<std::string>& flags = {});

// vyx monitor with several registers of the --file named after it (MonitorSet.cpp):
// `count` rounds (0: until Ctrl-C), the statistics every `n` rounds with --stats.
int MonitorSet(TSession& s, const cli::Options& o, long period, long count, bool csv, long n,
               const std::optional<TTolerance>& tolerance);

}  // namespace vyx::master
