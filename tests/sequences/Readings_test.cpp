// SPDX-License-Identifier: GPL-3.0-or-later
// What a run of readings tells: the statistics, the stability rule, the number
// formats, the CSV line and the recorder of dated CSV files.
#include "sequences/Readings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <limits>
#include <optional>
#include <vector>

#include "base/Error.h"
#include "registers/RegData.h"
#include "base/Text.h"
#include "tests/support/Env.h"
#include "tests/support/ErrorText.h"
#include "tests/support/FileText.h"

using namespace vyx;
namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr double kFail = std::numeric_limits<double>::quiet_NaN();

// Local time is UTC while one lives, so that times print as given.
class TUtc {
public:
    TUtc() {
        tz_.Set("UTC");
        tzset();
    }
    ~TUtc() {
        tz_.Set(old_ ? old_->c_str() : nullptr);
        tzset();
    }

private:
    std::optional<std::string> old_ = std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
    test::TEnvVar tz_{"TZ"};
};

system_clock::time_point At(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
}

}  // namespace

// One mark per reading: 'S' while settled, '.' while not.
TEST(Readings, StabilityOverTheLastNGoodReadings) {
    const TTolerance units{0.5, false}, twoPercent{2, true};
    struct Case {
        const char* name;
        std::vector<double> readings;  // kFail: a failed reading
        TTolerance tolerance;
        const char* marks;
        double stableSince;  // the index of the reading from which it stays settled; 0 when it ends unsettled
    } cases[] = {
        {"constant", {5, 5, 5, 5, 5}, units, "..SSS", 2},
        {"ramp", {1, 2, 3, 4, 5}, units, ".....", 0},
        {"noise within", {10, 10.2, 9.9, 10.1, 9.8}, units, "..SSS", 2},
        {"noise beyond", {10, 10.6, 10, 10.6}, units, "....", 0},
        {"step", {5, 5, 5, 8, 8, 8, 8}, units, "..S..SS", 5},
        {"failure before N", {5, 5, kFail, 5, 5, 5}, units, ".....S", 5},
        {"failure while stable", {5, 5, 5, 5, kFail, 5, 5, 5}, units, "..SS...S", 7},
        {"percent of the mean", {99, 101, 100}, twoPercent, "..S", 2},
        {"percent of a negative mean", {-99, -101, -100}, twoPercent, "..S", 2},
        {"percent beyond", {98, 101, 100}, twoPercent, "...", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TStability s(3, c.tolerance);
        std::string marks;
        for (size_t i = 0; i < c.readings.size(); ++i) {
            if (std::isnan(c.readings[i]))
                s.Failed();
            else
                s.Good(c.readings[i], static_cast<double>(i));
            marks += s.Stable() ? 'S' : '.';
        }
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(s.Stable() ? s.StableSince() : 0, c.stableSince);
    }
    // Without a tolerance nothing settles; the statistics still follow.
    TStability none(2);
    for (const double v : {1.0, 1.0, 1.0}) none.Good(v, 0);
    EXPECT_FALSE(none.Stable());
    EXPECT_EQ(none.Run(), 2u);
}

TEST(Readings, StatsAndTheirLine) {
    struct Case {
        std::vector<double> values;
        int type;
        const char* line;
    } cases[] = {
        // A whole-number register still shows σ to 3 significant digits.
        {{10, 11, 11}, kTypeInt, "n: 3  min: 10  max: 11  średnia: 11  σ: 0,577  rozrzut: 1,00"},
        {{1e9 + 1, 1e9 + 2, 1e9 + 3}, kTypeInt, "n: 3  min: 1000000001  max: 1000000003  średnia: 1000000002  σ: 1,00  rozrzut: 2,00"},
        {{12.5}, kTypeReal, "n: 1  min: 12,50  max: 12,50  średnia: 12,50  σ: 0,00  rozrzut: 0,00"},
        {{255, 257}, kTypeHex, "n: 2  min: $FF  max: $101  średnia: $100  σ: 1,41  rozrzut: 2,00"},
    };
    for (const Case& c : cases) EXPECT_EQ(ToUtf8(StatsLine(StatsOf(c.values), c.type)), c.line);
    EXPECT_EQ(StatsOf({}).Count, 0u);
}

TEST(Readings, NumberFormats) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    } significant[] = {
        {0.57735, 0, "0,577"}, {12.345, 0, "12,3"}, {1234.4, 0, "1234"}, {0, 2, "0,00"},
        {0.5, 2, "0,500"},     {0.00123, 0, "0,00123"}, {-0.25, 0, "-0,250"},
    };
    for (const Case& c : significant) EXPECT_EQ(ToUtf8(FormatSignificant(c.value, c.decimals)), c.text) << c.value;

    struct Like {
        int type;
        double value;
        const char* text;
    } like[] = {
        {kTypeHex, 255, "$FF"},          {kTypeHex, 70000, "70000"},     {kTypeInt, 10.667, "11"},
        {kTypeReal, 12.346, "12,35"},      {kTypeFine, 0.5, "0,5000"},     {kTypePrec, 1.5, "1,50000000"},
    };
    for (const Like& c : like) EXPECT_EQ(ToUtf8(FormatLikeRegister(c.type, c.value)), c.text) << c.value;

    // The CSV's form: every decimal the float has, and no more.
    Like exact[] = {
        {kTypeReal, 0.004f, "0,004"}, {kTypeReal, 1500.25f, "1500,25"}, {kTypePrec, 0.1f, "0,1"},
        {kTypeFine, -0.5f, "-0,5"},   {kTypeHex, 255, "$FF"},           {kTypeInt, -2, "-2"},
    };
    for (const Like& c : exact) EXPECT_EQ(ToUtf8(FormatReading(c.type, c.value)), c.text) << c.value;

    // A text a spreadsheet would run is written as text.
    for (const auto& [text, field] : {std::pair{u"=1+1", "'=1+1"}, {u"@SUM(A1)", "'@SUM(A1)"}, {u"-2", "'-2"},
                                      {u"\tx", "'\tx"}, {u"ABC=1", "ABC=1"}, {u"", ""}})
        EXPECT_EQ(ToUtf8(CsvText(text)), field);
}

TEST(Readings, ReadingValue) {
    struct Case {
        int type;
        const char16_t* text;
        std::optional<double> value;
    } cases[] = {
        {kTypeReal, u"12,35", 12.35}, {kTypeFloat, u"12.35", 12.35}, {kTypeHex, u"$00FF", 255},
        {kTypeHex, u"$FFFF", 65535},  {kTypeInt, u"-3", -3},         {kTypeReal, u"", std::nullopt},
        {kTypeInt, u"abc", std::nullopt}, {kTypeReal, u"1,2x", std::nullopt}, {kTypeText, u"12", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadingValue(c.type, c.text), c.value) << ToUtf8(c.text);
}

TEST(Readings, ParseTolerance) {
    struct Case {
        const char16_t* text;
        double allowedAtMean50;
    } good[] = {{u"0,5", 0.5}, {u"0.5", 0.5}, {u"2%", 1}, {u" 2,5 % ", 1.25}, {u"0", 0}};
    for (const Case& c : good) {
        const auto t = ParseTolerance(c.text);
        ASSERT_TRUE(t.has_value()) << ToUtf8(c.text);
        EXPECT_DOUBLE_EQ(t->Allowed(50), c.allowedAtMean50) << ToUtf8(c.text);
        EXPECT_DOUBLE_EQ(t->Allowed(-50), c.allowedAtMean50) << ToUtf8(c.text);
    }
    EXPECT_FALSE(ParseTolerance(u"").has_value());
    for (const char16_t* bad : {u"-1", u"x", u"%", u"1,5,5", u"inf", u"-2%"})
        EXPECT_NE(test::ErrorOf([&] { ParseTolerance(bad); }).find("'" + ToUtf8(bad) + "' is not a tolerance"),
                  std::string::npos);
}

TEST(Readings, CsvLineBytes) {
    const TUtc utc;
    struct Case {
        system_clock::time_point when;
        const char16_t* value;
        const char* reason;
        const char* line;
    } cases[] = {
        {At(2026, 12, 8, 9, 15, 2, 123), u"12,35", "", "2026-12-08 09:15:02.123;12,35;"},
        {At(2026, 12, 8, 9, 15, 2, 7), u"", "brak odpowiedzi urządzenia",
         "2026-12-08 09:15:02.007;;brak odpowiedzi urządzenia"},
        {At(1969, 12, 31, 23, 59, 59, 500), u"-1", "", "1969-12-31 23:59:59.500;-1;"},
        // Neither a value text nor a reason breaks the line or adds a field.
        {At(2026, 1, 2, 3, 4, 5, 60), u"a;b\nc", "x;y\r\n", "2026-01-02 03:04:05.060;a b c;x y  "},
    };
    for (const Case& c : cases) EXPECT_EQ(CsvLine(c.when, c.value, c.reason), c.line);
}

TEST(Readings, RecorderBeginsNewFilesBySizeAndDay) {
    const TUtc utc;
    const fs::path folder = fs::temp_directory_path() / ("vyx-readings-test-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    {
        TCsvRecorder r(folder, "R0", 40);
        const auto t = At(2026, 12, 8, 9, 15, 2, 0);
        const std::string line(29, 'a');  // 30 bytes with its line end
        for (int i = 0; i < 3; ++i) r.Write(t + milliseconds(i), line);
        r.Write(At(2026, 12, 9, 0, 0, 1, 0), "next day");
        EXPECT_EQ(r.FilesBegun(), 3u);
        EXPECT_EQ(test::FileText(folder / "R0-2026-12-08_09-15-02.csv"), line + "\n" + line + "\n");
        EXPECT_EQ(test::FileText(folder / "R0-2026-12-08_09-15-02-2.csv"), line + "\n");
        EXPECT_EQ(test::FileText(folder / "R0-2026-12-09_00-00-01.csv"), "next day\n");
        EXPECT_EQ(r.CurrentFile(), folder / "R0-2026-12-09_00-00-01.csv");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);

    // A folder that is missing, or a file in the way: the error names the file;
    // once the folder is there, the next line goes in.
    std::ofstream(folder / "plain") << "x";
    for (const fs::path& bad : {folder / "missing", folder / "plain"}) {
        TCsvRecorder r(bad, "R0");
        const auto t = At(2026, 12, 8, 10, 0, 0, 0);
        const std::string error = test::ErrorOf([&] { r.Write(t, "lost"); });
        EXPECT_NE(error.find("Cannot create file \"" + PathToUtf8(bad / "R0-2026-12-08_10-00-00.csv") + "\""),
                  std::string::npos)
            << error;
        fs::remove(bad);
        fs::create_directories(bad);
        r.Write(t, "kept");
        EXPECT_EQ(test::FileText(r.CurrentFile()), "kept\n");
    }
    fs::remove_all(folder);
}
