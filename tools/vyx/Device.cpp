// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/Device.h"

#include "base/Error.h"

namespace vyx::tool {

const char kReplyOptions[] =
    "  --wait MS         wait for the first byte of a reply, 10 to 10000 ms (default\n"
    "                    40, as the window)\n"
    "  --echo            the adapter returns each request before the reply (a two-wire\n"
    "                    RS-485 adapter without echo suppression): read it back first\n"
    "  --gap MS          keep the line quiet at least MS ms (0 to 1000, default 0)\n"
    "                    between a reply and the next request\n";

void AddLineOptions(std::set<std::string>& valued, std::set<std::string>& flags) {
    valued.insert({"--wait", "--gap"});
    flags.insert("--echo");
}

uint16_t ReplyWait(const cli::Options& o) {
    return static_cast<uint16_t>(o.GetInt("--wait", kReplyWaitDefaultMs, kReplyWaitMinMs, kReplyWaitMaxMs));
}

TLineOptions LineOptions(const cli::Options& o, const TLineOptions& fallback) {
    TLineOptions line = fallback;
    if (o.Has("--echo") && o.Has("--no-echo")) throw std::invalid_argument("give --echo or --no-echo, not both");
    if (o.Has("--echo")) line.Echo = true;
    if (o.Has("--no-echo")) line.Echo = false;
    line.GapMs = static_cast<uint16_t>(o.GetInt("--gap", line.GapMs, 0, kMaxGapMs));
    return line;
}

void OpenPort(service::TSession& session, const cli::Options& o, const std::string& mode, const TLineOptions& line) {
    const std::string port = o.Get("--port", "");
    if (port.empty()) throw Error("--port is required");
    // Bad values are refused before the port is touched.
    TLineSettings settings;
    settings.Mode = o.Get("--mode", mode);
    settings.ReplyWaitMs = ReplyWait(o);
    settings.Line = LineOptions(o, line);
    session.Open(port, settings);
}

}  // namespace vyx::tool
