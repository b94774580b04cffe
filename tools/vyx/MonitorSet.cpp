// SPDX-License-Identifier: GPL-3.0-or-later
// vyx monitor with several registers of one device: a round reads each once,
// one after another, every period; one line per round, or with --csv the set's
// CSV (a header naming each register, then a line per round). --stats and
// --stable judge each register on its own; --stable ends once every one has
// settled.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "base/Text.h"
#include "modbus/PaneLines.h"
#include "sequences/Sequences.h"
#include "sequences/Signals.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Master.h"

namespace vyx::master {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

void SleepUntil(Clock::time_point until) {
    while (!interrupted && Clock::now() < until)
        std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(10)));
}

// "R0: 1000  Prąd wyjściowy: 4,05": a failed reading as "?".
std::string RoundText(const std::vector<TSignal>& set, const TRound& round) {
    std::string line = ToUtf8(TimeOfDay());
    for (size_t k = 0; k < set.size(); ++k) {
        const TSignalReading& got = round.Readings[k];
        // The value as the tree shows it.
        const std::u16string value = got.Reading.Good ? got.Text : u"?";
        line += "  " + ToUtf8(SignalShortName(set, k)) + ": " + ToUtf8(value);
    }
    return line;
}

}  // namespace

int MonitorSet(TSession& s, const cli::Options& o, long period, long count, bool csv, long n,
               const std::optional<TTolerance>& tolerance) {
    if (!o.Has("--file")) throw std::invalid_argument("several registers need --file");
    const bool statsLines = o.Has("--stats");
    std::vector<TSignal> set;
    for (const std::string& name : o.Positional()) {
        const TNode* node = s.tree.FindRegisterByName(FromUtf8(name));
        if (!node) throw Error("no register named \"" + name + "\" in " + o.Get("--file", ""));
        if (AccessCodeOf(node) <= 0) throw Error("\"" + name + "\" is not a register");
        const int type = GetTypeCode(node->Record.DataType);
        if ((statsLines || tolerance) && !ReadingValue(type, u"0"))
            throw Error("\"" + name + "\" does not hold a number: --stats and --stable need one");
        set.push_back({s.Session.Slave.Address(), PathToUtf8(PathFromUtf8(o.Get("--file", "")).filename()),
                       node->Record});
    }
    CatchInterrupt(OnInterrupt);
    std::FILE* const side = csv ? stderr : stdout;
    std::vector<TStability> stability(set.size(), TStability(static_cast<size_t>(n), tolerance));
    const auto stableAll = [&] {
        for (const TStability& st : stability)
            if (!st.Stable()) return false;
        return true;
    };
    if (csv) {
        std::printf("%s\n", RoundCsvHeader(set).c_str());
    } else {
        std::string heading;
        for (const TSignal& signal : set) heading += (heading.empty() ? "" : "  ") + ToUtf8(SignalLabel(signal));
        std::printf("\n%s\n", heading.c_str());
    }
    std::optional<TOutcome> failed;
    const auto start = Clock::now();
    long rounds = 0;
    bool settled = false;
    const TLineOptions line = s.Session.Transaction.Line();
    while (!settled && s.Session.Port.IsOpened() && !interrupted && (count == 0 || rounds < count)) {
        if (rounds > 0) {
            const auto due = start + std::chrono::milliseconds(period * rounds);
            // A round longer than the period: the next one follows at once.
            SleepUntil(due);
            if (interrupted) break;
        }
        TRound round;
        s.Session.Bus->Call([&](TPort& port, TWire& wire) { round = ReadRound(port, wire, line, set); });
        ++rounds;
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        for (size_t k = 0; k < set.size(); ++k) {
            const TSignalReading& got = round.Readings[k];
            if (got.Reading.Number)
                stability[k].Good(*got.Reading.Number, t);
            else
                stability[k].Failed();
            if (got.Reading.Good) continue;
            failed = got.Outcome;
            std::fprintf(stderr, "vyx monitor: %s: %s\n", ToUtf8(SignalShortName(set, k)).c_str(),
                         got.ReasonEn.c_str());
        }
        std::printf("%s\n", csv ? RoundCsvLine(set, round).c_str() : RoundText(set, round).c_str());
        std::fflush(stdout);
        if (statsLines && rounds % n == 0)
            for (size_t k = 0; k < set.size(); ++k)
                if (const TReadingStats st = stability[k].Stats(); st.Count > 0)
                    std::fprintf(side, "%s: %s\n", ToUtf8(SignalShortName(set, k)).c_str(),
                                 ToUtf8(StatsLine(st, GetTypeCode(set[k].Record.DataType))).c_str());
        settled = tolerance && stableAll();
        std::fflush(side);
    }
    if (tolerance) {
        std::string unstable;
        for (size_t k = 0; k < set.size(); ++k) {
            const std::string name = ToUtf8(SignalShortName(set, k));
            if (stability[k].Run() == stability[k].N())
                std::fprintf(side, "%s: %s\n", name.c_str(),
                             ToUtf8(VerdictLine(stability[k].Stats(), *tolerance,
                                                GetTypeCode(set[k].Record.DataType)))
                                 .c_str());
            if (!stability[k].Stable()) unstable += (unstable.empty() ? "" : ", ") + name;
        }
        if (!unstable.empty()) std::fprintf(stderr, "vyx monitor: not stable: %s\n", unstable.c_str());
        if (settled) return kExitOk;
        return failed ? ExitStatus(*failed) : kExitUnstable;
    }
    return failed ? ExitStatus(*failed) : kExitOk;
}

}  // namespace vyx::master
