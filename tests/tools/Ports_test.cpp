// SPDX-License-Identifier: GPL-3.0-or-later
// vyx ports: the window's port list on the command line, as text and as JSON.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/Process.h"
#include "tests/support/Pty.h"

namespace fs = std::filesystem;

namespace {

TEST(PortsTool, ListsASimulatorAsTextAndJson) {
    const fs::path runtime = fs::temp_directory_path() / ("vyx-ports-tool-" + std::to_string(::getpid()));
    fs::create_directories(runtime / "vyx");
    vyx::test::TPty pty;
    const fs::path link = runtime / "vyx" / "VXT-20F";
    fs::create_symlink(pty.SlavePath(), link);
    const std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", runtime.string()}};

    const auto text = vyx::test::RunToEnd(VYX_BINARY, {"ports"}, env);
    EXPECT_EQ(text.Status, 0) << text.Err;
    // The simulators come last, after the system's own ports.
    const std::string last = "\n" + text.Out;
    EXPECT_EQ(last.substr(last.rfind('\n', last.size() - 2)), "\n" + link.string() + "\n") << text.Out;

    const auto json = vyx::test::RunToEnd(VYX_BINARY, {"ports", "--json"}, env);
    ASSERT_EQ(json.Status, 0) << json.Err;
    const auto list = nlohmann::json::parse(json.Out);
    ASSERT_TRUE(list.is_array() && !list.empty()) << json.Out;
    EXPECT_EQ(list.back(), nlohmann::json::parse(R"({"port": ")" + link.string() + R"(", "label": ")" +
                                                 link.string() + R"(", "adapter": "", "device": "",
        "manufacturer": "", "vid": "", "pid": "", "serial": ""})"));
    EXPECT_EQ(vyx::test::RunToEnd(VYX_BINARY, {"ports", "--jsn"}, env).Status, 2);
    fs::remove_all(runtime);
}

}  // namespace
