// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration records: their JSON form, appending runs to a record file and the
// refusal of a file that is not one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>

#include "base/Error.h"
#include "service/CalibrationRecord.h"

using namespace vyx;
using namespace vyx::service;
namespace fs = std::filesystem;

namespace {

TCalibrationRun SampleRun(bool differs) {
    TCalibrationRun run;
    run.Time = "2026-12-08T14:30:05+01:00";
    run.Device = "VXT-20F.dat";
    run.Slave = 247;
    run.Point = "100R";
    run.Readings = {"999", "1000", "1001"};
    run.Mean = "1000";
    run.Err = "0,471";
    TCalibrationWrite w;
    w.Name = "N100";
    w.Address = "40001";
    w.Before = {"998,00", {0x4479, 0x8000}, ""};
    w.Written = "1000";
    w.WrittenWords = {0x447A, 0x0000};
    w.Sent = true;
    w.After = TRecordedValue{differs ? "998,00" : "1000,00", differs ? w.Before.Words : w.WrittenWords, ""};
    run.Write = w;
    return run;
}

std::string Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RecordFile : public ::testing::Test {
protected:
    RecordFile() {
        folder = fs::temp_directory_path() / ("vyx-record-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
    }
    ~RecordFile() override { fs::remove_all(folder); }
    fs::path folder;
};

}  // namespace

TEST(CalibrationRecord, VerificationComparesWordsNotTexts) {
    const TCalibrationRun good = SampleRun(false);
    EXPECT_TRUE(good.Write->Verified());  // "1000" written, "1000,00" read: the same words
    EXPECT_EQ(good.Write->Verification(), "zweryfikowano");
    const TCalibrationRun bad = SampleRun(true);
    EXPECT_FALSE(bad.Write->Verified());
    EXPECT_EQ(bad.Write->Verification(), "odczytano 998,00 [4479 8000] zamiast 1000 [447A 0000]");
}

TEST(CalibrationRecord, RunSurvivesItsJsonForm) {
    TCalibrationRun declined = SampleRun(false);
    declined.Write->Sent = false;
    declined.Write->Declined = true;
    declined.Write->After.reset();
    for (const TCalibrationRun& run : {SampleRun(false), SampleRun(true), declined}) {
        const auto doc = RunToJson(run);
        EXPECT_EQ(doc["write"]["verified"], run.Write->Verified());
        EXPECT_EQ(doc["write"]["verification"], run.Write->Verification());
        // Only a declined write has the key: records written before stay as they were.
        EXPECT_EQ(doc["write"].contains("declined"), run.Write->Declined);
        const TCalibrationRun back = RunFromJson(nlohmann::json::parse(doc.dump()));
        EXPECT_EQ(back.Write->Declined, run.Write->Declined);
        EXPECT_EQ(RunToJson(back), doc);
    }
    EXPECT_EQ(declined.Write->Verification(), "nie zapisano: nie potwierdzono");
}

TEST_F(RecordFile, AppendingCreatesTheFileThenAddsRuns) {
    const fs::path file = folder / "record.json";
    AppendCalibrationRun(file, SampleRun(false));
    AppendCalibrationRun(file, SampleRun(true));
    const std::vector<TCalibrationRun> runs = LoadCalibrationRecord(file);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].Write->Verified());
    EXPECT_FALSE(runs[1].Write->Verified());
    EXPECT_EQ(runs[1].Readings, SampleRun(true).Readings);
}

TEST_F(RecordFile, ADamagedOrForeignFileIsRefusedAndLeftAsItWas) {
    auto changed = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::string good = RecordToJson({SampleRun(false)}).dump(2);
    const struct {
        const char* name;
        std::string bytes;
        const char* fault;
    } cases[] = {
        {"empty", "", "not JSON"},
        {"cut short", good.substr(0, good.size() / 2), "not JSON"},
        {"a snapshot", R"({"format": 1, "device": "VXT-20F.dat", "registers": []})", "kind: missing"},
        {"another format", changed(good, "\"format\": 1", "\"format\": 2"), "format: 2"},
        {"a bad word", changed(good, "\"447A\"", "\"44G4\""), "runs[0].write.written.words[0]"},
        {"a verdict against its words", changed(good, "\"verified\": true", "\"verified\": false"),
         "runs[0].write.verified"},
        {"a count of other readings", changed(good, "\"count\": 3", "\"count\": 4"), "runs[0].count"},
        {"a write sent and declined", changed(good, "\"sent\": true", "\"sent\": true, \"declined\": true"),
         "runs[0].write.declined"},
    };
    const fs::path file = folder / "record.json";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
        try {
            AppendCalibrationRun(file, SampleRun(false));
            ADD_FAILURE() << "appended";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("record.json"), std::string::npos) << e.what();
        }
        EXPECT_EQ(Bytes(file), c.bytes);
    }
}

TEST(CalibrationRecord, LocalTimeHasItsOffset) {
    EXPECT_TRUE(std::regex_match(LocalTimeText(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << LocalTimeText();
}
