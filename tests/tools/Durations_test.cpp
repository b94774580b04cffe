// SPDX-License-Identifier: GPL-3.0-or-later
// The summary times of `vyx read --count`.
#include <gtest/gtest.h>

#include <vector>

#include "tools/vyx/Durations.h"

using vyx::cli::TDurations;
using namespace std::chrono_literals;

namespace {

TDurations Of(const std::vector<std::chrono::microseconds>& times) {
    TDurations d;
    for (const auto t : times) d.Add(t);
    return d;
}

std::vector<std::chrono::microseconds> Repeat(std::chrono::microseconds t, int n) {
    return std::vector<std::chrono::microseconds>(static_cast<size_t>(n), t);
}

std::vector<std::chrono::microseconds> Concat(std::vector<std::chrono::microseconds> a,
                                              const std::vector<std::chrono::microseconds>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(Durations, MedianPercentileAndLongestByNearestRank) {
    std::vector<std::chrono::microseconds> oneToHundred;
    for (int i = 100; i >= 1; --i) oneToHundred.push_back(std::chrono::milliseconds(i));  // any order
    const struct {
        const char* name;
        std::vector<std::chrono::microseconds> times;
        double median, p95, longest;
    } cases[] = {
        {"one", {8883us}, 8.88, 8.88, 8.883},
        {"1 to 100 ms", oneToHundred, 50, 95, 100},
        {"19 fast, 1 slow", Concat(Repeat(9ms, 19), {40ms}), 9, 9, 40},
        {"18 fast, 2 slow", Concat(Repeat(9ms, 18), Repeat(40ms, 2)), 9, 40, 40},
        {"even count: the lower middle", {1ms, 2ms, 3ms, 4ms}, 2, 4, 4},
        {"beyond 200 ms in 1 ms steps", {250400us, 250900us}, 250, 250, 250.9},
        {"beyond a minute: the last step", {100s}, 60000, 60000, 100000},
        {"under 10 µs", {3us, 5us}, 0, 0, 0.005},
    };
    for (const auto& c : cases) {
        const TDurations d = Of(c.times);
        EXPECT_DOUBLE_EQ(d.PercentileMs(50), c.median) << c.name;
        EXPECT_DOUBLE_EQ(d.PercentileMs(95), c.p95) << c.name;
        EXPECT_DOUBLE_EQ(d.LongestMs(), c.longest) << c.name;
        EXPECT_EQ(d.Count(), c.times.size()) << c.name;
    }
}

TEST(Durations, MeanIsExactAndEmptyIsZero) {
    EXPECT_DOUBLE_EQ(Of({1ms, 2ms, 6ms}).MeanMs(), 3.0);
    const TDurations none;
    EXPECT_EQ(none.Count(), 0u);
    EXPECT_EQ(none.MeanMs(), 0.0);
    EXPECT_EQ(none.PercentileMs(95), 0.0);
}
