// SPDX-License-Identifier: GPL-3.0-or-later
// Port entries from what SetupAPI reported for real adapters (the property
// values as Device Manager shows them), their order and the adapter's identity.
#include <gtest/gtest.h>

#include "port/PortList.h"

namespace vyx {
namespace {

const TSetupPort kFtdi{"COM7", "USB Serial Port (COM7)", "FTDI", "FTDIBUS\\COMPORT&VID_0403&PID_6001",
                       "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"};
const TSetupPort kCh340{"COM4", "USB-SERIAL CH340 (COM4)", "wch.cn", "USB\\VID_1A86&PID_7523&REV_0264",
                        "USB\\VID_1A86&PID_7523\\5&2B7E8C3A&0&2"};
const TSetupPort kCp210x{"COM10", "Silicon Labs CP210x USB to UART Bridge (COM10)", "Silicon Labs",
                         "USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60\\0001"};
const TSetupPort kProlific{"COM3", "Prolific USB-to-Serial Comm Port (COM3)", "Prolific",
                           "USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303\\6&1A2B3C4D&0&4"};
const TSetupPort kBuiltIn{"COM1", "Communications Port (COM1)", "(Standard port types)", "ACPI\\PNP0501",
                          "ACPI\\PNP0501\\0"};

TEST(PortEntries, RealAdaptersAreNamedAndIdentified) {
    struct Case {
        TSetupPort Port;
        std::string Label;
        uint16_t Vendor, Product;
        std::string Serial;
    };
    const Case cases[] = {
        {kFtdi, "COM7 \u2014 USB Serial Port (FTDI)", 0x0403, 0x6001, "A50285BI"},
        {kCh340, "COM4 \u2014 USB-SERIAL CH340 (wch.cn)", 0x1A86, 0x7523, ""},
        {kCp210x, "COM10 \u2014 Silicon Labs CP210x USB to UART Bridge", 0x10C4, 0xEA60, "0001"},
        {kProlific, "COM3 \u2014 Prolific USB-to-Serial Comm Port", 0x067B, 0x2303, ""},
        {kBuiltIn, "COM1 \u2014 Communications Port", 0, 0, ""},
        // Without a friendly name the port's name is all there is to show.
        {{"COM12", "", "", "", ""}, "COM12", 0, 0, ""},
        // A CDC interface of a composite device, ids from the parent's instance id.
        {{"COM5", "USB Serial Device (COM5)", "Microsoft", "", "USB\\VID_2341&PID_0043\\75439313737351E0F0A0"},
         "COM5 \u2014 USB Serial Device (Microsoft)", 0x2341, 0x0043, "75439313737351E0F0A0"},
    };
    for (const Case& c : cases) {
        const TPortEntry e = PortEntryOf(c.Port);
        EXPECT_EQ(e.Path, c.Port.PortName);
        EXPECT_EQ(PortLabel(e), c.Label);
        EXPECT_EQ(e.VendorId, c.Vendor) << c.Label;
        EXPECT_EQ(e.ProductId, c.Product) << c.Label;
        EXPECT_EQ(e.Serial, c.Serial) << c.Label;
    }
    EXPECT_EQ(PortEntryOf({"LPT1", "Printer Port (LPT1)", "(Standard port types)", "ACPI\\PNP0400", ""}).Path, "")
        << "a printer port opens no serial line";
}

TEST(PortEntries, ListIsNumberedOrderEachPortOnce) {
    const auto entries = PortEntriesOf({kCp210x, kFtdi, kCh340, kProlific, kBuiltIn},
                                       {"COM10", "COM2", "COM7", "COM21", "", "com3"});
    std::vector<std::string> paths;
    for (const TPortEntry& e : entries) paths.push_back(e.Path);
    EXPECT_EQ(paths, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM7", "COM10", "COM21"}));
    EXPECT_EQ(entries[4].Serial, "A50285BI") << "SetupAPI's entry stands for a port both name";
    // Nothing from SetupAPI: the registry's names, sorted.
    EXPECT_EQ(PortEntriesOf({}, {"COM10", "COM3"}), (std::vector<TPortEntry>{{.Path = "COM3"}, {.Path = "COM10"}}));
    EXPECT_TRUE(PortNameLess("/dev/ttyS2", "/dev/ttyS10"));
    EXPECT_FALSE(PortNameLess("COM10", "COM9"));
}

TEST(PortEntries, PortIsRememberedByItsAdapter) {
    const TPortEntry ftdi = PortEntryOf(kFtdi);
    TPortEntry moved = ftdi;
    moved.Path = "COM9";
    TPortEntry otherFtdi = ftdi;
    otherFtdi.Serial = "A9XK2M1Q";
    const TPortEntry ch340 = PortEntryOf(kCh340);
    TPortEntry ch340Moved = ch340;
    ch340Moved.Path = "COM5";
    const TPortEntry com1{.Path = "COM1"};
    const TPortEntry byId{.Path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                          .Adapter = "FTDI FT232R USB UART A50285BI", .Device = "/dev/ttyUSB0"};
    TPortEntry byIdReplugged = byId;
    byIdReplugged.Device = "/dev/ttyUSB1";
    struct Case {
        TPortEntry A, B;
        bool Same;
    };
    const Case cases[] = {
        {ftdi, moved, true},          {ftdi, otherFtdi, false},   {ch340, ch340, true},
        {ch340, ch340Moved, false},   {ftdi, ch340, false},       {com1, com1, true},
        {com1, {.Path = "COM2"}, false}, {byId, byIdReplugged, true}, {byId, {.Path = "/dev/ttyUSB0"}, false},
        {{}, {}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(SameAdapter(c.A, c.B), c.Same) << c.A.Path << " / " << c.B.Path;

    // The key kept in settings finds the adapter again, wherever it is now.
    EXPECT_EQ(AdapterKey(ftdi), "0403:6001:A50285BI");
    EXPECT_EQ(AdapterKey(ch340), "1a86:7523:");
    EXPECT_EQ(AdapterKey(com1), "");
    EXPECT_TRUE(SameAdapter(AdapterFromKey("0403:6001:A50285BI", "COM7"), moved));
    EXPECT_TRUE(SameAdapter(AdapterFromKey("1a86:7523:", "COM4"), ch340));
    EXPECT_FALSE(SameAdapter(AdapterFromKey("1a86:7523:", "COM4"), ch340Moved));
    for (const char* damaged : {"", "0403", "0403:6001", "04x3:6001:A", "0000:0000:A", "0403:60011:A"}) {
        const TPortEntry e = AdapterFromKey(damaged, "COM7");
        EXPECT_EQ(e, (TPortEntry{.Path = "COM7"})) << damaged;
    }
}

}  // namespace
}  // namespace vyx
