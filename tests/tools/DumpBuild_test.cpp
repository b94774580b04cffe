// SPDX-License-Identifier: GPL-3.0-or-later
// vyx dump and vyx build as a device engineer uses them, run as the built binary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "registers/RegisterFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/Process.h"
#include "tests/support/Pty.h"
#include "tests/support/TreeCompare.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::RunToEnd;

const std::string kTool = VYX_BINARY;
const fs::path kDevices = VYX_DEVICES_DIR;
const fs::path kSources = fs::path(VYX_SOURCE_DIR) / "devices";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class VyxTool : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vyx-tool-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Builds `text` as JSON into a file and returns the run.
    test::TRun Build(const std::string& text, const fs::path& output) {
        WriteText(dir_ / "in.json", text);
        return RunToEnd(kTool, {"build", (dir_ / "in.json").string(), "-o", output.string()});
    }

    fs::path dir_;
};

TEST_F(VyxTool, Help) {
    const auto top = RunToEnd(kTool, {"--help"});
    EXPECT_EQ(top.Status, 0);
    EXPECT_NE(top.Out.find("dump"), std::string::npos);
    EXPECT_NE(top.Out.find("build"), std::string::npos);
    for (const char* command : {"dump", "build"}) {
        SCOPED_TRACE(command);
        const auto help = RunToEnd(kTool, {command, "--help"});
        EXPECT_EQ(help.Status, 0);
        EXPECT_EQ(help.Out.rfind(std::string("Usage: vyx ") + command, 0), 0u) << help.Out;
    }
    EXPECT_EQ(RunToEnd(kTool, {}).Status, 2);
    const auto unknown = RunToEnd(kTool, {"frobnicate"});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_NE(unknown.Err.find("unknown command"), std::string::npos);
    EXPECT_EQ(RunToEnd(kTool, {"dump"}).Status, 2);
    EXPECT_EQ(RunToEnd(kTool, {"build", "a.json"}).Status, 2);
}

TEST_F(VyxTool, DumpPrintsEveryKeyInOrder) {
    test::FileBytes f;
    f.Magic(1);
    f.Begin(1).Begin(2).Base01(1, 21, 0xE1, 40, 4, 1);
    f.Begin(1).Begin(2).Base01(0, 18, 0x01, 50, 2, 3).End();
    f.Begin(4).Str06("Bit").Str06("").Str06("").Str06("BIT").Str06("").Str06("").Str06("$05").End().End();
    f.End();
    f.Begin(4).Str14("Stan urządzenia").Str06("uwaga").Str06("30013").Str06("HEX").Str06("1")
        .Str06("RO").Str06("$05").End();
    f.End();
    const auto path = dir_ / "old.dat";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.Bytes().data()), static_cast<std::streamsize>(f.Size()));

    const auto run = RunToEnd(kTool, {"dump", path.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    const auto doc = nlohmann::ordered_json::parse(run.Out);
    EXPECT_EQ(doc["version"], 1);
    ASSERT_EQ(doc["nodes"].size(), 1u);
    const auto& node = doc["nodes"][0];
    std::vector<std::string> keys;
    for (const auto& item : node.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"Name", "Note", "Address", "DataType", "Length", "Access",
                                              "Value", "CheckState", "CheckType", "States", "NodeHeight",
                                              "Align", "children"}));
    EXPECT_EQ(node["Name"], "Stan urządzenia");
    EXPECT_EQ(node["Address"], "30013");
    EXPECT_EQ(node["States"], 0xE1);
    EXPECT_EQ(node["NodeHeight"], 21);
    EXPECT_EQ(node["Align"], 40);
    EXPECT_EQ(node["CheckState"], 4);
    EXPECT_EQ(node["CheckType"], 1);
    ASSERT_EQ(node["children"].size(), 1u);
    EXPECT_EQ(node["children"][0]["States"], 0x81) << "visible set by the old layout";
    EXPECT_EQ(node["children"][0]["Value"], "$05");
    EXPECT_TRUE(node["children"][0]["children"].is_array());
    EXPECT_TRUE(node["children"][0]["children"].empty());
}

TEST_F(VyxTool, DumpOfAFileThatDoesNotLoad) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::string message;
    };
    const Case cases[] = {
        {test::HexBytes("45 20 56 00"), "Unable to load tree structure, not enough data available."},
        {test::FileBytes().Magic(3).U32(0).Bytes(), "Unable to load tree structure, the version is unknown."},
        {test::FileBytes().Magic(2).U32(2).SimpleNode2(u"A").Hex("01 00").Bytes(), "Stream read error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const auto path = dir_ / "bad.dat";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
        const auto run = RunToEnd(kTool, {"dump", path.string()});
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Out, "") << "nothing on standard output";
        EXPECT_EQ(run.Err, c.message + "\n");
    }
    const auto missing = RunToEnd(kTool, {"dump", (dir_ / "none.dat").string()});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Out, "");
    EXPECT_EQ(missing.Err, "Cannot open file \"" + (dir_ / "none.dat").string() + "\". No such file or directory\n");
}

TEST_F(VyxTool, BuildFillsWhatIsLeftOut) {
    const auto out = dir_ / "min.dat";
    const auto run = Build(R"({"nodes": [{"Name": "Grupa", "children": [{"Name": "R", "Value": "1,50"}]},
                                         {"Name": "Ukryty", "States": 0, "NodeHeight": 40}]})",
                           out);
    ASSERT_EQ(run.Status, 0) << run.Err;
    TRegisterTree tree;
    ASSERT_EQ(LoadRegisterFile(tree, out), 2);
    ASSERT_EQ(tree.Count(), 3u);
    const TNode* group = tree.First();
    EXPECT_EQ(group->States, kStateInitialized | kStateVisible | kStateHasChildren);
    EXPECT_EQ(group->Align, 50);
    EXPECT_EQ(group->CheckType, 0);
    EXPECT_EQ(group->CheckState, 0);
    EXPECT_EQ(group->NodeHeight, kDefaultNodeHeight);
    EXPECT_EQ(group->Record, (TRegData{u"Grupa", u"", u"", u"", u"", u"", u""}));
    EXPECT_EQ(group->Child(0)->States, kStateInitialized | kStateVisible);
    EXPECT_EQ(group->Child(0)->Record.Value, u"1,50");
    EXPECT_EQ(tree.TopLevel(1)->States, kStateInitialized) << "given states are taken as they are";
    EXPECT_EQ(tree.TopLevel(1)->NodeHeight, 40);
}

TEST_F(VyxTool, BuildRefusesBadInputAndMakesNoFile) {
    struct Case {
        std::string json;
        std::string place;  // must appear in the message
    };
    const Case cases[] = {
        {R"({"nodes": [{"Name": "A",}]})", "line 1"},
        {"{\"nodes\": [\n{\"Name\": \"A\"},\n{\"Name\": \"B\" \"Note\": \"x\"}]}", "line 3"},
        {R"({"nodes": [{"Name": "A", "children": [{"Name": "b", "Length": 2}]}]})",
         "nodes[0].children[0].Length: expected a string"},
        {R"({"nodes": [{"Name": "A"}, {"Note": "bez nazwy"}]})", "nodes[1]: missing key \"Name\""},
        {R"({"nodes": [{"Name": "A", "Adress": "40001"}]})", "nodes[0]: unknown key \"Adress\""},
        {R"({"nodes": [{"Name": "A", "CheckState": 256}]})", "nodes[0].CheckState: expected an integer from 0 to 255"},
        {R"({"nodes": [{"Name": "A", "States": -1}]})", "nodes[0].States: expected an integer from 0 to 65535"},
        {R"({"nodes": [{"Name": "A", "Align": 1.5}]})", "nodes[0].Align: expected an integer"},
        {R"({"nodes": [{"Name": "A", "CheckType": "2"}]})", "nodes[0].CheckType: expected an integer"},
        {R"({"nodes": [{"Name": "A", "children": {}}]})", "nodes[0].children: expected an array"},
        {R"({"nodes": [{"Name": null}]})", "nodes[0].Name: expected a string"},
        {R"({"nodes": ["A"]})", "nodes[0]: expected an object"},
        {R"({"nodes": {}})", "nodes: expected an array"},
        {R"({"version": 2})", "missing key \"nodes\""},
        {R"({"nodes": [], "extra": 1})", "unknown key \"extra\""},
        {R"([{"Name": "A"}])", "top level"},
        {"", "line 1"},
    };
    const auto out = dir_ / "out.dat";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const auto run = Build(c.json, out);
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find(c.place), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(out));
    }
    // An existing output stays as it was.
    WriteText(out, "stary");
    EXPECT_EQ(Build(R"({"nodes": [{"Name": 5}]})", out).Status, 1);
    EXPECT_EQ(ReadText(out), "stary");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir_)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"in.json", "out.dat"})) << "no temporary file left";
}

TEST_F(VyxTool, BuildIntoAMissingFolderFails) {
    const auto run = Build(R"({"nodes": [{"Name": "A"}]})", dir_ / "brak" / "out.dat");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Cannot create file"), std::string::npos) << run.Err;
    const auto missingInput = RunToEnd(kTool, {"build", (dir_ / "none.json").string(), "-o", (dir_ / "x.dat").string()});
    EXPECT_EQ(missingInput.Status, 1);
    EXPECT_FALSE(fs::exists(dir_ / "x.dat"));
}

// What stands in the output's place stays what it is: a device and a FIFO get
// the file written into them, a link keeps pointing at its target, which gets it.
TEST_F(VyxTool, BuildOntoADeviceAFifoOrALinkKeepsThem) {
    const std::string json = R"({"nodes": [{"Name": "A"}]})";
    ASSERT_EQ(Build(json, dir_ / "plain.dat").Status, 0);
    const std::string expected = ReadText(dir_ / "plain.dat");

    test::TPty pty;
    const auto device = Build(json, pty.SlavePath());
    EXPECT_EQ(device.Status, 0) << device.Err;
    const auto got = pty.ReadClient(expected.size(), std::chrono::seconds(5));
    EXPECT_EQ(std::string(got.begin(), got.end()), expected);
    EXPECT_EQ(fs::status(pty.SlavePath()).type(), fs::file_type::character);

    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto unread = Build(json, fifo);
    EXPECT_EQ(unread.Status, 1);
    EXPECT_NE(unread.Err.find("nothing reads the FIFO"), std::string::npos) << unread.Err;
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Build(json, fifo).Status, 0);
    std::string fromFifo(4096, '\0');
    const ssize_t n = ::read(reader, fromFifo.data(), fromFifo.size());
    ::close(reader);
    fromFifo.resize(n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_EQ(fromFifo, expected);
    EXPECT_EQ(fs::symlink_status(fifo).type(), fs::file_type::fifo);

    WriteText(dir_ / "target.dat", "stary");
    fs::create_symlink("target.dat", dir_ / "link.dat");
    EXPECT_EQ(Build(json, dir_ / "link.dat").Status, 0);
    EXPECT_EQ(fs::symlink_status(dir_ / "link.dat").type(), fs::file_type::symlink);
    EXPECT_EQ(ReadText(dir_ / "target.dat"), expected);
}

std::string Nested(size_t depth) {
    std::string text = R"({"nodes": [)";
    for (size_t i = 0; i < depth; ++i) text += R"({"Name": "n", "children": [)";
    for (size_t i = 0; i < depth; ++i) text += "]}";
    return text + "]}";
}

TEST_F(VyxTool, BuildKeepsToTheNestingALoaderTakes) {
    const auto out = dir_ / "deep.dat";
    ASSERT_EQ(Build(Nested(kMaxNesting), out).Status, 0);
    TRegisterTree tree;
    LoadRegisterFile(tree, out);
    EXPECT_EQ(tree.Count(), kMaxNesting);
    fs::remove(out);
    const auto run = Build(Nested(kMaxNesting + 1), out);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("nested deeper than 1000 levels"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("in a node at depth 1000"), std::string::npos) << run.Err;
    EXPECT_LT(run.Err.size(), 300u) << "the place is named by its depth, not its whole path";
    EXPECT_FALSE(fs::exists(out));
}

// --- The sample devices --------------------------------------------------------------

class SampleDevice : public VyxTool, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleDevice, LoadSaveLoadKeepsEverything) {
    TRegisterTree first;
    ASSERT_EQ(LoadRegisterFile(first, kDevices / (std::string(GetParam()) + ".dat")), 2);
    SaveRegisterFile(first, dir_ / "copy.dat");
    TRegisterTree second;
    LoadRegisterFile(second, dir_ / "copy.dat");
    test::ExpectSameTree(first, second);
    EXPECT_EQ(ReadText(dir_ / "copy.dat"), ReadText(kDevices / (std::string(GetParam()) + ".dat")));
}

TEST_P(SampleDevice, DumpBuildDumpIsStable) {
    const auto dat = kDevices / (std::string(GetParam()) + ".dat");
    const auto first = RunToEnd(kTool, {"dump", dat.string()});
    ASSERT_EQ(first.Status, 0) << first.Err;
    WriteText(dir_ / "dumped.json", first.Out);
    const auto build = RunToEnd(kTool, {"build", (dir_ / "dumped.json").string(), "-o", (dir_ / "again.dat").string()});
    ASSERT_EQ(build.Status, 0) << build.Err;
    EXPECT_EQ(ReadText(dir_ / "again.dat"), ReadText(dat));
    const auto second = RunToEnd(kTool, {"dump", (dir_ / "again.dat").string()});
    EXPECT_EQ(second.Out, first.Out);
}

TEST_P(SampleDevice, MatchesItsJsonSource) {
    const auto source = json::parse(ReadText(kSources / (std::string(GetParam()) + ".json")));
    const auto run = RunToEnd(kTool, {"dump", (kDevices / (std::string(GetParam()) + ".dat")).string()});
    const auto dumped = json::parse(run.Out);
    // Every key given in the source comes back with its value.
    std::vector<std::pair<const json*, const json*>> pending{{&source["nodes"], &dumped["nodes"]}};
    size_t nodes = 0;
    while (!pending.empty()) {
        auto [src, out] = pending.back();
        pending.pop_back();
        ASSERT_EQ(src->size(), out->size());
        for (size_t i = 0; i < src->size(); ++i) {
            ++nodes;
            for (const auto& [key, value] : (*src)[i].items()) {
                if (key == "children") {
                    pending.push_back({&value, &(*out)[i]["children"]});
                } else if (key == "States") {
                    EXPECT_EQ(value.get<int>() | kStateInitialized, (*out)[i][key]);
                } else {
                    EXPECT_EQ(value, (*out)[i][key]) << key << " of " << (*src)[i]["Name"];
                }
            }
        }
    }
    EXPECT_GT(nodes, 40u);
}

INSTANTIATE_TEST_SUITE_P(Devices, SampleDevice, ::testing::Values("VXT-20F", "VXP-10"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace vyx
