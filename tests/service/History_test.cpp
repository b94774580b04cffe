// SPDX-License-Identifier: GPL-3.0-or-later
// A unit's history from visit folders written here by hand, and its drift since
// the last visit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/Error.h"
#include "service/History.h"

using namespace vyx::service;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A snapshot as the report dialog leaves it: N100 (REAL, RW) in `n100` words,
// the read-only measurement R0 and the serial number.
json AsLeft(const char* time, const std::string& serial, const char* n100, const std::vector<const char*>& words, int r0) {
    const auto reg = [](const char* name, const char* address, const char* type, const char* access, json value,
                        json w) {
        return json{{"name", name}, {"address", address}, {"type", type}, {"length", std::to_string(w.size())},
                    {"access", access}, {"value", value}, {"words", w}};
    };
    char r0Word[8];
    std::snprintf(r0Word, sizeof r0Word, "%04X", r0);
    return json{{"format", 1}, {"device", "VXT-20F.dat"}, {"slave", 247}, {"mode", "19200,e,8,1"}, {"time", time},
                {"registers",
                 {reg("R0", "30001", "INT", "RO", std::to_string(r0), {r0Word}),
                  reg("N100", "40001", "REAL", "RW", n100, words),
                  reg("Numer fabryczny", "40059", "WORD", "RO", serial, {"27FA"})}}};
}

class HistoryTest : public ::testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("vyx-history-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { fs::remove_all(root); }
    void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    // Three visits of unit 10234, their folders not in time order by name.
    void ThreeVisits() {
        Write(root / "c" / kAsLeftFile, AsLeft("2026-01-05T10:00:00+01:00", "10234", "1000,00", {"447A", "0000"}, 5).dump());
        Write(root / "a" / "deeper" / kAsLeftFile,
              AsLeft("2026-06-10T12:00:00+02:00", "10234", "1002,00", {"447A", "8000"}, 9).dump());
        Write(root / "a" / "deeper" / kVisitRecordFile,
              VisitRecordToJson({"2026-06-10T12:30:00+02:00", "Anna Nowak", "R-17", {"400R"}}).dump());
        Write(root / "b" / kAsLeftFile, AsLeft("2026-12-08T09:00:00+01:00", "10234", "1005,00", {"447B", "4000"}, 7).dump());
        Write(root / "b" / kVisitRecordFile, "{\"format\": 1, \"date\": ");  // damaged: the visit shows without it
    }
};

TEST_F(HistoryTest, VisitsInTimeOrderWithTheWritableRegistersThatChanged) {
    ThreeVisits();
    Write(root / "other" / kAsLeftFile, AsLeft("2026-03-01T08:00:00+01:00", "555", "2000,00", {"44FA", "0000"}, 1).dump());
    Write(root / "broken" / kAsLeftFile, "{\"format\": 1, \"device\": 3}");
    Write(root / "too" / "deep" / "for" / "it" / kAsLeftFile,
          AsLeft("2026-02-01T08:00:00+01:00", "10234", "3,00", {"4040", "0000"}, 1).dump());
    fs::create_directory_symlink(root / "c", root / "link");  // not followed: visit c counts once

    const THistory h = UnitHistory(root, "10234");
    ASSERT_EQ(h.Visits.size(), 3u);
    EXPECT_EQ(h.Visits[0].Folder, root / "c");
    EXPECT_EQ(h.Visits[1].Folder, root / "a" / "deeper");
    EXPECT_EQ(h.Visits[2].Folder, root / "b");
    ASSERT_TRUE(h.Visits[1].Record);
    EXPECT_EQ(h.Visits[1].Record->Technician, "Anna Nowak");
    EXPECT_EQ(h.Visits[1].Date(), "2026-06-10T12:30:00+02:00");
    EXPECT_FALSE(h.Visits[2].Record);
    EXPECT_EQ(h.Visits[2].Date(), "2026-12-08T09:00:00+01:00");
    // R0 changed too, but is read-only.
    ASSERT_EQ(h.Changed.size(), 1u);
    EXPECT_EQ(h.Changed[0].Name, "N100");
    ASSERT_EQ(h.Changed[0].At.size(), 3u);
    EXPECT_EQ(HistoryValue(h.Changed[0].At[0]), "1000,00");
    EXPECT_EQ(HistoryValue(h.Changed[0].At[2]), "1005,00");
    ASSERT_EQ(h.PassedOver.size(), 1u);
    EXPECT_NE(h.PassedOver[0].find("broken"), std::string::npos) << h.PassedOver[0];

    EXPECT_TRUE(UnitHistory(root, "999").Visits.empty());
    EXPECT_THROW(UnitHistory(root / "missing", "10234"), vyx::Error);
}

TEST_F(HistoryTest, DriftSinceTheLastOlderVisit) {
    ThreeVisits();
    const THistory h = UnitHistory(root, "10234");
    // The visit reported on is already in the folder: the one before it counts.
    const TSnapshot third = SnapshotFromJson(AsLeft("2026-12-08T09:00:00+01:00", "10234", "1005,00", {"447B", "4000"}, 7));
    const TSinceLastVisit since = SinceLastVisit(h, third);
    ASSERT_TRUE(since.Found);
    EXPECT_EQ(since.Technician, "Anna Nowak");
    EXPECT_EQ(since.Report, "R-17");
    EXPECT_EQ(since.Days, 181);
    ASSERT_EQ(since.Registers.size(), 1u);
    EXPECT_EQ(since.Registers[0].Before, "1002,00");
    EXPECT_DOUBLE_EQ(*since.Registers[0].Change, 3.0);
    EXPECT_EQ(since.Registers[0].ChangeText, "+3,00");
    EXPECT_EQ(since.Registers[0].PercentText, "+0,30 %");

    const TSnapshot later = SnapshotFromJson(AsLeft("2027-01-01T09:00:00+01:00", "10234", "1010,00", {"447C", "8000"}, 1));
    EXPECT_EQ(SinceLastVisit(h, later).Registers.at(0).PercentText, "+0,50 %");
    EXPECT_FALSE(SinceLastVisit(h, SnapshotFromJson(AsLeft("2025-01-01T09:00:00+01:00", "10234", "1,00", {"3F80", "0000"}, 1))).Found);
}

TEST(HistoryValues, NumbersAndPerCentOnlyWhereTheyMeanSomething) {
    struct Case {
        const char* before;
        const char* now;
        const char* change;
        const char* percent;
    };
    for (const Case& c : {Case{"0,00", "1,50", "+1,50", ""}, Case{"-4", "-5", "-1", "-25,00 %"},
                          Case{"$0502", "$0503", "", ""}, Case{"Zbiornik", "1", "", ""}}) {
        THistory h;
        TVisit v;
        v.AsLeft.Time = "2026-01-01T00:00:00+00:00";
        v.AsLeft.Registers = {{"X", "40001", "INT", "1", "RP", c.before, {1}, "", ""}};
        h.Visits.push_back(v);
        TSnapshot now;
        now.Time = "2026-01-02T00:00:00+00:00";
        now.Registers = {{"X", "40001", "INT", "1", "RP", c.now, {2}, "", ""}};
        const TSinceLastVisit s = SinceLastVisit(h, now);
        ASSERT_EQ(s.Registers.size(), 1u) << c.before;
        EXPECT_EQ(s.Registers[0].ChangeText, c.change) << c.before;
        EXPECT_EQ(s.Registers[0].PercentText, c.percent) << c.before;
        EXPECT_EQ(s.Days, 1);
    }
}

}  // namespace
