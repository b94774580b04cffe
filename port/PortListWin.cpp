// SPDX-License-Identifier: GPL-3.0-or-later
// The serial ports of a Windows system, from the registry.
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "port/PortList.h"

namespace vyx {

std::vector<TPortEntry> ListPortEntries() {
    std::vector<TPortEntry> entries;
    for (std::string& port : ListPorts()) entries.push_back({std::move(port), {}, {}});
    return entries;
}

std::vector<std::string> ListPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof name;
        BYTE data[1024];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG r = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue;  // a value too long for a port name
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::string text(reinterpret_cast<const char*>(data), dataLength);
        text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
        ports.push_back(text);
    }
    RegCloseKey(key);
    return ports;
}

}  // namespace vyx
#endif
