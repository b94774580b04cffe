// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The times of a run of transactions: mean, median, 95th percentile and longest.
// They are kept as counts per step of time, so that a run of millions of reads
// holds a fixed amount of memory: steps of 10 µs up to 200 ms, of 1 ms up to
// 60 s, and one last step for anything longer. Mean and longest are exact; a
// percentile is the start of its step.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace vyx::cli {

class TDurations {
public:
    TDurations() : counts_(kFineSteps + kCoarseSteps + 1, 0) {}

    void Add(std::chrono::nanoseconds time) {
        const uint64_t us = static_cast<uint64_t>(std::max<int64_t>(0, time.count())) / 1000;
        std::size_t step;
        if (us < kFineSteps * kFineUs)
            step = us / kFineUs;
        else
            step = std::min<uint64_t>(kFineSteps + (us - kFineSteps * kFineUs) / kCoarseUs, kFineSteps + kCoarseSteps);
        ++counts_[step];
        ++count_;
        const double ms = std::chrono::duration<double, std::milli>(time).count();
        total_ += ms;
        longest_ = std::max(longest_, ms);
    }

    uint64_t Count() const { return count_; }
    double MeanMs() const { return count_ ? total_ / static_cast<double>(count_) : 0.0; }
    double LongestMs() const { return longest_; }

    // Nearest rank: the time that `percent` % of the transactions did not exceed.
    double PercentileMs(unsigned percent) const {
        if (count_ == 0) return 0.0;
        const uint64_t rank = std::clamp<uint64_t>((uint64_t{percent} * count_ + 99) / 100, 1, count_);
        uint64_t seen = 0;
        for (std::size_t step = 0; step < counts_.size(); ++step) {
            seen += counts_[step];
            if (seen >= rank) return std::min(StepStartMs(step), longest_);
        }
        return longest_;
    }

private:
    static constexpr uint64_t kFineUs = 10;
    static constexpr uint64_t kFineSteps = 20000;  // up to 200 ms
    static constexpr uint64_t kCoarseUs = 1000;
    static constexpr uint64_t kCoarseSteps = 59800;  // up to 60 s

    static double StepStartMs(std::size_t step) {
        if (step < kFineSteps) return static_cast<double>(step * kFineUs) / 1000.0;
        return static_cast<double>(kFineSteps * kFineUs + (step - kFineSteps) * kCoarseUs) / 1000.0;
    }

    std::vector<uint32_t> counts_;
    uint64_t count_ = 0;
    double total_ = 0.0;
    double longest_ = 0.0;
};

}  // namespace vyx::cli
