// SPDX-License-Identifier: GPL-3.0-or-later
// A set of signals: its CSV, the recorder's header, the markers' arithmetic and
// the time a round takes on the line.
#include "sequences/Signals.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>

#include "tests/support/FileText.h"

using namespace vyx;
namespace fs = std::filesystem;

namespace {

struct TPoint {
    double key, value;
};

TSignal Signal(uint8_t slave, const char16_t* name, const char16_t* note, const char16_t* type, const char16_t* length = u"1") {
    return {slave, "VXT-20F.dat", {name, note, u"30001", type, length, u"RO", u""}};
}

TSignalReading Good(double number, std::u16string text = {}) {
    TSignalReading r;
    r.Reading.Good = true;
    if (!std::isnan(number)) r.Reading.Number = number;
    r.Text = std::move(text);
    return r;
}

TSignalReading Failed(const char* reason) {
    TSignalReading r;
    r.Reason = reason;
    return r;
}

// The line after its time stamp.
std::string Fields(const std::string& line) { return line.substr(line.find(';')); }

}  // namespace

TEST(Signals, CsvNamesEachSignalAndTheFailedOnesInItsLastField) {
    const std::vector<TSignal> set = {Signal(2, u"R0", u"", u"INT"), Signal(2, u"Prąd", u"mA", u"PREC", u"2"),
                                      Signal(5, u"R0", u"", u"HEX"), Signal(5, u"Typ", u"", u"TEXT", u"4")};
    EXPECT_EQ(RoundCsvHeader(set), "czas;R0 @2;Prąd [mA] @2;R0 @5;Typ @5;przyczyna");
    TRound round;
    round.Readings = {Good(-3), Good(4.05), Good(255), Good(NAN, u"=a;b")};
    EXPECT_EQ(Fields(RoundCsvLine(set, round)), ";-3;4,05;$FF;'=a b;");
    // Two signals of one name are told apart by their units.
    round.Readings = {Failed("brak odpowiedzi urządzenia"), Good(4.05), Failed("błąd CRC odpowiedzi"), Good(NAN)};
    EXPECT_EQ(Fields(RoundCsvLine(set, round)),
              ";;4,05;;;R0 @2: brak odpowiedzi urządzenia, R0 @5: błąd CRC odpowiedzi");
    const std::vector<TSignal> unique = {Signal(2, u"R0", u"", u"INT"), Signal(2, u"Prąd", u"mA", u"PREC", u"2")};
    round.Readings = {Failed("brak odpowiedzi urządzenia"), Good(4.05)};
    EXPECT_EQ(Fields(RoundCsvLine(unique, round)), ";;4,05;R0: brak odpowiedzi urządzenia");
}

TEST(Signals, RecorderOpensEveryFileWithTheHeader) {
    const fs::path folder = fs::temp_directory_path() / ("vyx-signals-test-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    {
        TCsvRecorder r(folder, "zestaw", 20);
        r.SetHeader("czas;R0 @2;przyczyna");
        const auto t = std::chrono::system_clock::now();
        r.Write(t, "line one");
        const fs::path first = r.CurrentFile();
        r.Write(t, "line two");  // the first file is past 20 bytes now
        EXPECT_EQ(r.FilesBegun(), 2u);
        EXPECT_EQ(test::FileText(first), "czas;R0 @2;przyczyna\nline one\n");
        EXPECT_EQ(test::FileText(r.CurrentFile()), "czas;R0 @2;przyczyna\nline two\n");
    }
    fs::remove_all(folder);
}

TEST(Signals, MarkersGiveTheNearestReadingsTheirDifferenceAndWhatLiesBetween) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<TPoint> curve = {{0, 1}, {1, 2}, {2, nan}, {3, 4}, {4, 8}};
    struct Case {
        double a, b;
        std::optional<double> atA, atB, delta;
        size_t count;
        double min, max, mean;
    };
    const Case cases[] = {
        {0.9, 3.4, 2, 4, 2, 2, 2, 4, 3},
        {3.4, 0.9, 4, 2, -2, 2, 2, 4, 3},       // the markers either way round
        {2.1, 2.2, 4, 4, 0, 0, 0, 0, 0},        // on the break after a failure: nothing between
        {-5, 10, 1, 8, 7, 4, 1, 8, 15.0 / 4},  // beyond both ends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " " << c.b);
        const TMarkerSpan span = MarkerSpan(curve, c.a, c.b);
        EXPECT_EQ(span.AtA, c.atA);
        EXPECT_EQ(span.AtB, c.atB);
        EXPECT_EQ(span.Delta(), c.delta);
        EXPECT_EQ(span.Between.Count, c.count);
        if (c.count == 0) continue;
        EXPECT_EQ(span.Between.Min, c.min);
        EXPECT_EQ(span.Between.Max, c.max);
        EXPECT_DOUBLE_EQ(span.Between.Mean, c.mean);
    }
    const TMarkerSpan none = MarkerSpan(std::vector<TPoint>{}, 0, 1);
    EXPECT_FALSE(none.AtA || none.Delta());
}

TEST(Signals, ARoundsLineTimeCountsEveryRequestAndReply) {
    const std::vector<TSignal> eight(8, Signal(2, u"R0", u"", u"INT"));
    // 8 bytes out and 7 back, 11 bits each.
    EXPECT_DOUBLE_EQ(RoundLineSeconds(eight, "19200,e,8,1"), 8 * 15 * 11 / 19200.0);
    EXPECT_DOUBLE_EQ(RoundLineSeconds({Signal(2, u"P", u"", u"PREC", u"2")}, "9600"), 17 * 11 / 9600.0);
    EXPECT_EQ(RoundLineSeconds(eight, ""), 0);
}
