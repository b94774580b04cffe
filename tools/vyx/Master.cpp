// SPDX-License-Identifier: GPL-3.0-or-later
// vyx read, vyx write, vyx reset: the bus master on the command line, through the
// same transaction as the window. The result line is printed as the result pane
// would show it; --hex adds the "< " and "> " lines of the communication pane.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "modbus/Frame.h"
#include "registers/RegData.h"
#include "modbus/Transaction.h"
#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "serial/Serial.h"
#include "service/Session.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Durations.h"
#include "tools/vyx/Master.h"
#include "tools/vyx/Options.h"

namespace vyx::master {

namespace {

const std::string kCommonOptions = std::string(
#ifdef _WIN32
    "  --port NAME       serial port: COM3, or a device path (required)\n"
#else
    "  --port PATH       serial port: a path, or a name under /dev (required)\n"
#endif
    "                    or a serial device server: tcp://HOST[:PORT] (RTU over TCP,\n"
    "                    port 4001), mbtcp://HOST[:PORT] (Modbus TCP, port 502)\n"
    "  --mode TEXT       line settings (default 19200,e,8,1; none on a network port)\n"
    "  --slave N         slave address (default 247)\n"
    "  --file F.dat NAME the register NAME of a register description file, or\n"
    "  --address N --type KEYWORD --length L   a register not in a file\n"
    "  --hex             also print the request and reply frames\n") +
    tool::kReplyOptions +
    "Exit status: 0 good reply, 2 CRC error, 3 exception reply, 4 time-out,\n"
    "6 a reply that does not answer the request (another unit's or request's, an\n"
    "echo without --echo, a collision with --echo), 1 any other error.\n";

}  // namespace

void ReportOutcome(const vyx::TTransaction& t) {
    if (const std::string text = vyx::service::FailureText(t); !text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
}

namespace {

// Why a record cannot be read or written as a register, or empty.
std::string NotARegister(const vyx::TNode& node) {
    const std::string name = vyx::ToUtf8(node.Record.Name);
    if (node.Record.DataType == u"BIT") {
        const std::string parent = node.Parent() ? vyx::ToUtf8(node.Parent()->Record.Name) : std::string();
        return "\"" + name + "\" is a bit child of \"" + parent + "\", not a register: read or write \"" +
               parent + "\"";
    }
    if (vyx::GetAccessCode(node.Record.Access) == vyx::kAccessGroup)
        return "\"" + name + "\" is a group, not a register: name one of its registers";
    return {};
}

}  // namespace

int ExitStatus(TOutcome o) {
    switch (o) {
        case TOutcome::Good: return kExitOk;
        case TOutcome::CrcError:
        case TOutcome::Damaged: return kExitCrcError;
        case TOutcome::Exception: return kExitException;
        case TOutcome::Timeout: return kExitTimeout;
        case TOutcome::Mismatch:
        case TOutcome::Echo:
        case TOutcome::Collision: return kExitMismatch;
        case TOutcome::None:
        case TOutcome::PortClosed: break;
    }
    return kExitFailure;
}

namespace {

// Opens the port and finds the register; throws vyx::Error with the reason.
void Open(TSession& s, const vyx::cli::Options& o, bool needRegister) {
    s.Session.Slave = vyx::TSlave::Parse(vyx::FromUtf8(o.Get("--slave", "247")));
    if (needRegister) {
        if (o.Has("--file")) {
            if (o.Positional().empty()) throw vyx::Error("--file needs the register's name after the file");
            vyx::LoadRegisterFile(s.tree, vyx::PathFromUtf8(o.Get("--file", "")));
            const std::string name = o.Positional()[0];
            s.node = s.tree.FindRegisterByName(vyx::FromUtf8(name));
            if (!s.node) throw vyx::Error("no register named \"" + name + "\" in " + o.Get("--file", ""));
        } else if (o.Has("--address")) {
            const std::string type = o.Get("--type", "WORD");
            if (vyx::GetTypeCode(type) == vyx::kTypeNone)
                throw vyx::Error("unknown --type " + type + ": one of WORD, INT, REAL, TEXT, HEX, PREC, FLOAT, FINE");
            s.node = s.tree.AddChild(nullptr);
            s.node->Record.Address = vyx::FromUtf8(o.Get("--address", ""));
            s.node->Record.DataType = vyx::FromUtf8(o.Get("--type", "WORD"));
            s.node->Record.Length = vyx::FromUtf8(o.Get("--length", "1"));
            s.node->Record.Access = u"RW";
        } else {
            throw vyx::Error("name a register with --file F.dat NAME or --address N");
        }
    }
    tool::OpenPort(s.Session, o, "19200,e,8,1");
    s.View.Hex = o.Has("--hex");
}

}  // namespace

int Run(const char* command, int argc, char** argv, const char* usage, int (*body)(TSession&, const vyx::cli::Options&),
        bool needRegister, const std::set<std::string>& valued, const std::set<std::string>& flags) {
    if (WantsHelp(argc, argv)) {
        std::printf("%s%s", usage, kCommonOptions.c_str());
        return kExitOk;
    }
    try {
        std::set<std::string> allValued = {"--port", "--mode", "--slave", "--file", "--address", "--type", "--length"};
        std::set<std::string> allFlags = {"--hex"};
        tool::AddLineOptions(allValued, allFlags);
        allValued.insert(valued.begin(), valued.end());
        allFlags.insert(flags.begin(), flags.end());
        const vyx::cli::Options o(argc, argv, allValued, allFlags);
        TSession s;
        Open(s, o, needRegister);
        const int status = body(s, o);
        if (!s.Session.Port.IsOpened()) {
            // The serial unit closes a port whose device went away (unplugged, or
            // the simulator ended); say so rather than report time-outs.
            if (s.Session.Port.IsNetwork())
                std::fprintf(stderr, "vyx %s: the connection to %s was closed or reset\n", command,
                             s.Session.Opened.Path.c_str());
            else
                std::fprintf(stderr, "vyx %s: the port %s is gone: the device went away\n", command,
                             s.Session.Opened.Path.c_str());
            return kExitFailure;
        }
        return status;
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx %s: %s\n\n%s%s", command, e.what(), usage, kCommonOptions.c_str());
    } catch (const std::exception& e) {
        // vyx::Error carries the user's message; anything else is reported the same way.
        std::fprintf(stderr, "vyx %s: %s\n", command, e.what());
    }
    return kExitFailure;
}

}  // namespace vyx::master

namespace {

using namespace vyx::master;

// A read or write names one register (a walk may name a group).
void NeedRegister(const TSession& s) {
    if (const std::string why = NotARegister(*s.node); !why.empty()) throw vyx::Error(why);
}

int Read(TSession& s, const vyx::cli::Options& o) {
    NeedRegister(s);
    const long count = o.GetInt("--count", 1, 1, 100000000);
    long sent = 0, good = 0, crc = 0, exceptions = 0, timeouts = 0, mismatched = 0;
    vyx::cli::TDurations times;
    TOutcome worst = TOutcome::Good;
    // A port that went away ends the run: every further request would meet a closed port.
    for (long i = 0; i < count && s.Session.Port.IsOpened(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        s.Session.Transaction.ReadRegister(*s.node, s.Session.Slave);
        times.Add(std::chrono::steady_clock::now() - start);
        ++sent;
        const TOutcome o = s.Session.Transaction.Outcome();
        if (o != TOutcome::Good) worst = o;
        // A damaged Modbus TCP header counts where the line's CRC errors do.
        good += o == TOutcome::Good, crc += o == TOutcome::CrcError || o == TOutcome::Damaged;
        exceptions += o == TOutcome::Exception, timeouts += o == TOutcome::Timeout || o == TOutcome::PortClosed;
        mismatched += o == TOutcome::Mismatch || o == TOutcome::Echo || o == TOutcome::Collision;
        if (count == 1 && s.Session.Port.IsOpened()) ReportOutcome(s.Session.Transaction);
    }
    if (count > 1)
        std::fprintf(stderr,
                     "requests: %ld, good: %ld, CRC errors: %ld, exceptions: %ld, time-outs: %ld; "
                     "replies not matching the request: %ld; "
                     "per transaction: mean %.2f ms, median %.2f ms, 95th percentile %.2f ms, longest %.2f ms\n",
                     sent, good, crc, exceptions, timeouts, mismatched, times.MeanMs(), times.PercentileMs(50),
                     times.PercentileMs(95), times.LongestMs());
    return ExitStatus(worst);
}

int Write(TSession& s, const vyx::cli::Options& o) {
    NeedRegister(s);
    const size_t valueAt = o.Has("--file") ? 1 : 0;
    if (o.Positional().size() != valueAt + 1) throw vyx::Error("name the value to write");
    const std::string value = o.Positional()[valueAt];
    s.node->Record.Value = vyx::FromUtf8(value);
    bool sent = false;
    try {
        sent = s.Session.Transaction.WriteRegister(*s.node, s.Session.Slave);
    } catch (const vyx::Error& e) {
        // Real numbers are typed with the decimal comma, as the window shows them.
        const std::string what = e.what();
        if (what.find("floating point value") != std::string::npos && value.find('.') != std::string::npos)
            throw vyx::Error(what + "; a decimal comma is expected, e.g. 1,5");
        throw;
    }
    if (!sent) throw vyx::Error("the register is not writable (access " + vyx::ToUtf8(s.node->Record.Access) + ")");
    const TOutcome outcome = s.Session.Transaction.Outcome();
    ReportOutcome(s.Session.Transaction);
    return ExitStatus(outcome);
}

int Reset(TSession& s, const vyx::cli::Options&) {
    if (!s.Session.Transaction.ResetDevice(s.Session.Slave))
        throw vyx::Error("slave address 0 is the broadcast address: nothing sent");
    const TOutcome outcome = s.Session.Transaction.Outcome();
    ReportOutcome(s.Session.Transaction);
    return ExitStatus(outcome);
}

}  // namespace

int RunRead(int argc, char** argv) {
    return Run("read", argc, argv,
               "Usage: vyx read --port PATH (--file F.dat NAME | --address N [--type K] [--length L])\n"
               "                [--count N] [--hex]\n"
               "Reads a register; --count N reads it N times back to back and ends with a\n"
               "summary on standard error: the outcomes, and the mean, median, 95th percentile\n"
               "and longest time per transaction. A port that goes away ends the run.\n\nOptions:\n"
               "  --count N         number of reads (default 1)\n",
               Read, true, {"--count"});
}

int RunWrite(int argc, char** argv) {
    return Run("write", argc, argv,
               "Usage: vyx write --port PATH (--file F.dat NAME | --address N --type K --length L) VALUE\n"
               "Writes VALUE (decimal comma for real numbers) into an RW or RP register.\n\nOptions:\n",
               Write, true);
}

int RunReset(int argc, char** argv) {
    return Run("reset", argc, argv,
               "Usage: vyx reset --port PATH [--slave N] [--hex]\n"
               "Sends the restart diagnostic (function 8, sub-function 1, data FF00).\n\nOptions:\n",
               Reset, false);
}
