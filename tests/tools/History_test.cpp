// SPDX-License-Identifier: GPL-3.0-or-later
// vyx history and vyx report --history over visit folders written here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "tests/support/Process.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

json AsLeft(const char* time, const char* n100, const char* w0, const char* w1, const char* r0) {
    return json::parse(std::string(R"({"format": 1, "device": "VXT-20F.dat", "slave": 247, "mode": "19200,e,8,1",
      "time": ")") + time + R"(", "registers": [
      {"name": "R0", "address": "30001", "type": "INT", "length": "1", "access": "RO", "value": "1", "words": [")" +
                       r0 + R"("]},
      {"name": "N100", "address": "40001", "type": "REAL", "length": "2", "access": "RW", "value": ")" + n100 +
                       R"(", "words": [")" + w0 + R"(", ")" + w1 + R"("]},
      {"name": "Numer fabryczny", "address": "40059", "type": "WORD", "length": "1", "access": "RO",
       "value": "10234", "words": ["27FA"]}]})");
}

class HistoryToolTest : public ::testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("vyx-history-tool-" + std::to_string(::getpid()));
    fs::path visits = root / "raporty";
    void SetUp() override {
        const auto write = [](const fs::path& file, const std::string& text) {
            fs::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary) << text;
        };
        write(visits / "v1" / "stan-pozostawiony.json", AsLeft("2026-01-05T10:00:00+01:00", "1000,00", "447A", "0000", "0005").dump());
        write(visits / "v2" / "stan-pozostawiony.json", AsLeft("2026-06-10T12:00:00+02:00", "1002,00", "447A", "8000", "0009").dump());
        write(visits / "v2" / "wizyta.json",
              R"({"format": 1, "date": "2026-06-10T12:30:00+02:00", "technician": "Anna Nowak", "report": "R-17", "points": ["400R"]})");
        write(visits / "v3" / "stan-pozostawiony.json", AsLeft("2026-12-08T09:00:00+01:00", "1005,00", "447B", "4000", "0007").dump());
        write(visits / "v3" / "wizyta.json", "not json");
        write(visits / "broken" / "stan-pozostawiony.json", "{");
        write(root / "now.json", AsLeft("2027-01-04T09:00:00+01:00", "1010,00", "447C", "8000", "0001").dump());
    }
    void TearDown() override { fs::remove_all(root); }
    vyx::test::TRun Vyx(const std::vector<std::string>& args) const { return vyx::test::RunToEnd(VYX_BINARY, args); }
};

TEST_F(HistoryToolTest, ListsEachVisitAndChangedWritableRegister) {
    const auto table = Vyx({"history", "--serial", "10234", visits.string()});
    ASSERT_EQ(table.Status, 0) << table.Err;
    EXPECT_EQ(table.Out,
              "Data                       Technik     Raport  Rejestr     Wartość\n"
              "2026-01-05T10:00:00+01:00  -           -       40001 N100  1000,00\n"
              "2026-06-10T12:30:00+02:00  Anna Nowak  R-17    40001 N100  1002,00\n"
              "2026-12-08T09:00:00+01:00  -           -       40001 N100  1005,00\n");
    EXPECT_NE(table.Err.find("passed over"), std::string::npos) << table.Err;

    const auto csv = Vyx({"history", "--csv", "--serial", "10234", visits.string()});
    ASSERT_EQ(csv.Status, 0) << csv.Err;
    EXPECT_EQ(csv.Out,
              "date,technician,report,register,value\n"
              "2026-01-05T10:00:00+01:00,,,40001 N100,\"1000,00\"\n"
              "2026-06-10T12:30:00+02:00,Anna Nowak,R-17,40001 N100,\"1002,00\"\n"
              "2026-12-08T09:00:00+01:00,,,40001 N100,\"1005,00\"\n");

    struct Case {
        std::vector<std::string> args;
        int status;
    };
    for (const Case& c : {Case{{"history", "--serial", "999", visits.string()}, 3},
                          Case{{"history", visits.string()}, 2},
                          Case{{"history", "--serial", "10234"}, 2},
                          Case{{"history", "--serial", "10234", (root / "missing").string()}, 1},
                          Case{{"history", "--help"}, 0}})
        EXPECT_EQ(Vyx(c.args).Status, c.status) << c.args[1];
}

TEST_F(HistoryToolTest, TheReportSaysWhatChangedSinceTheLastVisit) {
    const fs::path out = root / "raport.html";
    const auto r = Vyx({"report", "--before", (visits / "v3" / "stan-pozostawiony.json").string(), "--after",
                        (root / "now.json").string(), "--history", visits.string(), "-o", out.string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::ifstream in(out, std::ios::binary);
    const std::string doc{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(doc.find("<h2>Od ostatniej wizyty</h2>"), std::string::npos);
    EXPECT_NE(doc.find("<td>27 dni</td>"), std::string::npos);
    EXPECT_NE(doc.find("<td>40001</td><td>N100</td><td>1005,00</td><td>1010,00</td><td>+5,00</td><td>+0,50 %</td>"),
              std::string::npos);
    // Without --history the section is not there.
    const auto plain = Vyx({"report", "--before", (visits / "v3" / "stan-pozostawiony.json").string(), "--after",
                            (root / "now.json").string()});
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_EQ(plain.Out.find("Od ostatniej wizyty"), std::string::npos);
}

}  // namespace
