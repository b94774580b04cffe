// The tree's rules for ticks and expansions, without a toolkit.
#include <gtest/gtest.h>

#include "registers/Error.h"
#include "registers/TreeRules.h"

using namespace vyx;

namespace {

TNode* Add(TRegisterTree& tree, TNode* parent, TRegData record, uint8_t checkType = kCheckTypeNone) {
    TNode* n = tree.AddChild(parent);
    n->Record = std::move(record);
    n->CheckType = checkType;
    return n;
}

// "Tryb" (RW HEX, tri-state, bits 1 2 3), "Flagi" (RW HEX with a high-byte and a
// low-byte group of bits), "Stan" (RO HEX), "Wybor" (RW WORD, radio buttons),
// "Polecenie" (a button).
class TreeRulesTest : public ::testing::Test {
protected:
    TreeRulesTest() {
        TNode* top = Add(tree, nullptr, {u"Urządzenie", u"", u"", u"", u"", u"", u""});
        tryb = Add(tree, top, {u"Tryb", u"", u"40010", u"HEX", u"1", u"RW", u""}, kCheckTypeTriStateCheckBox);
        for (const char16_t* v : {u"1", u"2", u"3"}) Add(tree, tryb, {v, u"", u"", u"BIT", u"", u"", v}, kCheckTypeCheckBox);
        flagi = Add(tree, top, {u"Flagi", u"", u"40011", u"HEX", u"1", u"RW", u"$1234"});
        high = Add(tree, flagi, {u"Starszy", u"", u"", u"", u"", u"", u""});
        b9 = Add(tree, high, {u"b9", u"", u"", u"BIT", u"", u"", u"512"}, kCheckTypeCheckBox);
        low = Add(tree, flagi, {u"Młodszy", u"", u"", u"", u"", u"", u""});
        b0 = Add(tree, low, {u"b0-2", u"", u"", u"BIT", u"", u"", u"7"}, kCheckTypeCheckBox);
        stan = Add(tree, top, {u"Stan", u"", u"40012", u"HEX", u"1", u"RO", u"$00"});
        s1 = Add(tree, stan, {u"s1", u"", u"", u"BIT", u"", u"", u"1"}, kCheckTypeCheckBox);
        wybor = Add(tree, top, {u"Wybor", u"", u"40013", u"WORD", u"1", u"RW", u"0"});
        for (const char16_t* v : {u"0", u"1", u"2"}) Add(tree, wybor, {v, u"", u"", u"BIT", u"", u"", v}, kCheckTypeRadioButton);
        button = Add(tree, top, {u"Polecenie", u"", u"", u"BIT", u"", u"", u"1"}, kCheckTypeButton);
    }
    TRegisterTree tree;
    TNode *tryb, *flagi, *high, *b9, *low, *b0, *stan, *s1, *wybor, *button;
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
