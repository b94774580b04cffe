// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A device of bit-field registers for tests of ticks, in memory:
// "Tryb" (RW HEX, tri-state, bits 1 2 3), "Flagi" (RW HEX $1234 with a high-byte
// and a low-byte group of bits), "Stan" (RO HEX), "Wybor" (RW WORD with radio
// buttons), "Nastawa" (RW WORD), "Serwis" (RP WORD) and "Polecenie" (a button),
// all in the group "Urządzenie".
#include <utility>

#include "registers/RegisterTree.h"

namespace vyx::test {

struct TBitDevice {
    TNode *Tryb, *Flagi, *High, *B9, *Low, *B0, *Stan, *S1, *Wybor, *Button;
};

inline TNode* AddNode(TRegisterTree& tree, TNode* parent, TRegData record, uint8_t checkType = kCheckTypeNone) {
    TNode* n = tree.AddChild(parent);
    n->Record = std::move(record);
    n->CheckType = checkType;
    return n;
}

inline TBitDevice BuildBitDevice(TRegisterTree& tree) {
    TBitDevice d{};
    TNode* top = AddNode(tree, nullptr, {u"Urządzenie", u"", u"", u"", u"", u"", u""});
    d.Tryb = AddNode(tree, top, {u"Tryb", u"", u"40010", u"HEX", u"1", u"RW", u""}, kCheckTypeTriStateCheckBox);
    for (const char16_t* v : {u"1", u"2", u"3"}) AddNode(tree, d.Tryb, {v, u"", u"", u"BIT", u"", u"", v}, kCheckTypeCheckBox);
    d.Flagi = AddNode(tree, top, {u"Flagi", u"", u"40011", u"HEX", u"1", u"RW", u"$1234"});
    d.High = AddNode(tree, d.Flagi, {u"Starszy", u"", u"", u"", u"", u"", u""});
    d.B9 = AddNode(tree, d.High, {u"b9", u"", u"", u"BIT", u"", u"", u"512"}, kCheckTypeCheckBox);
    d.Low = AddNode(tree, d.Flagi, {u"Młodszy", u"", u"", u"", u"", u"", u""});
    d.B0 = AddNode(tree, d.Low, {u"b0-2", u"", u"", u"BIT", u"", u"", u"7"}, kCheckTypeCheckBox);
    d.Stan = AddNode(tree, top, {u"Stan", u"", u"40012", u"HEX", u"1", u"RO", u"$00"});
    d.S1 = AddNode(tree, d.Stan, {u"s1", u"", u"", u"BIT", u"", u"", u"1"}, kCheckTypeCheckBox);
    d.Wybor = AddNode(tree, top, {u"Wybor", u"", u"40013", u"WORD", u"1", u"RW", u"0"});
    for (const char16_t* v : {u"0", u"1", u"2"}) AddNode(tree, d.Wybor, {v, u"", u"", u"BIT", u"", u"", v}, kCheckTypeRadioButton);
    AddNode(tree, top, {u"Nastawa", u"", u"40014", u"WORD", u"1", u"RW", u"5"});
    AddNode(tree, top, {u"Serwis", u"", u"40015", u"WORD", u"1", u"RP", u"6"});
    d.Button = AddNode(tree, top, {u"Polecenie", u"", u"", u"BIT", u"", u"", u"1"}, kCheckTypeButton);
    return d;
}

}  // namespace vyx::test
