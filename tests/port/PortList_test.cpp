// SPDX-License-Identifier: GPL-3.0-or-later
// The port list: serial devices found in sysfs, then the simulators' links.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "port/PortList.h"
#include "serial/Serial.h"
#include "tests/support/Pty.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string name = (fs::temp_directory_path() / "vyx-ports-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp");
        Path = name;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    fs::path Path;
};

// A tty class entry as sysfs shows it; `type` is written when given (serial-core ports).
void AddTty(const fs::path& classFolder, const std::string& name, bool device, const char* type = nullptr) {
    fs::create_directories(classFolder / name);
    if (device) fs::create_directories(classFolder / name / "device");
    if (type != nullptr) std::ofstream(classFolder / name / "type") << type << "\n";
}

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name) : Name_(name) {
        const char* v = std::getenv(name);
        Had_ = v != nullptr;
        if (Had_) Old_ = v;
    }
    ~EnvironmentGuard() {
        if (Had_) {
            setenv(Name_, Old_.c_str(), 1);
        } else {
            unsetenv(Name_);
        }
    }

private:
    const char* Name_;
    bool Had_ = false;
    std::string Old_;
};

TEST(ListPorts, SystemWithoutSerialPortsGivesAnEmptyList) {
    TempFolder sys;
    TempFolder sim;
    AddTty(sys.Path, "tty0", false);
    AddTty(sys.Path, "console", false);
    AddTty(sys.Path, "ptmx", false);
    AddTty(sys.Path, "ttyS0", true, "0");  // placeholder port, no UART behind it
    EXPECT_TRUE(ListPorts(sys.Path.string(), sim.Path.string()).empty());
    EXPECT_TRUE(ListPorts((sys.Path / "missing").string(), (sim.Path / "missing").string()).empty());
}

TEST(ListPorts, DevicesBehindTtysInNaturalOrder) {
    TempFolder sys;
    TempFolder sim;
    AddTty(sys.Path, "ttyUSB0", true);
    AddTty(sys.Path, "ttyACM1", true);
    AddTty(sys.Path, "ttyS10", true, "4");
    AddTty(sys.Path, "ttyS2", true, "4");
    AddTty(sys.Path, "ttyS0", true, "4");
    AddTty(sys.Path, "ttyS1", true, "0");
    AddTty(sys.Path, "ttyS3", true, "junk");
    AddTty(sys.Path, "tty1", false);
    const std::vector<std::string> expected = {"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10",
                                               "/dev/ttyUSB0"};
    EXPECT_EQ(ListPorts(sys.Path.string(), sim.Path.string()), expected);
}

TEST(ListPorts, SimulatorLinksWhoseTargetExistsFollowTheDevices) {
    TempFolder sys;
    TempFolder sim;
    test::TPty pty;
    AddTty(sys.Path, "ttyUSB0", true);
    fs::create_symlink(pty.SlavePath(), sim.Path / "demo2");
    fs::create_symlink(pty.SlavePath(), sim.Path / "demo10");
    fs::create_symlink("/dev/pts/vyx-gone", sim.Path / "ended");  // its simulator died
    std::ofstream(sim.Path / "notes.txt") << "not a link\n";
    const std::vector<std::string> expected = {"/dev/ttyUSB0", (sim.Path / "demo2").string(),
                                               (sim.Path / "demo10").string()};
    EXPECT_EQ(ListPorts(sys.Path.string(), sim.Path.string()), expected);

    TSerial port;
    EXPECT_TRUE(port.OpenPort(expected[1], "19200,e,8,1")) << "a listed simulator opens";
}

// A USB adapter is offered by its stable by-id link, which names it; the other
// ports and a missing by-id folder change nothing.
TEST(ListPorts, UsbAdaptersByTheirStableNames) {
    TempFolder sys;
    TempFolder sim;
    TempFolder byId;
    AddTty(sys.Path, "ttyUSB0", true);
    AddTty(sys.Path, "ttyACM1", true);
    AddTty(sys.Path, "ttyS0", true, "4");
    fs::create_symlink("../../ttyUSB0", byId.Path / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    fs::create_symlink("../../ttyACM1", byId.Path / "usb-Arduino__www.arduino.cc__0043_7543-if00");
    fs::create_symlink("../../ttyUSB7", byId.Path / "usb-gone-if00-port0");  // no such tty
    const std::vector<TPortEntry> expected = {
        {.Path = (byId.Path / "usb-Arduino__www.arduino.cc__0043_7543-if00").string(),
         .Adapter = "Arduino  www.arduino.cc  0043 7543",
         .Device = "/dev/ttyACM1"},
        {.Path = "/dev/ttyS0"},
        {.Path = (byId.Path / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string(),
         .Adapter = "FTDI FT232R USB UART A50285BI",
         .Device = "/dev/ttyUSB0"},
    };
    EXPECT_EQ(ListPortEntries(sys.Path.string(), sim.Path.string(), byId.Path.string()), expected);
    const std::vector<std::string> plain = {"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyUSB0"};
    EXPECT_EQ(ListPorts(sys.Path.string(), sim.Path.string()), plain);
    const auto without = ListPortEntries(sys.Path.string(), sim.Path.string(), (byId.Path / "missing").string());
    ASSERT_EQ(without.size(), 3u);
    EXPECT_EQ(without[2], (TPortEntry{.Path = "/dev/ttyUSB0"}));

    EXPECT_EQ(AdapterName("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"),
              "Prolific Technology Inc. USB-Serial Controller");
    EXPECT_EQ(AdapterName("pci-serial-ifxx"), "pci-serial-ifxx");
}

TEST(ListPorts, SystemListAddsTheSimulatorsOfThisUser) {
    EnvironmentGuard guard("XDG_RUNTIME_DIR");
    TempFolder runtime;
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", runtime.Path.c_str(), 1), 0);
    const fs::path folder = runtime.Path / "vyx";
    EXPECT_EQ(SimulatorFolder(), folder.string());

    fs::create_directories(folder);
    for (const std::string& p : ListPorts()) EXPECT_EQ(p.rfind("/dev/", 0), 0u) << p;

    test::TPty pty;
    fs::create_symlink(pty.SlavePath(), folder / "sample");
    const std::vector<std::string> ports = ListPorts();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.back(), (folder / "sample").string());
}

TEST(ListPorts, SimulatorFolderWithoutRuntimeFolderIsPerUserInTmp) {
    EnvironmentGuard guard("XDG_RUNTIME_DIR");
    const std::string expected = "/tmp/vyx-" + std::to_string(getuid());
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SimulatorFolder(), expected);
    setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(SimulatorFolder(), expected);
}

TEST(ListPorts, TypedNamesBecomePaths) {
    EXPECT_EQ(PortPathFromName("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortPathFromName("pts/3"), "/dev/pts/3");
    EXPECT_EQ(PortPathFromName("/dev/ttyS1"), "/dev/ttyS1");
    EXPECT_EQ(PortPathFromName("/run/user/1000/vyx/demo"), "/run/user/1000/vyx/demo");
    EXPECT_EQ(PortPathFromName(""), "");
}

}  // namespace
}  // namespace vyx
