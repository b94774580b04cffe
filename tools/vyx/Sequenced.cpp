// SPDX-License-Identifier: GPL-3.0-or-later
// vyx walk, vyx monitor, vyx calibrate: the window's sequences for scripts, run
// by the same sequence unit as the window. They print what the result pane would
// show; Ctrl-C ends a monitoring or calibration run after the reading in
// progress, with the lines printed so far.
#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "registers/RegData.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "sequences/Readings.h"
#include "sequences/Sequences.h"
#include "service/CalibrationRecord.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Master.h"

namespace {

using namespace vyx::master;
using Clock = std::chrono::steady_clock;

static_assert(kExitUnstable != kExitOk && kExitUnstable != kExitFailure && kExitUnstable != kExitUsage &&
                  kExitUnstable != kExitNotClean && kExitUnstable != kExitCrcError &&
                  kExitUnstable != kExitException && kExitUnstable != kExitTimeout &&
                  kExitUnstable != kExitMismatch,
              "an unsettled monitoring run has a status of its own");

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// Sleeps until `until`, or less once interrupted.
void SleepUntil(Clock::time_point until) {
    while (!interrupted && Clock::now() < until)
        std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(10)));
}

// The sequences' window on a terminal, with the outcome of every completed step.
class TConsoleSequences : public vyx::TSequenceView {
public:
    explicit TConsoleSequences(TSession& s) : s_(s), sequences(s.Session.Transaction, s.View, *this) {
        sequences.UseTree(&s.tree);
        s.View.NextStep = [this] {
            last = s_.Session.Transaction.Outcome();
            if (last != TOutcome::Good) failed = last;
            ++completed;
            if (interrupted) sequences.Stop();
            sequences.OnNextStep();
        };
    }

    void ActivityChanged(vyx::TActivity) override {}
    void MonitoringStarted(int) override { s_.View.Monitor = true; }
    void MonitoringStopped() override { s_.View.Monitor = false; }
    void ShowMean(std::u16string_view text) override { mean = text; }
    bool Pause(int ms) override {
        SleepUntil(Clock::now() + std::chrono::milliseconds(ms));
        if (interrupted) sequences.Stop();
        return true;
    }
    void Reading(vyx::TActivity activity, const vyx::TNode& node, const vyx::TReading& reading) override {
        if (activity == vyx::TActivity::Monitoring && onMonitorReading) onMonitorReading(node, reading);
    }
    // With a tolerance, the line on whether the calibration's readings spread
    // within it.
    std::optional<std::u16string> CalibrationVerdict(const std::vector<vyx::TReading>& readings) override {
        if (!tolerance) return std::nullopt;
        std::vector<double> values;
        for (const vyx::TReading& r : readings)
            if (r.Number) values.push_back(*r.Number);
        return vyx::VerdictLine(vyx::StatsOf(values), *tolerance, typeCode);
    }
    void CalibrationRecorded(const vyx::service::TCalibrationRun& r, bool) override { run = r; }

    // The status of the run: a message (the port closed) fails it, else the last
    // failed reading, else good.
    int Status() const {
        if (s_.View.Messages > 0) return kExitFailure;
        return failed ? ExitStatus(*failed) : kExitOk;
    }

    TOutcome last = TOutcome::Good;
    std::optional<TOutcome> failed;
    uint64_t completed = 0;
    std::u16string mean;
    std::optional<vyx::TTolerance> tolerance;
    int typeCode = 0;
    std::optional<vyx::service::TCalibrationRun> run;  // the run recorded last
    // Each completed monitoring reading, good or failed, as it comes.
    std::function<void(const vyx::TNode&, const vyx::TReading&)> onMonitorReading;

private:
    TSession& s_;

public:
    vyx::TSequences sequences;
};

int Walk(TSession& s, const vyx::cli::Options&) {
    TConsoleSequences c(s);
    c.sequences.StartRead(s.node, s.Session.Slave);
    if (s.Session.Transaction.RequestsSent() == 0 && s.View.Messages == 0)
        throw vyx::Error("\"" + vyx::ToUtf8(s.node->Record.Name) + "\" has no register to read");
    if (c.failed) ReportOutcome(s.Session.Transaction);
    return c.Status();
}

// The good readings in a row that --stable needs without --stats.
constexpr long kDefaultStableReadings = 20;

// The tolerance of --stable, none without it.
std::optional<vyx::TTolerance> StableOption(const vyx::cli::Options& o) {
    if (!o.Has("--stable")) return std::nullopt;
    std::optional<vyx::TTolerance> tolerance;
    try {
        tolerance = vyx::ParseTolerance(vyx::FromUtf8(o.Get("--stable", "")));
    } catch (const vyx::Error& e) {
        throw std::invalid_argument(std::string("--stable: ") + e.what());
    }
    if (!tolerance) throw std::invalid_argument("--stable needs a tolerance, e.g. 0,5 or 2%");
    return tolerance;
}

int Monitor(TSession& s, const vyx::cli::Options& o) {
    const long period = o.GetInt("--period", 2000, vyx::kMinimumPeriodMs, 86400000);
    const long count = o.GetInt("--count", 0, 0, 1000000000);
    const bool csv = o.Has("--csv");
    const bool statsLines = o.Has("--stats");
    const long n = o.GetInt("--stats", kDefaultStableReadings, 2, 1000000);
    const std::optional<vyx::TTolerance> tolerance = StableOption(o);
    if (o.Positional().size() > 1) return MonitorSet(s, o, period, count, csv, n, tolerance);
    if (vyx::AccessCodeOf(s.node) <= 0)
        throw vyx::Error("\"" + vyx::ToUtf8(s.node->Record.Name) + "\" is not a register");
    const int type = vyx::GetTypeCode(s.node->Record.DataType);
    if ((statsLines || tolerance) && !vyx::ReadingValue(type, u"0"))
        throw vyx::Error("\"" + vyx::ToUtf8(s.node->Record.Name) + "\" does not hold a number: --stats and --stable need one");
    CatchInterrupt(OnInterrupt);
    TConsoleSequences c(s);
    s.View.Results = !csv;
    // The statistics and the verdict go beside the readings, or to standard error
    // when standard output carries nothing but CSV lines.
    std::FILE* const side = csv ? stderr : stdout;
    vyx::TStability stability(static_cast<size_t>(n), tolerance);
    const auto start = Clock::now();
    long sinceStats = 0;
    bool settled = false;
    c.onMonitorReading = [&](const vyx::TNode& node, const vyx::TReading& reading) {
        const auto now = std::chrono::system_clock::now();
        const bool good = reading.Good;
        const std::optional<double> value = reading.Number;
        if (value)
            stability.Good(*value, std::chrono::duration<double>(Clock::now() - start).count());
        else
            stability.Failed();  // so is a good reply that holds no number
        if (csv) {
            const vyx::TTransaction& t = s.Session.Transaction;
            const std::string reason = good ? "" : t.Reason(vyx::TLanguage::Polish);
            // A number goes with every decimal it has; a text register's value as it reads.
            const std::u16string shown =
                value ? vyx::FormatReading(type, *value) : good ? vyx::CsvText(node.Record.Value) : u"";
            std::printf("%s\n", vyx::CsvLine(now, shown, reason).c_str());
        }
        if (statsLines && ++sinceStats == n) {
            sinceStats = 0;
            if (const vyx::TReadingStats st = stability.Stats(); st.Count > 0)
                std::fprintf(side, "%s\n", vyx::ToUtf8(vyx::StatsLine(st, type)).c_str());
        }
        if (tolerance && stability.Stable()) {
            settled = true;
            std::fprintf(side, "%s\n", vyx::ToUtf8(vyx::VerdictLine(stability.Stats(), *tolerance, type)).c_str());
        }
        std::fflush(side);
    };
    long readings = 0;
    const auto reading = [&](auto&& read) {
        const uint64_t before = c.completed;
        read();
        ++readings;
        if (c.completed == before) return;
        if (c.last != TOutcome::Good) ReportOutcome(s.Session.Transaction);
        std::fflush(stdout);
    };
    reading([&] { c.sequences.StartMonitoring(s.node, static_cast<int32_t>(period), s.Session.Slave); });
    // A port whose device went away has been closed: monitoring ends there.
    for (long k = 1; !settled && c.sequences.Monitoring() && s.Session.Port.IsOpened() && !interrupted &&
                     (count == 0 || readings < count);
         ++k) {
        const auto due = start + std::chrono::milliseconds(period * k);
        if (Clock::now() > due) continue;  // a tick that fell due while reading is skipped
        SleepUntil(due);
        if (!interrupted) reading([&] { c.sequences.MonitorTick(); });
    }
    if (!tolerance || settled) return c.Status();
    // The run ended before the readings settled: by --count, Ctrl-C or a port gone.
    if (stability.Run() == stability.N())
        std::fprintf(side, "%s\n", vyx::ToUtf8(vyx::VerdictLine(stability.Stats(), *tolerance, type)).c_str());
    else
        std::fprintf(stderr, "vyx monitor: not stable: %zu of the %zu good readings in a row it needs\n",
                     stability.Run(), stability.N());
    if (s.View.Messages > 0) return kExitFailure;
    return c.failed ? ExitStatus(*c.failed) : kExitUnstable;
}

// Adds the run to the record file, if one is kept, and says so.
void Record(const std::string& file, const TConsoleSequences& c) {
    if (file.empty() || !c.run) return;
    vyx::service::AppendCalibrationRun(vyx::PathFromUtf8(file), *c.run);
    std::fprintf(stderr, "vyx calibrate: run recorded in %s\n", file.c_str());
}

int Calibrate(TSession& s, const vyx::cli::Options& o) {
    const long count = o.GetInt("--count", 16, 1, 100000000);
    const std::string choice = o.Get("--write", "");
    if (o.Has("--write") && choice != "100R" && choice != "400R")
        throw std::invalid_argument("--write needs 100R or 400R");
    if (!o.Positional().empty()) throw std::invalid_argument("calibrate takes no register name");
    if (!o.Has("--file")) throw std::invalid_argument("--file is required");
    const std::optional<vyx::TTolerance> tolerance = StableOption(o);
    const std::string recordFile = o.Get("--record", "");
    if (o.Has("--record") && recordFile.empty()) throw std::invalid_argument("--record needs a file name");
    const std::filesystem::path file = vyx::PathFromUtf8(o.Get("--file", ""));
    vyx::LoadRegisterFile(s.tree, file);
    // A record file that cannot take the run is refused before anything is read.
    if (!recordFile.empty() && std::filesystem::exists(vyx::PathFromUtf8(recordFile)))
        vyx::service::LoadCalibrationRecord(vyx::PathFromUtf8(recordFile));
    CatchInterrupt(OnInterrupt);
    TConsoleSequences c(s);
    c.tolerance = tolerance;
    if (const vyx::TNode* r0 = c.sequences.FindRegisterByName(u"R0"))
        c.typeCode = vyx::GetTypeCode(r0->Record.DataType);
    if (!recordFile.empty()) c.sequences.KeepRecord(true, vyx::PathToUtf8(file.filename()));
    const std::u16string choiceText = vyx::FromUtf8(choice);
    c.sequences.StartCalibration(choiceText, static_cast<int32_t>(count), s.Session.Slave);
    if (c.failed) {
        // A failed reading ended the run without a summary.
        std::fprintf(stderr, "vyx calibrate: interrupted by a failed reading\n");
        ReportOutcome(s.Session.Transaction);
        return c.Status();
    }
    if (interrupted) {
        std::fprintf(stderr, "vyx calibrate: interrupted\n");
        return kExitFailure;
    }
    if (c.mean.empty()) return s.View.Messages > 0 ? kExitFailure : c.Status();
    if (choice.empty()) {
        Record(recordFile, c);
        return c.Status();
    }
    const uint64_t before = s.Session.Transaction.RequestsSent();
    c.failed.reset();
    c.sequences.WriteMean(choiceText, c.mean, s.Session.Slave);
    if (s.Session.Transaction.RequestsSent() == before) {
        Record(recordFile, c);
        throw vyx::Error(choice == "100R" ? "N100 is not a writable typed register of the file"
                                          : "N400 is not a writable typed register of the file");
    }
    Record(recordFile, c);
    if (c.failed) ReportOutcome(s.Session.Transaction);
    if (!recordFile.empty() && c.run && c.run->Write && !c.run->Write->Verified()) {
        std::fprintf(stderr, "vyx calibrate: %s: %s\n", c.run->Write->Name.c_str(),
                     c.run->Write->Verification().c_str());
        if (!c.failed) return kExitFailure;
    }
    return c.Status();
}

}  // namespace

int RunWalk(int argc, char** argv) {
    return Run("walk", argc, argv,
               "Usage: vyx walk --port PATH --file F.dat GROUP [--hex]\n"
               "Reads the registers of a group as the window's walk does, one result line\n"
               "each, in tree order and into child groups; it stops at the first failure.\n\n"
               "Options:\n",
               Walk, true);
}

int RunMonitor(int argc, char** argv) {
    return Run("monitor", argc, argv,
               "Usage: vyx monitor --port PATH --file F.dat NAME [NAME...] --period MS [--count N]\n"
               "                   [--csv] [--stats N] [--stable TOL[%]]\n"
               "Reads a register every MS milliseconds (at least 100): an empty line, the\n"
               "heading, then the time and the value of each good reading. Ends after N\n"
               "readings, or with Ctrl-C.\n\nOptions:\n"
               "  --period MS       time between readings (default 2000)\n"
               "  --count N         number of readings (default 0: until Ctrl-C)\n"
               "  --csv             one line per reading instead, the window's CSV lines:\n"
               "                    DATE TIME.MS;VALUE;REASON in local time, decimal comma;\n"
               "                    a failed reading has no value and the reason it failed\n"
               "                    (it is also reported on standard error)\n"
               "  --stats N         every N readings, the statistics of the last N good ones:\n"
               "                    n, min, max, mean, standard deviation σ, spread (N >= 2)\n"
               "  --stable TOL      end as soon as the last N good readings (N of --stats,\n"
               "                    default 20) spread by at most TOL, in the register's\n"
               "                    units or, as TOL%, of their mean; a failed reading\n"
               "                    restarts the N. Prints \"stabilny: ...\" and ends with 0;\n"
               "                    a run that ends unsettled (--count, Ctrl-C) ends with the\n"
               "                    status of its last failed reading, else with 5\n"
               "With --csv, the statistics and the stability line go to standard error, so\n"
               "that standard output holds only CSV lines.\n\n"
               "Several registers (NAME NAME...) are read one after another once a period,\n"
               "a round; --count counts rounds. One line per round: the time and each\n"
               "register's value (\"?\" where its reading failed, the reason on standard\n"
               "error). With --csv a header first, \"czas;NAME [NOTE] @SLAVE;...;przyczyna\",\n"
               "then DATE TIME.MS;V1;V2;...;REASONS, a failed value empty and named in\n"
               "REASONS. --stats and --stable judge each register on its own; --stable ends\n"
               "once all have settled, and an unsettled run names the unsettled ones.\n",
               Monitor, true, {"--period", "--count", "--stats", "--stable"}, {"--csv"});
}

int RunCalibrate(int argc, char** argv) {
    return Run("calibrate", argc, argv,
               "Usage: vyx calibrate --port PATH --file F.dat --count N [--write 100R|400R]\n"
               "                     [--stable TOL[%]] [--record FILE.json]\n"
               "Reads \"R0\" N times, 200 ms apart, and prints the mean and its error; with\n"
               "--write, writes the mean into \"N100\" or \"N400\". Ctrl-C ends the run\n"
               "without a summary.\n\nOptions:\n"
               "  --count N         number of readings (default 16)\n"
               "  --write 100R|400R write the mean into N100 or N400\n"
               "  --stable TOL      after err, \"stabilny: ...\" or \"niestabilny: ...\": whether\n"
               "                    the readings spread within TOL (the register's units, or\n"
               "                    TOL% of their mean)\n"
               "  --record FILE     keep a record of the run: append it to the record file\n"
               "                    FILE.json (docs/records.md), created when missing; a file\n"
               "                    that is not a record is refused before anything is read.\n"
               "                    With --write, the register is read just before the write\n"
               "                    and read back after it, and the words read back are\n"
               "                    compared with the words written: \"N100: zweryfikowano\",\n"
               "                    or \"N100: odczytano X zamiast Y\" and exit status 1\n",
               Calibrate, false, {"--count", "--write", "--file", "--stable", "--record"});
}
