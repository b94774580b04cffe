// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/Presence.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

#include "net/Address.h"
#include "port/PortList.h"
#include "serial/Serial.h"

namespace vyx {

bool AdapterPresent(const std::string& portName) {
    if (portName.empty() || net::IsNetworkName(portName)) return false;
#ifdef _WIN32
    // "\\.\COM7" and "com7" name the same port as the listed "COM7".
    std::string name = portName.substr(portName.rfind('\\') == std::string::npos ? 0 : portName.rfind('\\') + 1);
    auto same = [&name](const std::string& listed) {
        return std::equal(listed.begin(), listed.end(), name.begin(), name.end(),
                          [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) ==
                                                      std::toupper(static_cast<unsigned char>(b)); });
    };
    const std::vector<std::string> ports = ListPorts();
    if (std::any_of(ports.begin(), ports.end(), same)) return true;
    // A port the lists leave out (a virtual port's driver, a port wine maps to a
    // Linux device) is there for as long as the system knows its device name:
    // an adapter pulled out takes its name with it.
    const std::wstring wide(name.begin(), name.end());
    wchar_t target[1024];
    return QueryDosDeviceW(wide.c_str(), target, 1024) != 0;
#else
    const std::string path = PortPathFromName(portName);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    return !IsStaleSimulatorLink(path);
#endif
}

bool MayComeBack(const std::string& portName) {
    if (net::IsNetworkName(portName)) return false;
#ifdef _WIN32
    return true;
#else
    return PortPathFromName(portName).rfind("/dev/pts/", 0) != 0;
#endif
}

}  // namespace vyx
