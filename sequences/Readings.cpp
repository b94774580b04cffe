// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequences/Readings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <ctime>
#include <system_error>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/LocalTime.h"
#include "registers/RegData.h"
#include "base/Text.h"

namespace vyx {
namespace {

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A decimal number with "," or "." and an optional exponent; the whole text.
std::optional<double> ParseDecimal(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string ascii;
    for (const char16_t c : text) {
        if (c > 0x7F) return std::nullopt;
        ascii += c == u',' ? '.' : static_cast<char>(c);
    }
    if (ascii.front() == '+') ascii.erase(0, 1);
    double value = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::FILE* OpenForAppending(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"ab");
#else
    return std::fopen(path.c_str(), "ab");
#endif
}

}  // namespace

std::optional<double> ReadingValue(int typeCode, std::u16string_view text) {
    switch (typeCode) {
        case kTypeWord:
        case kTypeInt:
        case kTypeHex:
            try {
                const int32_t v = StrToInt(text);
                return typeCode == kTypeHex ? static_cast<double>(static_cast<uint32_t>(v)) : v;
            } catch (const Error&) {
                return std::nullopt;
            }
        case kTypeReal:
        case kTypeFloat:
        case kTypeFine:
        case kTypePrec:
            return ParseDecimal(text);
        default:
            return std::nullopt;
    }
}

int ValueDecimals(int typeCode) {
    switch (typeCode) {
        case kTypeReal:
        case kTypeFloat:
            return 2;
        case kTypeFine:
            return 4;
        case kTypePrec:
            return 8;
        default:
            return 0;
    }
}

std::u16string FormatLikeRegister(int typeCode, double value) {
    if (typeCode == kTypeHex && std::isfinite(value) && value >= 0 && value <= 0xFFFF)
        return FormatHex(static_cast<uint16_t>(std::lround(value)));
    return FormatFixed(value, ValueDecimals(typeCode));
}

std::u16string FormatReading(int typeCode, double value) {
    if (ValueDecimals(typeCode) == 0) return FormatLikeRegister(typeCode, value);
    // The shortest text that reads back as the same float, without an exponent.
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, static_cast<float>(value), std::chars_format::fixed);
    if (ec != std::errc()) return FormatLikeRegister(typeCode, value);
    std::u16string out = Widen(std::string_view(text, static_cast<size_t>(end - text)));
    std::replace(out.begin(), out.end(), u'.', u',');
    return out;
}

std::u16string FormatSignificant(double value, int minDecimals) {
    int decimals = minDecimals;
    if (std::isfinite(value) && value != 0) {
        const int leading = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        decimals = std::max(decimals, 2 - leading);
    }
    return FormatFixed(value, std::clamp(decimals, 0, 15));
}

TReadingStats StatsOf(std::span<const double> values) {
    TReadingStats s;
    s.Count = values.size();
    if (values.empty()) return s;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    s.Min = *lo;
    s.Max = *hi;
    double sum = 0;
    for (const double v : values) sum += v;
    s.Mean = sum / static_cast<double>(values.size());
    if (values.size() > 1) {
        // Two passes: the deviations from the mean, so a large offset costs no precision.
        double acc = 0;
        for (const double v : values) acc += (v - s.Mean) * (v - s.Mean);
        s.StdDev = std::sqrt(acc / static_cast<double>(values.size() - 1));
    }
    return s;
}

std::u16string StatsLine(const TReadingStats& stats, int typeCode) {
    const int decimals = ValueDecimals(typeCode);
    return u"n: " + Widen(std::to_string(stats.Count)) + u"  min: " + FormatLikeRegister(typeCode, stats.Min) +
           u"  max: " + FormatLikeRegister(typeCode, stats.Max) + u"  średnia: " +
           FormatLikeRegister(typeCode, stats.Mean) + u"  σ: " + FormatSignificant(stats.StdDev, decimals) +
           u"  rozrzut: " + FormatSignificant(stats.Spread(), decimals);
}

std::optional<TTolerance> ParseTolerance(std::u16string_view text) {
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    const std::u16string_view given = text;  // named whole in the error, "%" and all
    TTolerance t;
    if (text.back() == u'%') {
        t.Percent = true;
        text.remove_suffix(1);
    }
    const std::optional<double> v = ParseDecimal(text);
    if (!v || *v < 0) throw Error("'" + ToUtf8(given) + "' is not a tolerance (a number of zero or more, or a percentage)");
    t.Value = *v;
    return t;
}

TStability::TStability(size_t n, std::optional<TTolerance> tolerance)
    : n_(std::max<size_t>(n, 1)), tolerance_(tolerance) {}

void TStability::Good(double value, double time) {
    last_.emplace_back(value, time);
    if (last_.size() > n_) last_.pop_front();
    run_ = std::min(run_ + 1, n_);
    bool settled = false;
    if (tolerance_ && run_ == n_) {
        const TReadingStats s = Stats();
        settled = s.Spread() <= tolerance_->Allowed(s.Mean);
    }
    if (!settled)
        stableSince_.reset();
    else if (!stableSince_)
        stableSince_ = time;
}

void TStability::Failed() {
    run_ = 0;
    stableSince_.reset();
}

void TStability::Clear() {
    last_.clear();
    run_ = 0;
    stableSince_.reset();
}

TReadingStats TStability::Stats() const {
    // A deque is not contiguous; N is small enough to copy.
    std::vector<double> values;
    values.reserve(last_.size());
    for (const auto& reading : last_) values.push_back(reading.first);
    return StatsOf(values);
}

std::u16string VerdictLine(const TReadingStats& stats, const TTolerance& tolerance, int typeCode) {
    const double allowed = tolerance.Allowed(stats.Mean);
    const bool stable = stats.Spread() <= allowed;
    const int decimals = ValueDecimals(typeCode);
    return std::u16string(stable ? u"stabilny" : u"niestabilny") + u": rozrzut " +
           FormatSignificant(stats.Spread(), decimals) + (stable ? u" <= " : u" > ") +
           FormatSignificant(allowed, decimals);
}

std::u16string CsvText(std::u16string_view value) {
    const bool formula = !value.empty() && std::u16string_view(u"=+-@\t\r").find(value.front()) != std::u16string_view::npos;
    std::u16string field;
    field.reserve(value.size() + 1);
    if (formula) field += u'\'';
    field += value;
    return field;
}

std::string CsvLine(std::chrono::system_clock::time_point when, std::u16string_view value, std::string_view reason) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const std::tm local = LocalTime(seconds);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms - seconds * 1000LL));
    std::string line = stamp;
    // Neither a value (a text register's may hold anything) nor a reason breaks
    // the line or adds a field.
    const auto field = [&line](std::string_view text) {
        line += ';';
        for (const char c : text) line += c == ';' || c == '\n' || c == '\r' ? ' ' : c;
    };
    field(ToUtf8(value));
    field(reason);
    return line;
}

TCsvRecorder::TCsvRecorder(std::filesystem::path folder, std::string prefix, uint64_t maxBytes)
    : folder_(std::move(folder)), prefix_(std::move(prefix)), maxBytes_(maxBytes) {}

TCsvRecorder::~TCsvRecorder() { Close(); }

void TCsvRecorder::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void TCsvRecorder::Begin(std::chrono::system_clock::time_point when) {
    Close();
    const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(when));
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::filesystem::path path = folder_ / PathFromUtf8(prefix_ + "-" + stamp + ".csv");
    // A name that cannot be looked at (a folder without search permission) is
    // left to the open below, which fails with the file's name.
    std::error_code ec;
    for (int k = 2; std::filesystem::exists(path, ec); ++k)
        path = folder_ / PathFromUtf8(prefix_ + "-" + stamp + "-" + std::to_string(k) + ".csv");
    file_ = OpenForAppending(path);
    if (!file_) throw FileError(TFileAction::Create, PathToUtf8(path), ErrnoReason(errno));
    path_ = path;
    bytes_ = 0;
    day_ = (local.tm_year + 1900) * 400 + local.tm_yday;
    ++files_;
}

void TCsvRecorder::Write(std::chrono::system_clock::time_point when, std::string_view line) {
    const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(when));
    const int day = (local.tm_year + 1900) * 400 + local.tm_yday;
    const bool begun = !file_ || day != day_ || (maxBytes_ > 0 && bytes_ >= maxBytes_);
    if (begun) Begin(when);
    errno = 0;
    const auto put = [this](std::string_view text) {
        return std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fputc('\n', file_) != EOF;
    };
    const bool headed = !begun || header_.empty() || put(header_);
    if (headed && begun && !header_.empty()) bytes_ += header_.size() + 1;
    const bool written = headed && put(line) && std::fflush(file_) == 0;
    if (!written) {
        const int error = errno != 0 ? errno : EIO;
        Close();  // the next line begins a new file
        // The file ends with its last whole line: a torn one is cut off (shrinking
        // needs no free space).
        std::error_code ec;
        std::filesystem::resize_file(path_, bytes_, ec);
        throw FileError(TFileAction::Write, PathToUtf8(path_), ErrnoReason(error));
    }
    bytes_ += line.size() + 1;
}

}  // namespace vyx
