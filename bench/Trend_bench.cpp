// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window's trend on the offscreen platform: drawing a frame of the last
// hour while the plot holds 1 hour and 24 hours of readings at 100 ms (a noisy
// signal with a failure now and then), the cost of one more reading, the heap
// taken per reading, and the whole window's memory after 24 hours of
// monitoring at 100 ms: the plot's readings and a result line per reading.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/Offscreen.h"
#include "ui/MainWindow.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

namespace {

constexpr double kPeriodS = 0.1;
constexpr int kPerHour = 36000;

// Fills the plot with `count` readings 100 ms apart, every 997th a failure.
void Fill(vyx::ui::TTrendPlot& plot, int count) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1.5);
    plot.SetFollowing(false);  // following is re-done once, not at every reading
    for (int i = 0; i < count; ++i) {
        if (i % 997 == 996)
            plot.AddFailure(i * kPeriodS, QStringLiteral("brak odpowiedzi urządzenia"));
        else
            plot.AddGood(i * kPeriodS, std::round(1000 + noise(random)));
    }
    plot.SetSpan(3600);
    plot.SetFollowing(true);
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// The resident memory of the process, from /proc.
double ResidentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void BM_DrawLastHour(benchmark::State& state) {
    vyx::ui::TTrendPlot plot;
    plot.resize(1000, 560);
    plot.show();
    Fill(plot, static_cast<int>(state.range(0)) * kPerHour);
    for (auto _ : state) plot.replot(QCustomPlot::rpImmediateRefresh);
    state.counters["readings"] = static_cast<double>(state.range(0) * kPerHour);
}
BENCHMARK(BM_DrawLastHour)->ArgName("hours")->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_AddReadingToAFullDay(benchmark::State& state) {
    vyx::ui::TTrendPlot plot;
    plot.resize(1000, 560);
    Fill(plot, 24 * kPerHour);
    double t = 24 * 3600;
    for (auto _ : state) plot.AddGood(t += kPeriodS, 1000);
}
BENCHMARK(BM_AddReadingToAFullDay)->Unit(benchmark::kMicrosecond);

void BM_HeapPerReading(benchmark::State& state) {
    for (auto _ : state) {
        const size_t before = HeapInUse();
        auto* plot = new vyx::ui::TTrendPlot;
        Fill(*plot, 24 * kPerHour);
        state.counters["bytes_per_reading"] =
            static_cast<double>(HeapInUse() - before) / static_cast<double>(24 * kPerHour);
        delete plot;
    }
}
BENCHMARK(BM_HeapPerReading)->Unit(benchmark::kMillisecond)->Iterations(1);

// 24 hours at 100 ms as the window holds them: the plot's readings and the
// result pane's line per reading (which also goes to the journal on the disk).
void BM_WindowAfterADay(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "vyx-trend-bench";
    fs::create_directories(folder);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    for (auto _ : state) {
        const double before = ResidentMb();
        vyx::bench::TQuietBoxes boxes;
        auto* form = new vyx::ui::TForm1(boxes, folder / "vyx-cfg", {.DefaultSettings = true});
        form->show();
        form->Trend->Open();
        QApplication::processEvents();
        const double empty = ResidentMb();
        Fill(*form->Trend->Plot, 24 * kPerHour);
        char line[32];
        for (int i = 0; i < 24 * kPerHour; ++i) {
            std::snprintf(line, sizeof line, "%02d:%02d:%02d  %d", i / 36000, i / 600 % 60, i / 10 % 60, 1000 + i % 3);
            form->AppendResultLine(std::u16string(line, line + std::char_traits<char>::length(line)));
        }
        QApplication::processEvents();
        state.counters["window_mb"] = empty - before;
        state.counters["after_day_mb"] = ResidentMb() - before;
        delete form;
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_WindowAfterADay)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return vyx::bench::RunOffscreen(argc, argv); }
