// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Simulator.h"

#include <unistd.h>

#include <cstdlib>

namespace vyx::test {

SimulatorTest::SimulatorTest(std::string program, const std::string& name) : program(std::move(program)) {
    folder = std::filesystem::temp_directory_path() / ("vyx-" + name + "-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

SimulatorTest::~SimulatorTest() {
    sims.clear();  // each is killed unless the test stopped it
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string SimulatorTest::StartSim(const std::string& device, const std::vector<std::string>& options) {
    std::vector<std::string> args = {"sim", device};
    args.insert(args.end(), options.begin(), options.end());
    sims.push_back(std::make_unique<TProcess>(program, args,
                                              std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", folder}}));
    return sims.back()->FirstLine();
}

TRun SimulatorTest::Vyx(std::vector<std::string> args) const {
    args.insert(args.begin() + (args.empty() ? 0 : 1), {"--wait", "1000"});
    return RunToEnd(program, args);
}

}  // namespace vyx::test
