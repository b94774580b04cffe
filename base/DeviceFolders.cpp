// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DeviceFolders.h"

#include <cstdlib>

namespace vyx {
namespace fs = std::filesystem;

std::vector<fs::path> DeviceFolders(const fs::path& programFolder) {
    std::vector<fs::path> folders{programFolder};
#ifndef _WIN32
    // The same rule as the state folder's (ui/Journal.h): a set variable wins.
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data != nullptr && *data != '\0')
        folders.push_back(fs::path(data) / "vyx-cfg" / "devices");
    else if (home != nullptr && *home != '\0')
        folders.push_back(fs::path(home) / ".local" / "share" / "vyx-cfg" / "devices");
    folders.push_back((programFolder / ".." / "share" / "vyx-cfg" / "devices").lexically_normal());
#endif
    return folders;
}

fs::path FindDeviceFile(const std::vector<fs::path>& folders, const fs::path& name) {
    for (const fs::path& folder : folders) {
        std::error_code ec;
        fs::path candidate = folder / name;
        if (fs::exists(candidate, ec)) return candidate;
    }
    return {};
}

}  // namespace vyx
