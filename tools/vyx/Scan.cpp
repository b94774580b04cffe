// SPDX-License-Identifier: GPL-3.0-or-later
// vyx scan: which units are on the line, at which speed, parity and slave
// address, and which is which? Runs the line scan the window's "Szukaj
// urządzeń…" runs (service/LineScan.h) and prints one line per unit found.
#include <signal.h>

#include <csignal>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "net/Address.h"
#include "port/AnyPort.h"
#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/DeviceFolders.h"
#include "base/Text.h"
#include "service/LineScan.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

// Set by Ctrl-C; lock-free, so a signal handler may set it.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);
void OnInterrupt(int) { gInterrupted = true; }

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

long Number(const std::string& text, long min, long max, const char* option) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < min || v > max)
        throw std::invalid_argument(std::string(option) + ": '" + text + "' is not a number from " +
                                    std::to_string(min) + " to " + std::to_string(max));
    return v;
}

std::vector<long> ParseBauds(const std::string& text) {
    std::vector<long> bauds;
    for (const std::string& item : Split(text)) bauds.push_back(Number(item, 1, 4000000, "--bauds"));
    return bauds;
}

std::vector<const TScanParity*> ParseParities(const std::string& text) {
    std::vector<const TScanParity*> parities;
    for (const std::string& item : Split(text)) {
        const TScanParity* found = FindScanParity(item);
        if (!found) throw std::invalid_argument("--parities: '" + item + "' is none of e, o, n2, n1");
        parities.push_back(found);
    }
    return parities;
}

// "1-247", "5", "1,5,10-20".
std::vector<int> ParseSlaves(const std::string& text) {
    std::vector<int> slaves;
    for (const std::string& item : Split(text)) {
        const size_t dash = item.find('-');
        const long first = Number(item.substr(0, dash), 1, 247, "--slaves");
        const long last = dash == std::string::npos ? first : Number(item.substr(dash + 1), 1, 247, "--slaves");
        if (last < first) throw std::invalid_argument("--slaves: '" + item + "' runs backwards");
        for (long a = first; a <= last; ++a) slaves.push_back(static_cast<int>(a));
    }
    return slaves;
}

std::string Usage() {
    TScanPlan full;
    std::vector<const TScanParity*> all;
    for (const TScanParity& p : ScanParities()) all.push_back(&p);
    full.Modes = ScanModes(ScanBauds(), all);
    for (int a = 1; a <= 247; ++a) full.Slaves.push_back(a);
    return "Usage: vyx scan --port NAME [--bauds LIST] [--parities LIST] [--slaves RANGE]\n"
           "                [--file F.dat NAME | --address N [--type K] [--length L]]\n"
           "                [--no-ident] [--wait MS] [--echo] [--gap MS] [--hex]\n"
           "Tries each line setting and each slave address with one short read and lists\n"
           "every unit that answers with a good CRC (a reply or an exception reply), one\n"
           "line each: its line setting, its slave address and what identifies it, e.g.\n"
           "  19200,e,8,1  slave 5  VXP-10  nr 2211  VXP-10.dat\n"
           "A unit is identified by its answers to functions 43/14 and 17 and by the\n"
           "register \"Typ urządzenia\" of each device file in the device folders: the\n"
           "file whose stored type the unit returns is proposed, and its serial number\n"
           "(\"Numer fabryczny\") read through it; \"?\" when nothing identifies it.\n"
           "Ctrl-C ends it and lists what was found.\n"
           "On a network port (tcp://HOST[:PORT], mbtcp://HOST[:PORT]) only the slave\n"
           "addresses (Modbus TCP: unit ids) are tried: the device server sets the line,\n"
           "and --bauds and --parities are refused.\n\n"
           "Options:\n"
           "  --bauds LIST      speeds (default 9600,19200,38400,57600,115200)\n"
           "  --parities LIST   among e (even parity), o (odd parity), n2 (no parity: 2 STOP),\n"
           "                    n1 (no parity: 1 STOP) (default e,o,n2,n1)\n"
           "  --slaves RANGE    addresses, e.g. 1-247 or 1,5,10-20 (default 1-247)\n"
           "  --file F.dat NAME read this register of a device file, or\n"
           "  --address N --type KEYWORD --length L   this register\n"
           "                    (default: register 40001, one register, WORD)\n"
           "  --no-ident        list the units found without identifying them\n"
           "  --hex             also print the request and reply frames\n" +
           std::string(kReplyOptions) +
           "\nDuration: an address where nobody answers costs the wait for a first byte\n"
           "(40 ms unless --wait) and the request's line time (8 bytes: 9 ms at 9600 baud,\n"
           "under 1 ms at 115200). The full default scan, 5 speeds x 4 settings x 247\n"
           "addresses = " + std::to_string(ScanTries(full)) + " tries, takes about " + DurationText(ScanSeconds(full)) +
           "; each unit found adds\nits identification (about 20 exchanges).\n"
           "Exit status: 0 a unit found, 3 none found, 130 interrupted, 1 failure.\n";
}

// What the scan tells, on the terminal: each unit as it is found on standard
// output, a progress bar on a terminal's standard error.
class TConsoleScan final : public TScanEvents {
public:
    // `line`: what names the line of a unit on a network port, which has no mode.
    TConsoleScan(bool hex, double estimate, std::string line)
        : hex_(hex), estimate_(estimate), line_(std::move(line)) {}

    void Progress(size_t done, size_t total) override {
        if (!terminal_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        const double spent = std::chrono::duration<double>(now - start_).count();
        const double left = done ? spent / static_cast<double>(done) * static_cast<double>(total - done) : estimate_;
        constexpr int kWidth = 30;
        const int filled = total ? static_cast<int>(kWidth * done / total) : kWidth;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu tries, %zu found, %s left\033[K", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, ' ').c_str(), done, total, Units.size(),
                     DurationText(left).c_str());
    }
    void Found(const TScanFound& unit) override {
        ClearProgress();
        std::printf("%s  slave %d  %s\n", (unit.Mode.empty() ? line_ : unit.Mode).c_str(), unit.Slave, unit.Identity.Summary().c_str());
        std::fflush(stdout);
        Units.push_back(unit);
    }
    void Skipped(const std::string& mode, const TOpened& opened) override {
        ClearProgress();
        const std::string path = PortPathOf(line_);
        const std::string what = mode.empty() ? "cannot connect to " + path : "cannot open " + path + " with " + mode;
        const std::string why = opened.TimeoutsRefused ? "the time-outs were refused" : OpenFaultText(opened.Fault, opened.Error);
        std::fprintf(stderr, "%s: %s: skipped\n", what.c_str(), why.c_str());
    }
    void Exchanged(const TExchangeResult& r) override {
        if (!hex_) return;
        ClearProgress();
        for (const std::u16string& line : r.Lines) std::printf("%s\n", ToUtf8(line).c_str());
    }
    void ClearProgress() const {
        if (terminal_) std::fprintf(stderr, "\r\033[K");
    }

    std::vector<TScanFound> Units;

private:
    bool hex_;
    double estimate_;
    std::string line_;
    bool terminal_ = isatty(2) != 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastShown_ = start_ - std::chrono::seconds(1);
};

int Scan(const cli::Options& o) {
    if (!o.Has("--port")) throw std::invalid_argument("--port is required");
    TScanPlan plan;
    plan.Port = o.Get("--port", "");
    const bool network = net::PortKindOf(plan.Port) != net::TPortKind::Serial;
    if (network && (o.Has("--bauds") || o.Has("--parities")))
        throw std::invalid_argument("--bauds and --parities mean nothing on the network port " + plan.Port +
                                    ": its device server sets the line");
    plan.Modes = ScanModes(o.Has("--bauds") ? ParseBauds(o.Get("--bauds", "")) : ScanBauds(),
                           ParseParities(o.Get("--parities", "e,o,n2,n1")));
    plan.Slaves = ParseSlaves(o.Get("--slaves", "1-247"));
    plan.ReplyWaitMs = ReplyWait(o);
    plan.Line = LineOptions(o);
    plan.Identify = !o.Has("--no-ident");

    if (o.Has("--file")) {
        if (o.Positional().size() != 1) throw std::invalid_argument("--file needs the register's name after the file");
        TRegisterTree tree;
        LoadRegisterFile(tree, PathFromUtf8(o.Get("--file", "")));
        const TNode* node = tree.FindRegisterByName(FromUtf8(o.Positional()[0]));
        if (!node) throw Error("no register named \"" + o.Positional()[0] + "\" in " + o.Get("--file", ""));
        plan.Probe = node->Record;
    } else {
        if (!o.Positional().empty()) throw std::invalid_argument("unexpected argument " + o.Positional()[0]);
        plan.Probe.Address = FromUtf8(o.Get("--address", "40001"));
        plan.Probe.DataType = FromUtf8(o.Get("--type", "WORD"));
        plan.Probe.Length = FromUtf8(o.Get("--length", "1"));
    }
    if (plan.Identify) plan.Identities = IdentityProbes(DeviceFolders(ProgramFolder()));

    const double estimate = ScanSeconds(plan);
    std::fprintf(stderr, "vyx scan: %zu tries on %s, about %s\n", ScanTries(plan), PortPathOf(plan.Port).c_str(),
                 DurationText(estimate).c_str());
    CatchInterrupt(OnInterrupt);

    TConsoleSession c;
    TConsoleScan shown(o.Has("--hex"), estimate, plan.Port);
    TScanSummary s;
    c.Session.Bus->Call([&](TPort&, TWire& wire) { s = ScanLine(c.Session.Port, wire, plan, shown, gInterrupted); });
    shown.ClearProgress();
    std::fprintf(stderr,
                 "vyx scan: %s%zu of %zu tries in %s, %zu found, %zu replies with a bad CRC, %zu from "
                 "another address\n",
                 s.Cancelled ? "interrupted after " : "", s.Done, s.Total, DurationText(s.Seconds).c_str(), s.Found,
                 s.Garbled, s.Stray);
    if (!s.Ended.empty()) std::fprintf(stderr, "vyx scan: ended early: %s\n", s.Ended.c_str());
    // An echoing adapter answers every try with the request itself.
    if (s.Echoes > 0)
        std::fprintf(stderr, "vyx scan: the line echoes the requests (%zu %s): use --echo\n", s.Echoes,
                     s.Echoes == 1 ? "try" : "tries");
    if (s.Cancelled) {
        // Each was printed as it was found; here they are together.
        for (const TScanFound& f : shown.Units)
            std::fprintf(stderr, "found: %s slave %d %s\n", f.Mode.c_str(), f.Slave, f.Identity.Summary().c_str());
        return 130;
    }
    if (!s.Ended.empty()) return kExitFailure;
    return s.Found == 0 ? kExitNotClean : kExitOk;
}

}  // namespace

int RunScan(int argc, char** argv) {
    const std::string usage = Usage();
    if (WantsHelp(argc, argv)) {
        std::fputs(usage.c_str(), stdout);
        return kExitOk;
    }
    try {
        std::set<std::string> valued = {"--port", "--bauds",   "--parities", "--slaves",
                                        "--file", "--address", "--type",     "--length"};
        std::set<std::string> flags = {"--hex", "--no-ident"};
        AddLineOptions(valued, flags);
        const cli::Options o(argc, argv, valued, flags);
        return Scan(o);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx scan: %s\n\n%s", e.what(), usage.c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyx scan: %s\n", e.what());
        return kExitFailure;
    }
}
