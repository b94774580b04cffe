// SPDX-License-Identifier: GPL-3.0-or-later
// vyx ports [--json]: the ports to choose from, as the window's port list shows them.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "port/PortList.h"
#include "tools/vyx/Commands.h"

namespace {

constexpr const char* kPortsUsage =
    "Usage: vyx ports [--json]\n\n"
    "Lists the serial ports to choose from, in the window's order: on Linux each\n"
    "device behind /sys/class/tty (a USB adapter by its link in /dev/serial/by-id)\n"
    "and the simulators running for this user; on Windows the COM ports with the\n"
    "name Device Manager gives them, COM3 before COM10. One port a line: what\n"
    "--port takes and what is known of the adapter behind it.\n"
    "  --json   an array of {\"port\", \"label\", \"adapter\", \"device\", \"manufacturer\",\n"
    "           \"vid\", \"pid\", \"serial\"} (USB ids as four hex digits; unknown: \"\")\n";

std::string Hex4(uint16_t id) {
    if (id == 0) return {};
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id);
    return text;
}

// What the line says beside the port's label.
std::string Details(const vyx::TPortEntry& e) {
    std::string details;
    auto add = [&](const std::string& part) { details += (details.empty() ? "" : ", ") + part; };
    if (!e.Device.empty()) add(e.Adapter + " (now " + e.Device + ")");
    if (e.VendorId != 0) add("USB " + Hex4(e.VendorId) + ":" + Hex4(e.ProductId));
    if (!e.Serial.empty()) add("serial " + e.Serial);
    return details;
}

}  // namespace

int RunPorts(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kPortsUsage, stdout);
        return kExitOk;
    }
    const bool json = argc == 2 && std::string_view(argv[1]) == "--json";
    if (argc > 2 || (argc == 2 && !json)) {
        std::fputs(kPortsUsage, stderr);
        return kExitUsage;
    }
    const auto entries = vyx::ListPortEntries();
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const vyx::TPortEntry& e : entries)
            list.push_back({{"port", e.Path},
                            {"label", vyx::PortLabel(e)},
                            {"adapter", e.Adapter},
                            {"device", e.Device},
                            {"manufacturer", e.Manufacturer},
                            {"vid", Hex4(e.VendorId)},
                            {"pid", Hex4(e.ProductId)},
                            {"serial", e.Serial}});
        std::cout << list.dump(2) << '\n';
    } else {
        for (const vyx::TPortEntry& e : entries) {
            const std::string details = Details(e);
            std::cout << vyx::PortLabel(e) << (details.empty() ? "" : "  " + details) << '\n';
        }
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "vyx ports: cannot write to standard output\n";
        return kExitFailure;
    }
    return kExitOk;
}
