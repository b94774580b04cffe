// SPDX-License-Identifier: GPL-3.0-or-later
// Whether an adapter is plugged in, by the name its port was opened with.
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "port/Presence.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;

// A by-id link comes and goes with its adapter; the device it points at may be
// another one after a replug (ttyUSB0, then ttyUSB1): the link is what counts.
TEST(AdapterPresent, ByTheLinkOrPathTheWindowOpened) {
    std::string made = (fs::temp_directory_path() / "vyx-presence-XXXXXX").string();
    if (mkdtemp(made.data()) == nullptr) throw std::runtime_error("mkdtemp");
    const fs::path dir(made);
    std::ofstream(dir / "ttyUSB1") << "";
    const fs::path link = dir / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    EXPECT_FALSE(AdapterPresent(link.string()));  // not plugged in
    fs::create_symlink(dir / "ttyUSB0", link);
    EXPECT_FALSE(AdapterPresent(link.string()));  // a link left to a device that is gone
    fs::remove(link);
    fs::create_symlink(dir / "ttyUSB1", link);
    EXPECT_TRUE(AdapterPresent(link.string()));  // back, under another number

    // A simulator's link whose lock nobody holds was left by one that died.
    const fs::path sim = dir / "VXT-20F";
    fs::create_symlink(dir / "ttyUSB1", sim);
    const int lock = ::open((dir / ".VXT-20F.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    EXPECT_FALSE(AdapterPresent(sim.string()));
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    EXPECT_TRUE(AdapterPresent(sim.string()));  // its simulator runs
    ::close(lock);

    EXPECT_FALSE(AdapterPresent("tcp://127.0.0.1:502"));
    EXPECT_FALSE(AdapterPresent(""));
    fs::remove_all(dir);
}

TEST(AdapterPresent, OnlyAdaptersAreAwaited) {
    const struct {
        const char* name;
        bool awaited;
    } cases[] = {{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", true},
                 {"ttyUSB0", true},
                 {"/run/user/1000/vyx/VXT-20F", true},
                 {"/dev/pts/3", false},  // the next terminal of any program takes its number
                 {"tcp://192.168.1.20:4001", false},
                 {"mbtcp://10.0.0.5:502", false}};
    for (const auto& c : cases) EXPECT_EQ(MayComeBack(c.name), c.awaited) << c.name;
}

}  // namespace
}  // namespace vyx
