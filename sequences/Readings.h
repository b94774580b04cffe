// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a run of readings of one register tells: the statistics over the last N
// good readings, whether the signal has settled, and the CSV line each reading is
// recorded as. The window's trend plot and `vyx monitor` share it; nothing here
// knows a toolkit.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vyx {

// One reading as its reply brought it: whether it came good, its number (exact
// for the whole-number types, the float's own value for REAL, FINE, FLOAT and
// PREC; none for a text register or a failed reading) and the data words it
// came in. The plot, the statistics, the stability rule, the CSV and the
// calibration record take the number, never the value text read back.
struct TReading {
    bool Good = false;
    std::optional<double> Number;
    std::vector<uint16_t> Words;
};

// A reading's number from a register's value text ("12,35", "-3", "$00FF"); none
// for a text register, an empty text or one that is not a number. For a number
// typed in or kept as text; a reply's own number is TReading's.
std::optional<double> ReadingValue(int typeCode, std::u16string_view text);
// The decimals a register's values show: 2 for REAL and FLOAT, 4 for FINE, 8 for
// PREC, none for the whole-number types.
int ValueDecimals(int typeCode);
// A number as the register shows its values: whole numbers rounded (HEX as
// "$FF", "$101": two hex digits at least), the others with their decimals and
// the decimal comma.
std::u16string FormatLikeRegister(int typeCode, double value);
// A reading's number for the CSV: whole numbers as the register shows them
// (HEX "$FF"), the others with every decimal the float holds, its shortest
// exact form, and the decimal comma ("0,004", "1500,25", "0,1").
std::u16string FormatReading(int typeCode, double value);
// A spread or a standard deviation: at least 3 significant digits and never
// fewer decimals than `minDecimals`, the decimal comma ("0,577", "12,3", "0").
std::u16string FormatSignificant(double value, int minDecimals);

struct TReadingStats {
    size_t Count = 0;
    double Min = 0, Max = 0, Mean = 0;
    double StdDev = 0;  // the sample standard deviation (n - 1); 0 below two readings
    double Spread() const { return Max - Min; }
};
TReadingStats StatsOf(std::span<const double> values);

// "n: 20  min: 999  max: 1001  średnia: 1000  σ: 0,577  rozrzut: 2": min, max and
// mean as the register shows values, σ and the spread with FormatSignificant.
std::u16string StatsLine(const TReadingStats& stats, int typeCode);

// How far the last N good readings may spread for the signal to count as
// settled: in the register's units, or a percentage of their mean.
struct TTolerance {
    double Value = 0;
    bool Percent = false;
    double Allowed(double mean) const { return Percent ? Value / 100.0 * (mean < 0 ? -mean : mean) : Value; }
};
// "0,5", "0.5", "2%" or "2,5 %"; none for an empty text. Throws vyx::Error for a
// text that is not a number of zero or more.
std::optional<TTolerance> ParseTolerance(std::u16string_view text);

// The last N good readings of a run and whether the signal has settled: it has
// when N good readings followed the last failure and their spread is within the
// tolerance. A failure does not remove readings from the statistics; it restarts
// the count towards N.
class TStability {
public:
    explicit TStability(size_t n = 20, std::optional<TTolerance> tolerance = {});

    // `time` in seconds, of any origin, never decreasing.
    void Good(double value, double time);
    void Failed();
    void Clear();

    size_t N() const { return n_; }
    const std::optional<TTolerance>& Tolerance() const { return tolerance_; }
    // Over the last N good readings, or fewer at the start.
    TReadingStats Stats() const;
    // The time of the oldest of the last N good readings (0 without any).
    double From() const { return last_.empty() ? 0 : last_.front().second; }
    // Good readings since the last failure, at most N.
    size_t Run() const { return run_; }
    bool Stable() const { return stableSince_.has_value(); }
    // The time of the reading from which the signal has stayed settled.
    double StableSince() const { return stableSince_.value_or(0); }

private:
    size_t n_;
    std::optional<TTolerance> tolerance_;
    std::deque<std::pair<double, double>> last_;  // value, time
    size_t run_ = 0;
    std::optional<double> stableSince_;
};

// A run's readings all within the tolerance of their mean spread ("stabilny" or
// "niestabilny", the spread and the allowed spread): the line that follows a
// calibration's err line when a tolerance is set.
std::u16string VerdictLine(const TReadingStats& stats, const TTolerance& tolerance, int typeCode);

// A text register's value as a CSV field: one that a spreadsheet would run as a
// formula (beginning with "=", "+", "-", "@", a tab or a CR) gets a leading
// apostrophe ("'=1+1"); numbers never come here.
std::u16string CsvText(std::u16string_view value);

// One reading as a CSV line, without the line end:
// "YYYY-MM-DD HH:MM:SS.mmm;VALUE;REASON" in local time. VALUE is the value text
// (decimal comma), empty for a failed reading; REASON is empty for a good one.
std::string CsvLine(std::chrono::system_clock::time_point when, std::u16string_view value, std::string_view reason);

// Records CSV lines into dated files in a folder, for unattended runs: a new file
// begins at local midnight and, with a size limit, once the current one has
// reached it. A file is named PREFIX-YYYY-MM-DD_HH-MM-SS.csv after the time of
// its first line (with "-2", "-3" ... should that name exist). Every line is
// written through to the file before Write returns; a file that cannot be
// created or written raises vyx::FileError naming it and keeps no torn line (the
// file ends with its last whole line), and the next Write tries anew.
class TCsvRecorder {
public:
    TCsvRecorder(std::filesystem::path folder, std::string prefix, uint64_t maxBytes = 0);
    ~TCsvRecorder();
    TCsvRecorder(const TCsvRecorder&) = delete;
    TCsvRecorder& operator=(const TCsvRecorder&) = delete;

    void Write(std::chrono::system_clock::time_point when, std::string_view line);
    // A line that opens every file begun from now on (a set's column names).
    void SetHeader(const std::string& header) { header_ = header; }
    // The file being written; empty before the first line.
    const std::filesystem::path& CurrentFile() const { return path_; }
    uint64_t FilesBegun() const { return files_; }

private:
    void Close();
    void Begin(std::chrono::system_clock::time_point when);

    std::filesystem::path folder_;
    std::string prefix_;
    std::string header_;
    uint64_t maxBytes_;
    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
    uint64_t bytes_ = 0;
    int day_ = -1;  // the local day of the file being written (year * 400 + day of year)
    uint64_t files_ = 0;
};

}  // namespace vyx
