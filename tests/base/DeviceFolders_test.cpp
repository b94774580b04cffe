// SPDX-License-Identifier: GPL-3.0-or-later
// Where device files are looked for: the folders in their order, and the first
// folder holding a name wins.
#include "base/DeviceFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Env.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;
using Folders = std::vector<fs::path>;

#ifndef _WIN32
using TEnv = vyx::test::TEnvVar;

TEST(DeviceFolders, ProgramsThenUsersThenShared) {
    TEnv data("XDG_DATA_HOME"), home("HOME");
    data.Set("/d");
    home.Set("/h");
    EXPECT_EQ(DeviceFolders("/usr/bin"), (Folders{"/usr/bin", "/d/vyx-cfg/devices", "/usr/share/vyx-cfg/devices"}));
    data.Set("");
    EXPECT_EQ(DeviceFolders("/opt/vyx/bin"),
              (Folders{"/opt/vyx/bin", "/h/.local/share/vyx-cfg/devices", "/opt/vyx/share/vyx-cfg/devices"}));
    data.Set(nullptr);
    home.Set(nullptr);
    EXPECT_EQ(DeviceFolders("/usr/bin"), (Folders{"/usr/bin", "/usr/share/vyx-cfg/devices"}));
}
#else
TEST(DeviceFolders, OnlyTheProgramsOnWindows) {
    EXPECT_EQ(DeviceFolders("C:/vyx"), (Folders{"C:/vyx"}));
}
#endif

TEST(DeviceFolders, TheFirstFolderHoldingTheNameWins) {
    const fs::path root = fs::temp_directory_path() / ("vyx-devicefolders-" + std::to_string(std::random_device{}()));
    const fs::path missing = root / "brak", first = root / "pierwszy", second = root / "drugi";
    fs::create_directories(first);
    fs::create_directories(second);
    std::ofstream(first / "a.dat") << "1";
    std::ofstream(second / "a.dat") << "2";
    std::ofstream(second / "b.dat") << "2";
    const Folders folders{missing, first, second};
    EXPECT_EQ(FindDeviceFile(folders, "a.dat"), first / "a.dat");
    EXPECT_EQ(FindDeviceFile(folders, "b.dat"), second / "b.dat");
    EXPECT_EQ(FindDeviceFile(folders, "c.dat"), fs::path());
    EXPECT_EQ(FindDeviceFile({missing}, "a.dat"), fs::path());
    fs::remove_all(root);
}

}  // namespace
}  // namespace vyx
