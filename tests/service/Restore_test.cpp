// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing snapshots, and which registers of a snapshot a restore writes.
#include <gtest/gtest.h>

#include "service/Restore.h"

using namespace vyx;
using namespace vyx::service;

namespace {

TSnapshotRegister Saved(const char* name, const char* address, const char* access, std::vector<uint16_t> words,
                        const char* error = "") {
    return {name, address, "WORD", std::to_string(words.size()), access, "", std::move(words), error, ""};
}

void AddRegister(TRegisterTree& tree, const char16_t* name, const char16_t* address, const char16_t* length,
                 const char16_t* access) {
    tree.AddChild(nullptr)->Record = {name, u"", address, u"WORD", length, access, u""};
}

// "NAME:A|B" per difference, "-" for a side that is missing.
std::vector<std::string> Names(const std::vector<TDifference>& differences) {
    std::vector<std::string> names;
    for (const TDifference& d : differences)
        names.push_back((d.A ? d.A : d.B)->Name + ":" + (d.A ? "A" : "-") + "|" + (d.B ? "B" : "-"));
    return names;
}

}  // namespace

TEST(SnapshotCompare, ListsOtherWordsFailedReadsAndRegistersOfOneSideOnly) {
    TSnapshot a, b;
    a.Registers = {Saved("Same", "40001", "RW", {1}), Saved("Other", "40002", "RW", {2}),
                   Saved("Failed", "40003", "RW", {}, "no reply"), Saved("OnlyA", "40004", "RW", {4}),
                   Saved("Same", "40001", "RW", {9})};  // a repeated register counts once
    b.Registers = {Saved("OnlyB", "40005", "RW", {5}), Saved("Failed", "40003", "RW", {3}),
                   Saved("Other", "40002", "RW", {7}), Saved("Same", "40001", "RW", {1}),
                   Saved("Other", "49999", "RW", {2})};  // matched by name and address
    EXPECT_EQ(Names(Compare(a, b)), (std::vector<std::string>{"Other:A|B", "Failed:A|B", "OnlyA:A|-", "OnlyB:-|B",
                                                              "Other:-|B"}));
    EXPECT_TRUE(Compare(b, b).empty());
}

TEST(RestorePlan, WritesOnlyWhatTheDeviceFileAndTheSnapshotLetWrite) {
    TRegisterTree tree;
    AddRegister(tree, u"N100", u"40001", u"2", u"RW");
    AddRegister(tree, u"Tryb", u"40015", u"1", u"RP");
    AddRegister(tree, u"Numer", u"40059", u"1", u"RO");
    AddRegister(tree, u"Data", u"40007", u"8", u"RW");
    AddRegister(tree, u"Zmieniony", u"40030", u"1", u"RW");
    TSnapshot saved;
    saved.Registers = {
        Saved("N100", "40001", "RW", {0x0000, 0x447A}),
        Saved("Tryb", "40015", "RP", {9}),
        Saved("Numer", "40059", "RO", {1}),
        Saved("Data", "40007", "RW", {1, 2}),
        Saved("Zmieniony", "40030", "RO", {1}),  // RO when it was saved
        Saved("Brak", "40099", "RW", {1}),
        Saved("Nieodczytany", "40001", "RW", {}, "crc_error"),
    };
    const std::vector<TDifference> differences = Compare(saved, TSnapshot{});  // the device has none of them
    const TRestorePlan plan = PlanRestore(differences, tree, "VXT-20F.dat");

    ASSERT_EQ(plan.Writes.size(), 2u);
    EXPECT_EQ(plan.Writes[0].Saved->Name, "N100");
    EXPECT_EQ(plan.Writes[0].Node, tree.TopLevel(0));
    EXPECT_EQ(plan.Writes[1].Node, tree.TopLevel(1));
    std::vector<std::string> skipped;
    for (const TRestoreSkip& s : plan.Skipped) skipped.push_back(s.Saved->Name + ": " + s.Why);
    EXPECT_EQ(skipped, (std::vector<std::string>{"Numer: access RO", "Data: its length in VXT-20F.dat is 8",
                                                 "Zmieniony: access RW", "Brak: not in VXT-20F.dat"}));

    TRegisterRead back;
    back.Ok = true;
    back.Words = {0x0000, 0x447A};
    EXPECT_TRUE(plan.Writes[0].Took(back));
    back.Words = {0x0000, 0x447B};
    EXPECT_FALSE(plan.Writes[0].Took(back));
}
