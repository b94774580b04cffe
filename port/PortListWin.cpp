// SPDX-License-Identifier: GPL-3.0-or-later
// The serial ports of a Windows system: the "Ports (COM & LPT)" device class
// through SetupAPI, with the registry's list of serial ports where that class
// gives none. What the properties mean is read in PortEntries.cpp.
#ifdef _WIN32
#include <windows.h>
// Before the headers that use them.
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <utility>

#include "port/PortList.h"

namespace vyx {
namespace {

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0u, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

// A text (or the first text of a list) up to its first NUL.
std::string Utf8(const std::wstring& text) { return Utf8(text.c_str(), wcsnlen(text.c_str(), text.size())); }

std::string RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::wstring buffer(256, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0;
        DWORD needed = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                              static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed))
            return type == REG_SZ || type == REG_MULTI_SZ ? Utf8(buffer) : std::string();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.assign(needed / sizeof(wchar_t) + 1, L'\0');
    }
    return {};
}

std::string PortNameValue(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    std::wstring name(64, L'\0');
    DWORD size = static_cast<DWORD>((name.size() - 1) * sizeof(wchar_t));
    DWORD type = 0;
    const LONG r = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name.data()), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? Utf8(name) : std::string();
}

std::string DeviceId(DEVINST instance) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(instance, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
    return Utf8(id, wcsnlen(id, MAX_DEVICE_ID_LEN));
}

// The USB device's own id: a port that is one interface of a composite device
// ("USB\VID_2341&PID_8036&MI_00\6&...") has its serial number on its parent.
std::string InstanceId(const SP_DEVINFO_DATA& device) {
    std::string id = DeviceId(device.DevInst);
    DEVINST parent = 0;
    if (id.find("&MI_") != std::string::npos && CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS) {
        std::string parentId = DeviceId(parent);
        if (!parentId.empty()) id = std::move(parentId);
    }
    return id;
}

std::vector<std::string> SerialCommPorts() {
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

}  // namespace

std::vector<TSetupPort> SetupApiPorts() {
    std::vector<TSetupPort> ports;
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        TSetupPort port;
        port.PortName = PortNameValue(set, device);
        port.FriendlyName = RegistryProperty(set, device, SPDRP_FRIENDLYNAME);
        port.Manufacturer = RegistryProperty(set, device, SPDRP_MFG);
        port.HardwareId = RegistryProperty(set, device, SPDRP_HARDWAREID);
        port.InstanceId = InstanceId(device);
        ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

std::vector<TPortEntry> ListPortEntries() { return PortEntriesOf(SetupApiPorts(), SerialCommPorts()); }

std::vector<std::string> ListPorts() {
    std::vector<std::string> ports;
    for (TPortEntry& entry : ListPortEntries()) ports.push_back(std::move(entry.Path));
    return ports;
}

}  // namespace vyx
#endif
