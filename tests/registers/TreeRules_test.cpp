// SPDX-License-Identifier: GPL-3.0-or-later
// The tree's rules for ticks and expansions, without a toolkit.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "registers/TreeRules.h"
#include "tests/support/BitDevice.h"

using namespace vyx;

namespace {

class TreeRulesTest : public ::testing::Test {
protected:
    TreeRulesTest() : d(test::BuildBitDevice(tree)) {}
    TRegisterTree tree;
    test::TBitDevice d;
    TNode *tryb = d.Tryb, *flagi = d.Flagi, *high = d.High, *b9 = d.B9, *low = d.Low, *b0 = d.B0, *stan = d.Stan,
          *s1 = d.S1, *wybor = d.Wybor;
};

}  // namespace

TEST_F(TreeRulesTest, TickStatesByCheckType) {
    const struct {
        uint8_t type, from, to;
    } rows[] = {
        {kCheckTypeCheckBox, kCheckUncheckedNormal, kCheckCheckedNormal},
        {kCheckTypeCheckBox, kCheckCheckedPressed, kCheckUncheckedNormal},
        {kCheckTypeRadioButton, kCheckCheckedNormal, kCheckCheckedNormal},  // never unticked by a tick
        {kCheckTypeButton, kCheckUncheckedNormal, kCheckUncheckedNormal},   // never ticked
        {kCheckTypeTriStateCheckBox, kCheckMixedNormal, kCheckCheckedNormal},
    };
    for (const auto& r : rows) {
        TNode n;
        n.CheckType = r.type;
        n.CheckState = r.from;
        EXPECT_EQ(TickedState(n), r.to) << int(r.type) << " from " << int(r.from);
    }
    // A tri-state parent shows its boxes: none, some, all ticked.
    EXPECT_EQ(EffectiveCheckState(*tryb), kCheckUncheckedNormal);
    tryb->Child(0)->CheckState = kCheckCheckedNormal;
    EXPECT_EQ(EffectiveCheckState(*tryb), kCheckMixedNormal);
    tryb->Child(1)->CheckState = tryb->Child(2)->CheckState = kCheckCheckedNormal;
    EXPECT_EQ(EffectiveCheckState(*tryb), kCheckCheckedNormal);
}

TEST_F(TreeRulesTest, ABitUnderARegisterBecomesItsValueAndIsWritten) {
    const TTick tick = ApplyTick(tree, *tryb->Child(2));
    EXPECT_EQ(tick.Written, tryb);
    EXPECT_EQ(tick.Current, tryb);
    EXPECT_EQ(tryb->Record.Value, u"3");
    EXPECT_EQ(tryb->Child(2)->CheckState, kCheckCheckedNormal);
    // Unticking changes no value and writes nothing.
    EXPECT_EQ(ApplyTick(tree, *tryb->Child(2)).Written, nullptr);
    EXPECT_EQ(tryb->Child(2)->CheckState, kCheckUncheckedNormal);
    EXPECT_EQ(tryb->Record.Value, u"3");

    // A radio button unticks its radio siblings.
    ApplyTick(tree, *wybor->Child(1));
    EXPECT_EQ(ApplyTick(tree, *wybor->Child(2)).Written, wybor);
    EXPECT_EQ(wybor->Child(1)->CheckState, kCheckUncheckedNormal);
    EXPECT_EQ(wybor->Child(2)->CheckState, kCheckCheckedNormal);
    EXPECT_EQ(wybor->Record.Value, u"2");

    // A read-only register's bit is refused and changes nothing.
    EXPECT_TRUE(ApplyTick(tree, *s1).Refused);
    EXPECT_EQ(s1->CheckState, kCheckUncheckedNormal);
    EXPECT_EQ(stan->Record.Value, u"$00");
}

TEST_F(TreeRulesTest, BitsOfAGroupMergeIntoTheirByteAndWriteNothing) {
    TTick tick = ApplyTick(tree, *b9);  // high byte replaced
    EXPECT_EQ(flagi->Record.Value, u"$0234");
    EXPECT_EQ(tick.Written, nullptr);
    EXPECT_EQ(tick.Current, high);
    tick = ApplyTick(tree, *b0);  // low byte replaced
    EXPECT_EQ(flagi->Record.Value, u"$0207");
    EXPECT_EQ(tick.Current, low);
    // A register value that is not a number: the error comes before any change.
    b9->CheckState = kCheckUncheckedNormal;
    flagi->Record.Value = u"abc";
    EXPECT_THROW(ApplyTick(tree, *b9), Error);
    EXPECT_EQ(b9->CheckState, kCheckUncheckedNormal);
}

TEST_F(TreeRulesTest, ATriStateBoxHandsItsTickDown) {
    ApplyTick(tree, *tryb);
    for (size_t i = 0; i < tryb->ChildCount(); ++i) EXPECT_EQ(tryb->Child(i)->CheckState, kCheckCheckedNormal);
    ApplyTick(tree, *tryb);
    for (size_t i = 0; i < tryb->ChildCount(); ++i) EXPECT_EQ(tryb->Child(i)->CheckState, kCheckUncheckedNormal);
    EXPECT_EQ(tryb->Record.Value, u"");  // the box itself is no value
}

TEST_F(TreeRulesTest, ExpandingAnUnreadHexRegisterUnticksWhatIsBelowIt) {
    for (size_t i = 0; i < tryb->ChildCount(); ++i) tryb->Child(i)->CheckState = kCheckCheckedNormal;
    b0->CheckState = s1->CheckState = kCheckCheckedNormal;
    EXPECT_TRUE(UntickOnExpanding(tree, *tryb));
    for (size_t i = 0; i < tryb->ChildCount(); ++i) EXPECT_EQ(tryb->Child(i)->CheckState, kCheckUncheckedNormal);
    // A register read (a value), or not HEX, keeps its ticks; so do other registers'.
    EXPECT_FALSE(UntickOnExpanding(tree, *flagi));
    EXPECT_EQ(b0->CheckState, kCheckCheckedNormal);
    EXPECT_FALSE(UntickOnExpanding(tree, *wybor));
    EXPECT_EQ(s1->CheckState, kCheckCheckedNormal);
}
