// SPDX-License-Identifier: GPL-3.0-or-later
// A set of signals: one round of 8 one-register signals against `vyx sim`
// paced as a line of 19200 baud with a reply delay, beside the sum of their
// line times and delays; and the plot of 8 curves holding an hour of 100 ms
// readings each: a frame drawn, and the heap taken per reading.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "bench/Offscreen.h"
#include "port/AnyPort.h"
#include "sequences/Signals.h"
#include "ui/TrendPlot.h"

namespace {

constexpr int kSignals = 8;
constexpr int kPerHour = 36000;

// `vyx sim` for as long as it lives: its process and its terminal's path.
class TSim {
public:
    explicit TSim(const std::string& options) {
        const std::string command = "sh -c 'echo $$; exec \"" VYX_BINARY "\" sim \"" VYX_DEVICES_DIR
                                    "/VXT-20F.dat\" " + options + "'";
        out_ = popen(command.c_str(), "r");
        char line[512] = {};
        if (out_ && std::fgets(line, sizeof line, out_)) pid_ = std::stoi(line);
        if (out_ && std::fgets(line, sizeof line, out_)) Path = std::string(line, std::strcspn(line, "\n"));
    }
    ~TSim() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (out_) pclose(out_);
    }
    std::string Path;

private:
    std::FILE* out_ = nullptr;
    int pid_ = 0;
};

void BM_RoundOfEightAt19200(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    TSim sim("--baud 19200 --noise 0 --delay " + std::to_string(delayMs));
    vyx::TAnyPort port;
    vyx::TLineSettings line;
    line.ReplyWaitMs = 1000;
    if (sim.Path.empty() || !port.Open(sim.Path, line).Opened) {
        state.SkipWithError("no simulator");
        return;
    }
    vyx::TWire wire;
    const std::vector<vyx::TSignal> set(kSignals, {247, "VXT-20F.dat", {u"R0", u"", u"30001", u"INT", u"1", u"RO", u""}});
    const double budget = vyx::RoundLineSeconds(set, "19200") + kSignals * delayMs / 1000.0;
    double worst = 0, sum = 0;
    int rounds = 0, failed = 0;
    for (auto _ : state) {
        const vyx::TRound round = vyx::ReadRound(port, wire, {}, set);
        for (const auto& r : round.Readings) failed += !r.Reading.Good;
        worst = std::max(worst, round.Seconds);
        sum += round.Seconds;
        ++rounds;
    }
    state.counters["budget_ms"] = budget * 1000;
    state.counters["mean_ratio"] = sum / rounds / budget;
    state.counters["worst_ratio"] = worst / budget;
    state.counters["failed"] = failed;
}
BENCHMARK(BM_RoundOfEightAt19200)->ArgName("delay_ms")->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(50);

// Fills the plot with `rounds` rounds of 8 signals 100 ms apart, a failure now and then.
void Fill(vyx::ui::TTrendPlot& plot, int rounds) {
    std::vector<vyx::ui::TTrendPlot::TCurveLook> looks;
    for (int k = 0; k < kSignals; ++k) looks.push_back({QStringLiteral("S%1").arg(k), QColor(k * 30, 0, 120), k % 2 == 1, false, 5});
    plot.BeginSet(std::chrono::system_clock::now(), looks);
    plot.SetFollowing(false);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1.5);
    std::vector<std::optional<double>> values(kSignals);
    std::vector<QString> reasons(kSignals);
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < kSignals; ++k)
            values[k] = (i + k) % 997 == 996 ? std::nullopt : std::optional<double>(std::round(1000 * (k + 1) + noise(random)));
        plot.AddRound(i * 0.1, values, reasons);
    }
    plot.SetSpan(3600);
    plot.SetFollowing(true);
}

void BM_DrawEightCurvesOfAnHour(benchmark::State& state) {
    vyx::ui::TTrendPlot plot;
    plot.resize(1000, 560);
    plot.show();
    Fill(plot, kPerHour);
    for (auto _ : state) plot.replot(QCustomPlot::rpImmediateRefresh);
    state.counters["readings"] = kSignals * kPerHour;
}
BENCHMARK(BM_DrawEightCurvesOfAnHour)->Unit(benchmark::kMillisecond);

void BM_HeapPerSetReading(benchmark::State& state) {
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto* plot = new vyx::ui::TTrendPlot;
        Fill(*plot, 24 * kPerHour / kSignals);
        state.counters["bytes_per_reading"] =
            static_cast<double>(mallinfo2().uordblks - before) / static_cast<double>(24 * kPerHour);
        delete plot;
    }
}
BENCHMARK(BM_HeapPerSetReading)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return vyx::bench::RunOffscreen(argc, argv); }
