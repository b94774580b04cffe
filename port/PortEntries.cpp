// SPDX-License-Identifier: GPL-3.0-or-later
// The port list's entries apart from any system: their order, their labels,
// the adapter's identity, and an entry made from what SetupAPI tells of a port.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <utility>

#include "port/PortList.h"

namespace vyx {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool EqualWithoutCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Upper(x) == Upper(y);
           });
}

bool ContainsWithoutCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return Upper(x) == Upper(y); }) != text.end();
}

// The four hexadecimal digits after "VID_" (or "PID_"), case aside; 0 where
// there are none.
uint16_t UsbId(std::string_view id, std::string_view tag) {
    for (std::size_t at = 0; at + tag.size() + 4 <= id.size(); ++at) {
        if (!EqualWithoutCase(id.substr(at, tag.size()), tag)) continue;
        // The tag starts a part of the id: "VID_" but not "XVID_".
        if (at > 0 && std::isalnum(static_cast<unsigned char>(id[at - 1]))) continue;
        const std::string_view digits = id.substr(at + tag.size(), 4);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + 4, value, 16);
        if (ec == std::errc() && end == digits.data() + 4) return static_cast<uint16_t>(value);
    }
    return 0;
}

// The serial number in a device instance id, where the device reported one:
// "USB\VID_10C4&PID_EA60\0001" gives "0001"; "USB\VID_1A86&PID_7523\5&2B7E8C3A&0&2"
// none (the system made it up from the place of the device);
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" gives "A50285BI".
std::string SerialOf(std::string_view instanceId) {
    const std::size_t first = instanceId.find('\\');
    if (first == std::string_view::npos) return {};
    const std::string_view enumerator = instanceId.substr(0, first);
    std::string_view rest = instanceId.substr(first + 1);
    if (EqualWithoutCase(enumerator, "FTDIBUS")) {
        // VID_0403+PID_6001+SERIAL\0000: the serial number ends in the channel's letter.
        const std::size_t plus = rest.rfind('+');
        if (plus == std::string_view::npos) return {};
        std::string_view serial = rest.substr(plus + 1);
        serial = serial.substr(0, serial.find('\\'));
        if (serial.size() < 2 || serial.find('&') != std::string_view::npos) return {};
        return std::string(serial.substr(0, serial.size() - 1));
    }
    const std::size_t second = rest.find('\\');
    if (second == std::string_view::npos) return {};
    const std::string_view serial = rest.substr(second + 1);
    if (serial.empty() || serial.find_first_of("&\\") != std::string_view::npos) return {};
    return std::string(serial);
}

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (Digit(a[i]) && Digit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && Digit(a[ei])) ++ei;
            while (ej < b.size() && Digit(b[ej])) ++ej;
            std::string na = a.substr(i, ei - i);
            std::string nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

std::string PortLabel(const TPortEntry& entry) {
    if (!entry.Device.empty() || entry.Adapter.empty()) return entry.Path;  // a by-id link names itself
    std::string name = entry.Adapter;
    // "USB Serial Port (COM7)": the port's name stands in front already.
    const std::string own = " (" + entry.Path + ")";
    if (name.size() > own.size() && EqualWithoutCase(std::string_view(name).substr(name.size() - own.size()), own))
        name.erase(name.size() - own.size());
    // "(Standard port types)" names no maker; "Silicon Labs CP210x ..." names its own.
    const std::string& maker = entry.Manufacturer;
    if (!maker.empty() && maker.front() != '(' && !ContainsWithoutCase(name, maker)) name += " (" + maker + ")";
    return entry.Path + " \u2014 " + name;
}

bool SameAdapter(const TPortEntry& a, const TPortEntry& b) {
    const bool usb = a.VendorId != 0 || b.VendorId != 0;
    if (!usb) return !a.Path.empty() && a.Path == b.Path;
    if (a.VendorId != b.VendorId || a.ProductId != b.ProductId) return false;
    if (!a.Serial.empty() || !b.Serial.empty()) return EqualWithoutCase(a.Serial, b.Serial);
    // Alike adapters without serial numbers are told apart only by where they are.
    return EqualWithoutCase(a.Path, b.Path);
}

std::string AdapterKey(const TPortEntry& entry) {
    if (entry.VendorId == 0) return {};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x:", entry.VendorId, entry.ProductId);
    return ids + entry.Serial;
}

TPortEntry AdapterFromKey(const std::string& key, const std::string& path) {
    TPortEntry entry;
    entry.Path = path;
    unsigned vendor = 0;
    unsigned product = 0;
    const char* p = key.data();
    const char* end = p + key.size();
    auto hex = [&](unsigned& value) {
        const auto r = std::from_chars(p, end, value, 16);
        if (r.ec != std::errc() || r.ptr != p + 4 || r.ptr == end || *r.ptr != ':') return false;
        p = r.ptr + 1;
        return true;
    };
    // A damaged key is none: the port is then remembered by its path alone.
    if (key.size() < 10 || !hex(vendor) || !hex(product) || vendor == 0) return entry;
    entry.VendorId = static_cast<uint16_t>(vendor);
    entry.ProductId = static_cast<uint16_t>(product);
    entry.Serial.assign(p, end);
    return entry;
}

TPortEntry PortEntryOf(const TSetupPort& port) {
    TPortEntry entry;
    // Only a COM port opens as a serial line.
    if (port.PortName.size() < 4 || !EqualWithoutCase(std::string_view(port.PortName).substr(0, 3), "COM"))
        return entry;
    entry.Path = port.PortName;
    entry.Adapter = port.FriendlyName;
    entry.Manufacturer = port.Manufacturer;
    entry.VendorId = UsbId(port.HardwareId, "VID_");
    entry.ProductId = UsbId(port.HardwareId, "PID_");
    if (entry.VendorId == 0) {
        entry.VendorId = UsbId(port.InstanceId, "VID_");
        entry.ProductId = UsbId(port.InstanceId, "PID_");
    }
    if (entry.VendorId != 0) entry.Serial = SerialOf(port.InstanceId);
    return entry;
}

std::vector<TPortEntry> PortEntriesOf(const std::vector<TSetupPort>& setupPorts,
                                      const std::vector<std::string>& serialComm) {
    std::vector<TPortEntry> entries;
    auto known = [&](const std::string& path) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const TPortEntry& e) { return EqualWithoutCase(e.Path, path); });
    };
    for (const TSetupPort& port : setupPorts) {
        TPortEntry entry = PortEntryOf(port);
        if (!entry.Path.empty() && !known(entry.Path)) entries.push_back(std::move(entry));
    }
    // Some virtual port drivers register no device of the class: the
    // registry's list adds their ports by name.
    for (const std::string& name : serialComm)
        if (!name.empty() && !known(name)) entries.push_back({.Path = name});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TPortEntry& a, const TPortEntry& b) { return PortNameLess(a.Path, b.Path); });
    return entries;
}

}  // namespace vyx
