// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A test with simulators at hand: each test gets a folder of its own, which is
// the simulators' runtime folder (so their links land in FOLDER/vyx) and this
// process's too (so the port list looks there); `vyx sim` runs on a
// pseudo-terminal until the test ends, which stops every simulator it started
// and removes the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace vyx::test {

class SimulatorTest : public ::testing::Test {
protected:
    // `program` is the built `vyx`; the folder is vyx-NAME-test-PID in the
    // system's temporary folder.
    SimulatorTest(std::string program, const std::string& name);
    ~SimulatorTest() override;

    // Starts `vyx sim DEVICE OPTIONS...`; the path of its terminal, empty when it
    // printed none in time.
    std::string StartSim(const std::string& device, const std::vector<std::string>& options = {});
    // The simulator started last.
    TProcess& Sim() { return *sims.back(); }

    // Runs `vyx ARGS...` to its end with a first-byte wait of a second: a
    // simulator is another process, which a busy machine may run late, and a
    // long wait keeps that from turning a reply into a time-out while costing
    // nothing when the reply comes. A test that expects silence gives its own
    // --wait, which the later one overrides.
    TRun Vyx(std::vector<std::string> args) const;

    const std::string program;
    std::filesystem::path folder;
    std::vector<std::unique_ptr<TProcess>> sims;
};

}  // namespace vyx::test
