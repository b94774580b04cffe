// SPDX-License-Identifier: GPL-3.0-or-later
// The ports of a POSIX system: sysfs for the serial lines, udev's by-id links
// for the adapters' names, and the simulators' links of this user.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "port/PortList.h"

namespace vyx {
namespace {

// A serial-core port (it has a "type" attribute) is real only when a UART was
// detected behind it; the kernel registers placeholder ttyS ports of type 0.
bool HasUart(const std::filesystem::path& ttyEntry) {
    std::error_code ec;
    const auto typeFile = ttyEntry / "type";
    if (!std::filesystem::exists(typeFile, ec)) return true;
    std::ifstream in(typeFile);
    long type = 0;
    if (!(in >> type)) return false;
    return type != 0;
}

}  // namespace

std::vector<std::string> ListPorts() { return ListPorts("/sys/class/tty", SimulatorFolder()); }

std::vector<TPortEntry> ListPortEntries() {
    return ListPortEntries("/sys/class/tty", SimulatorFolder(), "/dev/serial/by-id");
}

std::vector<std::string> ListPorts(const std::string& ttyClassFolder,
                                   const std::string& simulatorFolder) {
    std::vector<std::string> ports;
    for (TPortEntry& e : ListPortEntries(ttyClassFolder, simulatorFolder, {})) ports.push_back(std::move(e.Path));
    return ports;
}

std::vector<TPortEntry> ListPortEntries(const std::string& ttyClassFolder, const std::string& simulatorFolder,
                                        const std::string& byIdFolder) {
    namespace fs = std::filesystem;
    std::vector<TPortEntry> ports;
    std::error_code ec;

    std::vector<std::string> names;
    for (fs::directory_iterator it(ttyClassFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        std::error_code dec;
        if (!fs::exists(entry / "device", dec) || !HasUart(entry)) continue;
        names.push_back(entry.filename().string());
    }
    std::sort(names.begin(), names.end(), PortNameLess);

    // udev's stable links, by the tty name they point at (first in name order).
    std::map<std::string, std::string> stable;
    std::vector<std::string> byId;
    ec.clear();
    if (!byIdFolder.empty())
        for (fs::directory_iterator it(byIdFolder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code lec;
            if (it->is_symlink(lec)) byId.push_back(it->path().filename().string());
        }
    std::sort(byId.begin(), byId.end(), PortNameLess);
    for (const std::string& link : byId) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(fs::path(byIdFolder) / link, lec);
        if (!lec) stable.emplace(target.filename().string(), link);
    }

    ports.reserve(names.size());
    for (const std::string& name : names) {
        const auto it = stable.find(name);
        if (it == stable.end())
            ports.push_back({.Path = "/dev/" + name});
        else
            ports.push_back({.Path = (fs::path(byIdFolder) / it->second).string(),
                             .Adapter = AdapterName(it->second),
                             .Device = "/dev/" + name});
    }

    std::vector<std::string> links;
    ec.clear();
    for (fs::directory_iterator it(simulatorFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code lec;
        if (!it->is_symlink(lec) || !fs::exists(it->path(), lec) || IsStaleSimulatorLink(it->path().string()))
            continue;
        links.push_back(it->path().string());
    }
    std::sort(links.begin(), links.end(), PortNameLess);
    for (std::string& link : links) ports.push_back({.Path = std::move(link)});
    return ports;
}

std::string AdapterName(const std::string& byIdLinkName) {
    std::string name = byIdLinkName;
    if (name.rfind("usb-", 0) == 0) name.erase(0, 4);
    // The interface and port suffix: "-if00" or "-if00-port0".
    const std::size_t at = name.rfind("-if");
    if (at != std::string::npos && at > 0) {
        std::size_t i = at + 3;
        while (i < name.size() && std::isxdigit(static_cast<unsigned char>(name[i]))) ++i;
        if (i > at + 3 && (i == name.size() || name.compare(i, 5, "-port") == 0)) name.erase(at);
    }
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

std::string SimulatorFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/vyx";
    return "/tmp/vyx-" + std::to_string(getuid());
}

std::string SimulatorLockPath(const std::string& link) {
    const std::filesystem::path path(link);
    return (path.parent_path() / ("." + path.filename().string() + ".lock")).string();
}

bool IsStaleSimulatorLink(const std::string& link) {
    const int fd = ::open(SimulatorLockPath(link).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;  // no lock file: not a simulator's link, judged by its target alone
    const bool free = flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

}  // namespace vyx
#endif
