// SPDX-License-Identifier: GPL-3.0-or-later
// vyx walk, vyx monitor, vyx calibrate: the window's sequences for scripts, run
// by the same sequence unit as the window. They print what the result pane would
// show; Ctrl-C ends a monitoring or calibration run after the reading in
// progress, with the lines printed so far.
#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "registers/Error.h"
#include "registers/RegisterFile.h"
#include "registers/Text.h"
#include "sequences/Sequences.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Master.h"

namespace {

using namespace vyx::master;
using Clock = std::chrono::steady_clock;

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
        s.View.NextStep = [this] {
            last = s_.Session.Transaction.Outcome;
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
    void Pause(int ms) override {
        SleepUntil(Clock::now() + std::chrono::milliseconds(ms));
        if (interrupted) sequences.Stop();
    }
    bool ModalWindowOpen() const override { return false; }

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

private:
    TSession& s_;

public:
    vyx::TSequences sequences;
};

int Walk(TSession& s, const vyx::cli::Options&) {
    TConsoleSequences c(s);
    c.sequences.StartRead(s.node, s.Session.Slave);
    if (s.Session.Transaction.RequestLines.Count() == 0 && s.View.Messages == 0)
        throw vyx::Error("\"" + vyx::ToUtf8(s.node->Record.Name) + "\" has no register to read");
    if (c.failed) ReportOutcome(s.Session.Transaction);
    return c.Status();
}

// "2026-12-08 09:15:02.123"
std::string LocalTimeToTheMillisecond() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", std::localtime(&seconds));
    char out[40];
    std::snprintf(out, sizeof out, "%s.%03d", buf, static_cast<int>(ms));
    return out;
}

int Monitor(TSession& s, const vyx::cli::Options& o) {
    const long period = o.GetInt("--period", 2000, vyx::kMinimumPeriodMs, 86400000);
    const long count = o.GetInt("--count", 0, 0, 1000000000);
    const bool csv = o.Has("--csv");
    if (vyx::AccessCodeOf(s.node) <= 0)
        throw vyx::Error("\"" + vyx::ToUtf8(s.node->Record.Name) + "\" is not a register");
    CatchInterrupt(OnInterrupt);
    TConsoleSequences c(s);
    s.View.Results = !csv;
    const std::u16string label = s.node->Record.Address + u"  " + s.node->Record.Name;
    long readings = 0;
    const auto reading = [&](auto&& read) {
        const uint64_t before = c.completed;
        read();
        ++readings;
        if (c.completed == before) return;
        if (c.last != TOutcome::Good)
            ReportOutcome(s.Session.Transaction);
        else if (csv)
            std::printf("%s;%s\n", LocalTimeToTheMillisecond().c_str(), vyx::ToUtf8(s.Session.Transaction.Log.LineValue).c_str());
        std::fflush(stdout);
    };
    const auto start = Clock::now();
    reading([&] { c.sequences.cbMonitorClick(true, vyx::FromUtf8(std::to_string(period)), label, s.Session.Slave); });
    // A port whose device went away has been closed: monitoring ends there.
    for (long k = 1; c.sequences.Monitoring() && s.Session.Port.IsOpened() && !interrupted && (count == 0 || readings < count);
         ++k) {
        const auto due = start + std::chrono::milliseconds(period * k);
        if (Clock::now() > due) continue;  // a tick that fell due while reading is skipped
        SleepUntil(due);
        if (!interrupted) reading([&] { c.sequences.Timer1Timer(); });
    }
    return c.Status();
}

int Calibrate(TSession& s, const vyx::cli::Options& o) {
    const long count = o.GetInt("--count", 16, 1, 100000000);
    const std::string choice = o.Get("--write", "");
    if (o.Has("--write") && choice != "100R" && choice != "400R")
        throw std::invalid_argument("--write needs 100R or 400R");
    if (!o.Positional().empty()) throw std::invalid_argument("calibrate takes no register name");
    if (!o.Has("--file")) throw std::invalid_argument("--file is required");
    vyx::LoadRegisterFile(s.tree, vyx::PathFromUtf8(o.Get("--file", "")));
    CatchInterrupt(OnInterrupt);
    TConsoleSequences c(s);
    const std::u16string choiceText = vyx::FromUtf8(choice);
    c.sequences.Button1Click(choiceText, vyx::FromUtf8(std::to_string(count)), s.Session.Slave);
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
    if (choice.empty()) return c.Status();
    const uint64_t before = s.Session.Transaction.RequestLines.Count();
    c.failed.reset();
    c.sequences.btZapiszClick(choiceText, c.mean, s.Session.Slave);
    if (s.Session.Transaction.RequestLines.Count() == before)
        throw vyx::Error(choice == "100R" ? "N100 is not a writable typed register of the file"
                                          : "N400 is not a writable typed register of the file");
    if (c.failed) ReportOutcome(s.Session.Transaction);
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
               "Usage: vyx monitor --port PATH --file F.dat NAME --period MS [--count N] [--csv]\n"
               "Reads a register every MS milliseconds (at least 100): an empty line, the\n"
               "heading, then the time and the value of each good reading. Ends after N\n"
               "readings, or with Ctrl-C.\n\nOptions:\n"
               "  --period MS       time between readings (default 2000)\n"
               "  --count N         number of readings (default 0: until Ctrl-C)\n"
               "  --csv             one line per good reading: local date and time to the\n"
               "                    millisecond, \";\", the value\n",
               Monitor, true, {"--period", "--count"}, {"--csv"});
}

int RunCalibrate(int argc, char** argv) {
    return Run("calibrate", argc, argv,
               "Usage: vyx calibrate --port PATH --file F.dat --count N [--write 100R|400R]\n"
               "Reads \"R0\" N times, 200 ms apart, and prints the mean and its error; with\n"
               "--write, writes the mean into \"N100\" or \"N400\". Ctrl-C ends the run\n"
               "without a summary.\n\nOptions:\n"
               "  --count N         number of readings (default 16)\n"
               "  --write 100R|400R write the mean into N100 or N400\n",
               Calibrate, false, {"--count", "--write", "--file"});
}
