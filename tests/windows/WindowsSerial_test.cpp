// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows serial back end where no port is needed; the exchanges with a
// device run end to end against the simulator (scripts/windows-test).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "port/PortList.h"
#include "serial/Serial.h"

namespace vyx {
namespace {

TEST(WindowsSerial, PortNamesBecomeDevicePaths) {
    EXPECT_EQ(PortPathFromName("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(PortPathFromName("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(PortPathFromName("\\\\.\\COM4"), "\\\\.\\COM4");
    EXPECT_EQ(PortPathFromName("C:\\porty\\com"), "C:\\porty\\com");
    EXPECT_EQ(PortPathFromName(""), "");
}

TEST(WindowsSerial, MissingPortLeavesItClosed) {
    TSerial port;
    EXPECT_FALSE(port.OpenPort("\\\\.\\COM199", "19200,e,8,1"));
    EXPECT_FALSE(port.IsOpened());
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    EXPECT_EQ(port.OpenFault(), TOpenFault::NoDevice);
    port.RxBuf.fill(0x55);
    const uint8_t frame[] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
    EXPECT_EQ(port.WritePort(frame, sizeof frame), 0);
    EXPECT_EQ(port.RxBuf[0], 0x55) << "a write while closed leaves the receive buffer";
    EXPECT_FALSE(port.ReadPort());
    EXPECT_EQ(port.Received(), 0u);
    EXPECT_FALSE(port.SetTimeouts(30, 0, 40, 0, 30));
    port.ClosePort();
    port.ClosePort();
    EXPECT_FALSE(port.IsOpened());
}

TEST(WindowsSerial, PlainFileIsNoPort) {
    TSerial port;
    EXPECT_FALSE(port.OpenPort("C:\\windows\\win.ini", "19200"));
    EXPECT_FALSE(port.IsOpened());
    EXPECT_EQ(port.OpenFault(), TOpenFault::NotTerminal);
    // The system's text of the code (wine's wording differs from Windows'), as one line.
    const std::string denied = OpenFaultText(TOpenFault::System, ERROR_ACCESS_DENIED);
    EXPECT_EQ(denied.rfind("Access", 0), 0u) << denied;
    EXPECT_EQ(denied.find_first_of(".\r\n"), std::string::npos) << denied;
}

// The port list is the data of the registry key's values. Adding a value needs
// the rights of an administrator on Windows; wine gives them.
TEST(WindowsSerial, PortListComesFromTheRegistry) {
    HKEY key = nullptr;
    const char* path = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS)
        << "run as administrator";
    const char value[] = "COM87";
    const char* name = "\\Device\\VyxTest87";
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
              ERROR_SUCCESS);
    const std::vector<std::string> ports = ListPorts();
    RegDeleteValueA(key, name);
    RegCloseKey(key);
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM87"), 1) << "each value once, its data as the name";
    const std::vector<std::string> after = ListPorts();
    EXPECT_EQ(std::count(after.begin(), after.end(), "COM87"), 0);
}

// What wine's SetupAPI gives for the "Ports (COM & LPT)" class (printed, as
// it differs between wine versions and from Windows): whatever it is, the list
// holds each COM port once, in numbered order, the registry's names included.
TEST(WindowsSerial, SetupApiPortsMakeTheList) {
    const std::vector<TSetupPort> setup = SetupApiPorts();
    for (const TSetupPort& p : setup)
        std::printf("SetupAPI: '%s' '%s' '%s' '%s' '%s'\n", p.PortName.c_str(), p.FriendlyName.c_str(),
                    p.Manufacturer.c_str(), p.HardwareId.c_str(), p.InstanceId.c_str());
    const std::vector<TPortEntry> entries = ListPortEntries();
    const std::vector<std::string> ports = ListPorts();
    ASSERT_EQ(entries.size(), ports.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].Path, ports[i]);
        if (i > 0) {
            EXPECT_TRUE(PortNameLess(ports[i - 1], ports[i])) << ports[i - 1] << " before " << ports[i];
        }
    }
    for (const TSetupPort& p : setup) {
        const TPortEntry e = PortEntryOf(p);
        if (!e.Path.empty()) {
            EXPECT_EQ(std::count(ports.begin(), ports.end(), e.Path), 1) << e.Path;
        }
    }
}

}  // namespace
}  // namespace vyx
