// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration's summary: the mean and err of its readings, and their lines.
#include <charconv>
#include <cmath>

#include "base/Text.h"
#include "modbus/PaneLines.h"
#include "sequences/Sequences.h"

namespace vyx {
namespace {

constexpr size_t kSummaryColumn = 20;
constexpr int kErrFixedDigits = 8;  // digits before the comma shown in fixed form

}  // namespace

std::u16string FormatErr(float err) {
    const double value = err;
    std::u16string fixed = FormatFixed(value, 3);
    const size_t comma = fixed.find(u',');
    const size_t digits = comma == std::u16string::npos ? 0 : comma - (fixed[0] == u'-' ? 1 : 0);
    if (!std::isfinite(value) || digits <= kErrFixedDigits) return fixed;
    // d,dddddddE+XX: 8 significant digits; to_chars never follows the locale.
    char buf[40];
    const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 7).ptr;
    std::u16string text;
    for (const char* p = buf; p != end; ++p) text += *p == '.' ? u',' : *p == 'e' ? u'E' : static_cast<char16_t>(*p);
    return text;
}

std::optional<TCalibrationSummary> SummariseCalibration(const std::vector<std::u16string>& samples) {
    if (samples.empty()) return std::nullopt;
    const auto n = static_cast<int64_t>(samples.size());
    std::vector<int64_t> values;
    values.reserve(samples.size());
    int64_t sum = n / 2;
    for (const std::u16string& s : samples) {
        values.push_back(StrToInt(s));
        sum += values.back();
    }
    // Toward minus infinity: half up for negative sums too.
    int64_t mean = sum / n;
    if (sum % n != 0 && sum < 0) --mean;
    double acc = 0;
    for (const int64_t v : values) {
        const double d = static_cast<double>(v - mean);
        acc += d * d;
    }
    const float err = static_cast<float>(std::sqrt(acc) / static_cast<double>(n));
    TCalibrationSummary summary;
    summary.Mean = static_cast<int32_t>(mean);  // a mean of 32-bit readings stays in their range
    summary.Err = err;
    summary.MeanLine = PlaceAtColumn(FromUtf8(std::to_string(mean)), u"========", kSummaryColumn);
    summary.ErrLine = PlaceAtColumn(FormatErr(err), u"err: ", kSummaryColumn);
    return summary;
}

}  // namespace vyx
