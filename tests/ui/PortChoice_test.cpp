// SPDX-License-Identifier: GPL-3.0-or-later
// The window's port list: entries as the technician knows the ports, the path
// a chosen entry opens, and the port remembered by its adapter.
#include <gtest/gtest.h>

#include "ui/ChoiceBox.h"
#include "ui/PortChoice.h"
#include "ui/Settings.h"

using namespace vyx;

namespace {

const TPortEntry kFtdi{.Path = "COM7", .Adapter = "USB Serial Port (COM7)", .Manufacturer = "FTDI",
                       .VendorId = 0x0403, .ProductId = 0x6001, .Serial = "A50285BI"};
const TPortEntry kCh340{.Path = "COM4", .Adapter = "USB-SERIAL CH340 (COM4)", .Manufacturer = "wch.cn",
                        .VendorId = 0x1a86, .ProductId = 0x7523};

TEST(PortChoice, EntriesOpenTheirPathAndTheAdapterIsRemembered) {
    ui::TChoiceBox box(true);
    ui::TPortChoice choice;
    choice.Fill(&box, {{.Path = "COM3"}, kFtdi, {.Path = "COM10"}});
    ASSERT_EQ(box.count(), 4);
    EXPECT_EQ(box.itemText(1), "COM7 — USB Serial Port (FTDI)");
    EXPECT_EQ(box.itemText(2), "COM10") << "the ports' order stays";
    EXPECT_EQ(box.itemText(3), "odłączony");
    EXPECT_EQ(box.itemData(1, Qt::ToolTipRole).toString(),
              "USB Serial Port (COM7)\nproducent: FTDI\nUSB VID 0403, PID 6001\nnumer seryjny: A50285BI");
    EXPECT_FALSE(box.itemData(0, Qt::ToolTipRole).isValid());

    box.setCurrentIndex(1);
    EXPECT_EQ(choice.Take(&box), "COM7");
    EXPECT_EQ(box.currentText(), "COM7");
    EXPECT_EQ(choice.Key("COM7"), "0403:6001:A50285BI");
    EXPECT_EQ(choice.Key("COM3"), "");

    // Next start: Windows gave the adapter COM9 meanwhile.
    TPortEntry moved = kFtdi;
    moved.Path = "COM9";
    ui::TPortChoice next;
    EXPECT_EQ(next.Recall("COM7", "0403:6001:A50285BI", {kCh340, moved}), "COM9");
    EXPECT_EQ(next.Key("COM9"), "0403:6001:A50285BI");
    EXPECT_EQ(next.Recall("COM7", "0403:6001:A50285BI", {kCh340}), "COM7") << "not plugged in: the port as it was";
    EXPECT_EQ(next.Key("COM7"), "0403:6001:A50285BI") << "and it is still remembered";
    TPortEntry ch340Moved = kCh340;
    ch340Moved.Path = "COM5";
    EXPECT_EQ(next.Recall("COM4", "1a86:7523:", {ch340Moved}), "COM4") << "no serial number: only where it was";

    box.setEditText("COM12");
    EXPECT_EQ(choice.Take(&box), "COM12");
    EXPECT_EQ(choice.Key("COM12"), "") << "a typed name without an adapter";
}

TEST(PortChoice, TheAdapterKeyIsKeptAndADamagedOneDropped) {
    const QString path = QString::fromStdString(testing::TempDir()) + "vyx-port-choice.ini";
    ui::TWindowSettings s;
    s.Port = "COM7";
    s.PortAdapter = "0403:6001:A50285BI";
    ASSERT_TRUE(ui::WriteSettings(s, path));
    EXPECT_EQ(ui::ReadSettings(path), s);
    s.PortAdapter = "0403:60zz:A";
    ASSERT_TRUE(ui::WriteSettings(s, path));
    EXPECT_EQ(ui::ReadSettings(path).PortAdapter, "");
    EXPECT_EQ(ui::ReadSettings(path).Port, "COM7");
}

}  // namespace
