// SPDX-License-Identifier: GPL-3.0-or-later
// vyx scan: which speed, parity and slave address is the device on? Tries each
// line setting and each slave address with one short read and lists every device
// that answers with a good CRC, a reply or an exception reply.
#include <signal.h>

#include <csignal>
#include <unistd.h>

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
#include "base/Text.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

volatile sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }

// The parity entries of the connection panel, by their short names.
struct TParity {
    const char* key;
    const char* suffix;
    const char* entry;
};
constexpr TParity kParities[] = {
    {"e", ",e,8,1", "even parity"},
    {"o", ",o,8,1", "odd parity"},
    {"n2", ",n,8,2", "no parity: 2 STOP"},
    {"n1", ",n,8,1", "no parity: 1 STOP"},
};
const std::vector<long> kDefaultBauds = {9600, 19200, 38400, 57600, 115200};

// What a try costs at most when nobody answers: the wait for a first byte, and
// the request's line time (8 bytes of at most 11 bits).
constexpr double kRequestBits = 8 * 11;

double EstimateSeconds(const std::vector<long>& bauds, size_t parities, size_t slaves, uint16_t firstByteWaitMs) {
    const double wait = firstByteWaitMs / 1000.0;
    double seconds = 0;
    for (const long baud : bauds)
        seconds += static_cast<double>(parities * slaves) * (wait + kRequestBits / static_cast<double>(baud));
    return seconds;
}

std::string Duration(double seconds) {
    const long s = std::lround(seconds);
    char buf[32];
    if (s >= 60)
        std::snprintf(buf, sizeof buf, "%ld min %ld s", s / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld s", s);
    return buf;
}

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

std::vector<const TParity*> ParseParities(const std::string& text) {
    std::vector<const TParity*> parities;
    for (const std::string& item : Split(text)) {
        const TParity* found = nullptr;
        for (const TParity& p : kParities)
            if (item == p.key) found = &p;
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
    const double full = EstimateSeconds(kDefaultBauds, std::size(kParities), 247, kReplyWaitDefaultMs);
    return "Usage: vyx scan --port NAME [--bauds LIST] [--parities LIST] [--slaves RANGE]\n"
           "                [--file F.dat NAME | --address N [--type K] [--length L]]\n"
           "                [--wait MS] [--echo] [--gap MS] [--hex]\n"
           "Tries each line setting and each slave address with one short read and lists\n"
           "every device that answers with a good CRC (a reply or an exception reply) as\n"
           "its line, slave address and answer. Ctrl-C ends it and lists what was found.\n"
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
           "  --hex             also print the request and reply frames\n" +
           std::string(kReplyOptions) +
           "\nDuration: an address where nobody answers costs the wait for a first byte\n"
           "(40 ms unless --wait) and the request's line time (8 bytes: 9 ms at 9600 baud,\n"
           "under 1 ms at 115200). The full default scan, 5 speeds x 4 settings x 247\n"
           "addresses = 4940 tries, takes about " +
           Duration(full) +
           "; each answer adds its reply's line time.\n"
           "Exit status: 0 a device found, 3 none found, 130 interrupted, 1 failure.\n";
}

struct TFound {
    std::string mode, entry, answer;
    int slave;
};

void PrintFound(const TFound& f) {
    std::printf("%-14s %-18s slave %-4d %s\n", f.mode.c_str(), f.entry.c_str(), f.slave, f.answer.c_str());
    std::fflush(stdout);
}

void ShowProgress(size_t done, size_t total, size_t found, double secondsLeft) {
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(kWidth * done / total) : kWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu tries, %zu found, %s left\033[K", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), done, total, found, Duration(secondsLeft).c_str());
}

// On a network port there is one line to try: the one the device server has.
constexpr TParity kServerLine = {"", "", ""};

int Scan(const cli::Options& o) {
    if (!o.Has("--port")) throw std::invalid_argument("--port is required");
    const std::string port = o.Get("--port", "");
    const net::TPortKind kind = net::PortKindOf(port);
    const bool network = kind != net::TPortKind::Serial;
    if (network && (o.Has("--bauds") || o.Has("--parities")))
        throw std::invalid_argument("--bauds and --parities mean nothing on the network port " + port +
                                    ": its device server sets the line");
    const std::vector<long> bauds = network ? std::vector<long>{0}
                                    : o.Has("--bauds") ? ParseBauds(o.Get("--bauds", ""))
                                                       : kDefaultBauds;
    const std::vector<const TParity*> parities =
        network ? std::vector<const TParity*>{&kServerLine} : ParseParities(o.Get("--parities", "e,o,n2,n1"));
    const char* entry = kind == net::TPortKind::ModbusTcp ? "Modbus TCP" : "RTU over TCP";
    const std::vector<int> slaves = ParseSlaves(o.Get("--slaves", "1-247"));
    const uint16_t wait = ReplyWait(o);
    const TLineOptions line = LineOptions(o);

    TRegisterTree tree;
    TNode* node = nullptr;
    if (o.Has("--file")) {
        if (o.Positional().size() != 1) throw std::invalid_argument("--file needs the register's name after the file");
        LoadRegisterFile(tree, PathFromUtf8(o.Get("--file", "")));
        node = tree.FindRegisterByName(FromUtf8(o.Positional()[0]));
        if (!node) throw Error("no register named \"" + o.Positional()[0] + "\" in " + o.Get("--file", ""));
    } else {
        if (!o.Positional().empty()) throw std::invalid_argument("unexpected argument " + o.Positional()[0]);
        node = tree.AddChild(nullptr);
        node->Record.Address = FromUtf8(o.Get("--address", "40001"));
        node->Record.DataType = FromUtf8(o.Get("--type", "WORD"));
        node->Record.Length = FromUtf8(o.Get("--length", "1"));
        node->Record.Access = u"RO";
    }

    TConsoleSession c;
    c.View.Hex = o.Has("--hex");
    c.View.Results = false;
    TSession& s = c.Session;
    const size_t total = bauds.size() * parities.size() * slaves.size();
    const double estimate = network ? static_cast<double>(slaves.size()) * wait / 1000.0
                                    : EstimateSeconds(bauds, parities.size(), slaves.size(), wait);
    std::fprintf(stderr, "vyx scan: %zu tries on %s, about %s\n", total, PortPathOf(port).c_str(),
                 Duration(estimate).c_str());

    CatchInterrupt(OnInterrupt);

    const bool terminal = isatty(2);
    const auto start = std::chrono::steady_clock::now();
    auto lastShown = start - std::chrono::seconds(1);
    std::vector<TFound> found;
    size_t done = 0, garbled = 0, stray = 0, echoes = 0;
    for (const long baud : bauds) {
        for (const TParity* parity : parities) {
            if (gInterrupted) break;
            const std::string mode = network ? port : std::to_string(baud) + parity->suffix;
            try {
                s.Open(port, TLineSettings{network ? "" : mode, wait, line});
            } catch (const Error& e) {
                std::fprintf(stderr, "%s%s: skipped\n", terminal ? "\r\033[K" : "", e.what());
                done += slaves.size();
                continue;
            }
            for (const int slave : slaves) {
                if (gInterrupted) break;
                const auto now = std::chrono::steady_clock::now();
                if (terminal && now - lastShown >= std::chrono::milliseconds(200)) {
                    const double spent = std::chrono::duration<double>(now - start).count();
                    const double left = done ? spent / static_cast<double>(done) * static_cast<double>(total - done)
                                             : estimate;
                    ShowProgress(done, total, found.size(), left);
                    lastShown = now;
                }
                s.Slave = TSlave(static_cast<uint8_t>(slave));
                const TRegisterRead r = ReadWords(s, *node);
                ++done;
                // Only a reply that answers the try counts: a late answer to an
                // earlier try is a mismatch, not this address's.
                if (!r.Answered()) {
                    garbled += r.Outcome == TOutcome::CrcError || r.Outcome == TOutcome::Damaged;
                    stray += r.Outcome == TOutcome::Mismatch;
                    echoes += r.Outcome == TOutcome::Echo;
                    continue;
                }
                TFound f{mode, network ? entry : parity->entry, r.Ok ? "reply " + ToUtf8(r.Value) : r.Error, slave};
                if (terminal) std::fprintf(stderr, "\r\033[K");
                PrintFound(f);
                found.push_back(std::move(f));
            }
        }
    }
    if (terminal) std::fprintf(stderr, "\r\033[K");
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr,
                 "vyx scan: %s%zu of %zu tries in %s, %zu found, %zu replies with a bad CRC, %zu from "
                 "another address\n",
                 gInterrupted ? "interrupted after " : "", done, total, Duration(spent).c_str(), found.size(), garbled,
                 stray);
    // An echoing adapter answers every try with the request itself.
    if (echoes > 0)
        std::fprintf(stderr, "vyx scan: the line echoes the requests (%zu %s): use --echo\n", echoes,
                     echoes == 1 ? "try" : "tries");
    if (gInterrupted) {
        // Each was printed as it was found; here they are together.
        for (const TFound& f : found)
            std::fprintf(stderr, "found: %s %s slave %d\n", f.mode.c_str(), f.entry.c_str(), f.slave);
        return 130;
    }
    return found.empty() ? kExitNotClean : kExitOk;
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
        std::set<std::string> flags = {"--hex"};
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
