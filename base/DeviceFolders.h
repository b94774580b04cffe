// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where device files (*.dat) are looked for, by the window's device list and by
// `vyx backup`, `vyx diff` and `vyx restore`. An installed program cannot keep
// its device files beside itself, so on Linux two more folders follow its own:
//   1. the program's folder;
//   2. the user's: $XDG_DATA_HOME/vyx-cfg/devices, else
//      ~/.local/share/vyx-cfg/devices (left out when neither is set);
//   3. the shared one beside an installed program:
//      PROGRAM_FOLDER/../share/vyx-cfg/devices (/usr/share/vyx-cfg/devices for
//      a program in /usr/bin).
// On Windows the program's folder is the only one. A name found in more than one
// folder is taken from the first.
#include <filesystem>
#include <vector>

namespace vyx {

// The folders in the order above; whether they exist is not looked at.
std::vector<std::filesystem::path> DeviceFolders(const std::filesystem::path& programFolder);

// The first folder's entry NAME (a bare file name), or an empty path when no
// folder holds it. A folder that is missing or unreadable is passed over.
std::filesystem::path FindDeviceFile(const std::vector<std::filesystem::path>& folders,
                                     const std::filesystem::path& name);

}  // namespace vyx
