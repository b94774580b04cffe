// SPDX-License-Identifier: GPL-3.0-or-later
// The sample device files built next to the binaries: what the window, the
// simulator and a trainer rely on finding in them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "registers/RegisterFile.h"
#include "base/Text.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;

const fs::path kDevices = VYX_DEVICES_DIR;

std::string S(const std::u16string& text) { return ToUtf8(text); }

// Decimal or "$" hexadecimal text as the bit children and HEX values use it.
std::optional<long> Integer(const std::string& text) {
    static const std::regex kDecimal("-?[0-9]+"), kHex("\\$[0-9A-F]{2,4}");
    if (std::regex_match(text, kDecimal)) return std::stol(text);
    if (std::regex_match(text, kHex)) return std::stol(text.substr(1), nullptr, 16);
    return std::nullopt;
}

bool IsBit(const TNode* n) { return n->Record.DataType == u"BIT"; }

class DeviceFile : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { LoadRegisterFile(tree_, kDevices / (std::string(GetParam()) + ".dat")); }
    TRegisterTree tree_;
};

TEST_P(DeviceFile, RegistersAreWellFormed) {
    const std::map<std::string, std::pair<int, int>> kLength = {
        {"WORD", {1, 1}}, {"INT", {1, 1}}, {"HEX", {1, 1}}, {"REAL", {2, 2}},
        {"FINE", {2, 2}}, {"FLOAT", {2, 2}}, {"PREC", {2, 2}}, {"TEXT", {1, 13}}};
    const std::map<std::string, std::regex> kValue = {
        {"WORD", std::regex("[0-9]+")},         {"INT", std::regex("-?[0-9]+")},
        {"HEX", std::regex("\\$[0-9A-F]{2,4}")}, {"REAL", std::regex("-?[0-9]+,[0-9]{2}")},
        {"FLOAT", std::regex("-?[0-9]+,[0-9]{2}")}, {"FINE", std::regex("-?[0-9]+,[0-9]{4}")},
        {"PREC", std::regex("-?[0-9]+,[0-9]{8}")}, {"TEXT", std::regex("[ -~]*")}};
    std::set<std::string> types, access;
    std::map<long, std::string> used;  // register number -> name
    size_t registers = 0;
    for (const TNode* n = tree_.First(); n; n = tree_.NextNode(n)) {
        const TRegData& r = n->Record;
        SCOPED_TRACE(S(r.Name));
        EXPECT_FALSE(r.Name.empty());
        EXPECT_EQ((n->States & kStateHasChildren) != 0, n->ChildCount() > 0);
        EXPECT_NE(n->States & kStateVisible, 0);
        if (IsBit(n)) {
            EXPECT_TRUE(Integer(S(r.Value))) << "a bit child holds the value it stands for";
            EXPECT_EQ(n->ChildCount(), 0u);
            continue;
        }
        if (r.Access.empty()) {  // a group
            EXPECT_TRUE(r.DataType.empty());
            EXPECT_GT(n->ChildCount(), 0u);
            continue;
        }
        ++registers;
        const std::string type = S(r.DataType);
        types.insert(type);
        access.insert(S(r.Access));
        ASSERT_TRUE(kLength.count(type)) << type;
        const int length = std::stoi(S(r.Length));
        EXPECT_GE(length, kLength.at(type).first);
        EXPECT_LE(length, kLength.at(type).second);
        EXPECT_TRUE(std::regex_match(S(r.Value), kValue.at(type))) << S(r.Value);
        if (type == "TEXT") {
            EXPECT_LE(r.Value.size(), 2u * length);
        }
        if (type == "WORD") {
            EXPECT_LE(std::stol(S(r.Value)), 65535);
        }

        const long address = std::stol(S(r.Address));
        const bool input = address >= 30001 && address <= 40000;
        const bool holding = address >= 40001 && address <= 65535;
        EXPECT_TRUE(input || holding) << address;
        if (r.Access != u"RO") {
            EXPECT_TRUE(holding) << "only holding registers are written";
        }
        EXPECT_TRUE(holding || address + length - 1 <= 40000);
        for (long a = address; a < address + length; ++a) {
            EXPECT_FALSE(used.count(a)) << a << " also used by " << used[a];
            used[a] = S(r.Name);
        }
    }
    EXPECT_GE(registers, 20u);
    EXPECT_EQ(types, (std::set<std::string>{"WORD", "INT", "REAL", "TEXT", "HEX", "PREC", "FLOAT", "FINE"}));
    EXPECT_EQ(access, (std::set<std::string>{"RO", "RW", "RP"}));
}

TEST_P(DeviceFile, BitChildrenAndTickBoxes) {
    std::set<std::string> withBits;
    bool byteGroups = false, polish = false;
    std::set<int> checkTypes;
    for (const TNode* n = tree_.First(); n; n = tree_.NextNode(n)) {
        checkTypes.insert(n->CheckType);
        const std::string name = S(n->Record.Name);
        polish = polish || name.find_first_of("\xC4\xC5\xC3") != std::string::npos;
        if (n->ChildCount() == 0 || n->Record.Access.empty()) continue;
        SCOPED_TRACE(name);
        const TNode* first = n->FirstChild();
        if (IsBit(first)) {
            withBits.insert(S(n->Record.DataType));
            std::set<long> values;
            for (const TNode* b = first; b; b = tree_.NextSibling(b)) {
                EXPECT_TRUE(IsBit(b));
                EXPECT_TRUE(values.insert(*Integer(S(b->Record.Value))).second) << "each value once";
            }
        } else {
            // Bit children one level lower, under a high-byte and a low-byte group.
            ASSERT_EQ(n->ChildCount(), 2u);
            ASSERT_EQ(n->Record.DataType, u"HEX");
            for (size_t g = 0; g < 2; ++g) {
                const TNode* group = n->Child(g);
                EXPECT_TRUE(group->Record.DataType.empty());
                for (size_t i = 0; i < group->ChildCount(); ++i) {
                    const TNode* b = group->Child(i);
                    EXPECT_TRUE(IsBit(b));
                    const long v = *Integer(S(b->Record.Value));
                    if (g == 0) {
                        EXPECT_TRUE(v > 255 && (v & 0xFF) == 0) << v;
                    } else {
                        EXPECT_LE(v, 255);
                    }
                }
            }
            byteGroups = true;
        }
    }
    EXPECT_TRUE(withBits.count("HEX"));
    EXPECT_TRUE(withBits.count("WORD"));
    EXPECT_TRUE(byteGroups);
    EXPECT_TRUE(polish);
    EXPECT_EQ(checkTypes, (std::set<int>{0, 1, 2, 3, 4}));
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceFile, ::testing::Values("VXT-20F", "VXP-10"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(CalibratableDevice, HasTheCalibrationRegisters) {
    TRegisterTree tree;
    LoadRegisterFile(tree, kDevices / "VXT-20F.dat");
    const TNode* r0 = tree.FindRegisterByName(u"R0");
    ASSERT_NE(r0, nullptr);
    // Raw counts: the calibration converts its readings as whole numbers.
    EXPECT_EQ(r0->Record.DataType, u"INT");
    EXPECT_EQ(r0->Record.Access, u"RO");
    EXPECT_EQ(r0->Record.Length, u"1");
    EXPECT_EQ(r0->Record.Value, u"1000");
    const long r0Address = std::stol(S(r0->Record.Address));
    EXPECT_TRUE(r0Address >= 30001 && r0Address <= 40000) << "an input register";
    for (const char16_t* name : {u"N100", u"N400"}) {
        const TNode* n = tree.FindRegisterByName(name);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->Record.DataType, u"REAL");
        EXPECT_EQ(n->Record.Access, u"RW");
        EXPECT_GE(std::stol(S(n->Record.Address)), 40001);
    }
}

// What `vyx sim` acts on: the counter of R0's readings, and the command that
// zeroes it, whose tick writes; restoring the factory settings is never sent.
TEST(CalibratableDevice, HasTheCounterAndTheCommandThatZeroesIt) {
    TRegisterTree tree;
    LoadRegisterFile(tree, kDevices / "VXT-20F.dat");
    const TNode* counter = tree.FindRegisterByName(u"Licznik pomiarów");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->Record.Address, u"30011");
    EXPECT_EQ(counter->Record.DataType, u"WORD");
    const TNode* zero = tree.FindRegisterByName(u"Zeruj licznik pomiarów");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->CheckType, kCheckTypeRadioButton);
    EXPECT_EQ(zero->Record.Value, u"1");
    EXPECT_EQ(zero->Parent()->Record.Name, u"Polecenie");
    EXPECT_EQ(zero->Parent()->Record.Address, u"40070");
    EXPECT_EQ(zero->Parent()->Record.Access, u"RW");
    const TNode* factory = tree.FindRegisterByName(u"Przywróć ustawienia fabryczne");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->CheckType, kCheckTypeButton);
}

TEST(SampleDevices, OnlyTheCalibratableOneHasAnFInItsName) {
    std::set<std::string> withF, withoutF;
    for (const auto& e : fs::directory_iterator(kDevices)) {
        if (e.path().extension() != ".dat") continue;
        const std::string stem = e.path().stem().string();
        (stem.find('F') != std::string::npos ? withF : withoutF).insert(stem);
    }
    EXPECT_TRUE(withF.count("VXT-20F"));
    EXPECT_TRUE(withoutF.count("VXP-10"));
}

}  // namespace
}  // namespace vyx
