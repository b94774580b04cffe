// SPDX-License-Identifier: GPL-3.0-or-later
// vyx through a serial device server: the simulator serves RTU over TCP and
// Modbus TCP on the loopback, and read, write, walk and scan reach it by name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/ModbusTcpSlave.h"
#include "tests/support/Simulator.h"

namespace {

const std::string kDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

std::vector<std::string> OutputLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class NetworkTest : public vyx::test::SimulatorTest {
protected:
    NetworkTest() : SimulatorTest(VYX_BINARY, "network") {}

    // Starts a simulator serving both framings; their addresses as it printed them.
    std::vector<std::string> Start(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--tcp", "0", "--mbtcp", "0"});
        if (StartSim(kDevice, options).empty()) return {};
        return {Sim().Line(1), Sim().Line(2)};
    }
};

TEST_F(NetworkTest, ReadWriteAndWalkOverBothFramings) {
    const std::vector<std::string> ports = Start({"--noise", "0"});
    ASSERT_EQ(ports.size(), 2u);
    ASSERT_EQ(ports[0].rfind("tcp://127.0.0.1:", 0), 0u) << ports[0];
    ASSERT_EQ(ports[1].rfind("mbtcp://127.0.0.1:", 0), 0u) << ports[1];
    // A bare HOST:PORT is RTU over TCP too.
    const std::string bare = ports[0].substr(6);
    const std::string values[] = {"1500,25", "-2,50", "7,00"};
    const std::string names[] = {ports[0], ports[1], bare};
    for (size_t i = 0; i < 3; ++i) {
        const std::string& port = names[i];
        const auto w = Vyx({"write", "--port", port, "--file", kDevice, "N100", values[i]});
        EXPECT_EQ(w.Status, 0) << port << w.Err;
        const auto r = Vyx({"read", "--port", port, "--file", kDevice, "N100"});
        EXPECT_EQ(r.Out, "40001  N100        " + values[i] + "\n") << port << r.Err;
        const auto walk = Vyx({"walk", "--port", port, "--file", kDevice, "Pomiar"});
        EXPECT_EQ(walk.Status, 0) << port << walk.Err;
        EXPECT_EQ(OutputLines(walk.Out).size(), 8u) << port << walk.Out;
    }
    // The pane's lines carry the MBAP header on Modbus TCP, the CRC on RTU over TCP.
    const auto mb = Vyx({"read", "--port", ports[1], "--file", kDevice, "N100", "--hex"});
    EXPECT_EQ(OutputLines(mb.Out).at(0), "< $000100000006F70300000002") << mb.Out;
    const auto rtu = Vyx({"read", "--port", ports[0], "--file", kDevice, "N100", "--hex"});
    EXPECT_EQ(OutputLines(rtu.Out).at(0), "< $F70300000002D09D") << rtu.Out;
}

TEST_F(NetworkTest, FaultsOfTheSimulatorReachTheMasterAsOnTheLine) {
    // Modbus TCP carries no CRC: the simulator's broken one goes as a damaged header.
    const struct {
        std::vector<std::string> options;
        int status;
        const char* rtu;
        const char* mbap;
    } cases[] = {
        {{"--crc-errors", "1"}, 2, "crc_error", "damaged reply: MBAP header (protocol 23130)"},
        {{"--exceptions", "1"}, 3, "exception", "exception"},
        {{"--silence", "1"}, 4, "no reply", "no reply"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> ports = Start(c.options);
        ASSERT_EQ(ports.size(), 2u);
        for (const std::string& port : ports) {
            const auto r = Vyx({"read", "--port", port, "--address", "40001", "--wait", "1000"});
            EXPECT_EQ(r.Status, c.status) << port << " " << c.options[0] << r.Err;
            const char* said = port == ports[0] ? c.rtu : c.mbap;
            EXPECT_NE(r.Err.find(said), std::string::npos) << port << " " << r.Err;
        }
    }
}

TEST_F(NetworkTest, ScanTriesUnitIdsAndRefusesLineSettings) {
    const std::vector<std::string> ports = Start({"--slave", "5"});
    ASSERT_EQ(ports.size(), 2u);
    const auto scan = Vyx({"scan", "--port", ports[1], "--slaves", "3-6", "--wait", "1000"});
    EXPECT_EQ(scan.Status, 0) << scan.Err;
    const std::vector<std::string> found = OutputLines(scan.Out);
    ASSERT_EQ(found.size(), 1u) << scan.Out;
    EXPECT_NE(found[0].find("slave 5 "), std::string::npos) << found[0];
    for (const char* option : {"--bauds", "--parities"}) {
        const auto refused = Vyx({"scan", "--port", ports[1], option, "e"});
        EXPECT_EQ(refused.Status, 2) << option;
        EXPECT_NE(refused.Err.find("network port"), std::string::npos) << refused.Err;
    }
}

TEST_F(NetworkTest, RefusedConnectionsAndForeignAddressesAreSaid) {
    const auto r = Vyx({"read", "--port", "mbtcp://127.0.0.1:" + std::to_string(vyx::test::ClosedPort()),
                        "--address", "40001"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("connection refused"), std::string::npos) << r.Err;
    // The simulator binds the loopback only, unless told otherwise.
    const auto sim = vyx::test::RunToEnd(program, {"sim", kDevice, "--tcp", "192.0.2.1:0"});
    EXPECT_EQ(sim.Status, 2);
    EXPECT_NE(sim.Err.find("not the loopback"), std::string::npos) << sim.Err;
}

}  // namespace

namespace {

TEST_F(NetworkTest, ASnapshotOfANetworkPortKeepsItsNameInsteadOfALineMode) {
    const std::vector<std::string> ports = Start({"--noise", "0"});
    ASSERT_EQ(ports.size(), 2u);
    const std::string file = (folder / "unit.json").string();
    const auto backup = Vyx({"backup", "--port", ports[1], "--file", kDevice, "-o", file});
    EXPECT_EQ(backup.Status, 0) << backup.Err;
    std::ifstream in(file);
    const nlohmann::json doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc.value("port", ""), ports[1]);
    EXPECT_FALSE(doc.contains("mode"));
    // The snapshot reads back, and compares equal with the live device over the other framing.
    // The other framing is another name: a note says so.
    const auto diff = Vyx({"diff", file, "--port", ports[0]});
    EXPECT_EQ(diff.Status, 0) << diff.Out << diff.Err;
    EXPECT_NE(diff.Err.find("was taken on " + ports[1]), std::string::npos) << diff.Err;
    // A restore does not go to another name unasked, nor guess one; either way the snapshot's port is named.
    const struct {
        std::vector<std::string> args;
        int status;
    } refused[] = {
        {{"restore", file, "--port", ports[0], "--yes"}, 1},
        {{"restore", file, "--yes"}, 2},
        {{"diff", file}, 2},
    };
    for (const auto& c : refused) {
        const auto r = Vyx(c.args);
        EXPECT_EQ(r.Status, c.status) << c.args[0] << " " << r.Err;
        EXPECT_NE(r.Err.find("taken on " + ports[1]), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "") << c.args[0];
    }
    EXPECT_EQ(Vyx({"restore", file, "--port", ports[1]}).Status, 0);
}

}  // namespace

namespace {

TEST_F(NetworkTest, WithoutItsTerminalTheSimulatorServesOnlyItsAddresses) {
    const std::string port = StartSim(kDevice, {"--noise", "0", "--no-pty", "--mbtcp", "0"});
    ASSERT_EQ(port.rfind("mbtcp://127.0.0.1:", 0), 0u) << port;
    // No terminal, so no link in the simulator folder for the port list.
    std::error_code ec;
    EXPECT_TRUE(!std::filesystem::exists(folder / "vyx", ec) || std::filesystem::is_empty(folder / "vyx", ec));
    const auto r = Vyx({"read", "--port", port, "--file", kDevice, "N100"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("40001  N100", 0), 0u) << r.Out;
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"--no-pty"}, {"--no-pty", "--tcp", "0", "--mode", "9600,n,8,1"}}) {
        std::vector<std::string> args = {"sim", kDevice};
        args.insert(args.end(), refused.begin(), refused.end());
        const auto sim = vyx::test::RunToEnd(program, args);
        EXPECT_EQ(sim.Status, 2) << sim.Err;
        EXPECT_NE(sim.Err.find("--no-pty"), std::string::npos) << sim.Err;
    }
}

}  // namespace
