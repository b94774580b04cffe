// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/TreeRules.h"

#include <cstdio>

#include "registers/RegData.h"
#include "base/Text.h"

namespace vyx {
namespace {

bool Ticked(uint8_t state) { return state == kCheckCheckedNormal || state == kCheckCheckedPressed; }
bool Mixed(uint8_t state) { return state == kCheckMixedNormal || state == kCheckMixedPressed; }

// "$" and at least four upper-case hexadecimal digits.
std::u16string HexValue(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%04X", static_cast<uint32_t>(value));
    return FromUtf8(text);
}

}  // namespace

uint8_t EffectiveCheckState(const TNode& node) {
    if (node.CheckType != kCheckTypeTriStateCheckBox || node.ChildCount() == 0) return node.CheckState;
    bool any = false, all = true, boxes = false;
    for (size_t i = 0; i < node.ChildCount(); ++i) {
        const TNode& child = *node.Child(i);
        if (child.CheckType == kCheckTypeNone) continue;
        boxes = true;
        const uint8_t s = EffectiveCheckState(child);
        any = any || Ticked(s) || Mixed(s);
        all = all && Ticked(s);
    }
    if (!boxes) return node.CheckState;
    if (all) return kCheckCheckedNormal;
    return any ? kCheckMixedNormal : kCheckUncheckedNormal;
}

uint8_t TickedState(const TNode& node) {
    if (node.CheckType == kCheckTypeRadioButton) return kCheckCheckedNormal;
    if (node.CheckType == kCheckTypeButton || Ticked(EffectiveCheckState(node))) return kCheckUncheckedNormal;
    return kCheckCheckedNormal;
}

TTick ApplyTick(const TRegisterTree& tree, TNode& node) {
    TTick tick;
    const uint8_t next = TickedState(node);
    TNode* parent = node.Parent();
    // Only a tick of a bit child changes a value.
    if (next == kCheckCheckedNormal && parent && node.Record.DataType == u"BIT") {
        tick.Current = parent;
        if (!parent->Record.DataType.empty()) {
            const int access = GetAccessCode(parent->Record.Access);
            if (access != kAccessRW && access != kAccessRP) return TTick{true, nullptr, nullptr};  // never sent
            parent->Record.Value = node.Record.Value;
            tick.Written = parent;
        } else if (TNode* reg = parent->Parent()) {
            // A bit above 255 is of the high byte, which it replaces; else of the low byte.
            const int32_t old = StrToInt(reg->Record.Value);
            const int32_t bits = StrToInt(node.Record.Value);
            reg->Record.Value = HexValue(bits > 255 ? (bits | (old & 0x00FF)) : (bits | (old & 0xFF00)));
        }
    }
    node.CheckState = next;
    if (node.CheckType == kCheckTypeTriStateCheckBox) {
        const size_t level = node.Level();
        for (TNode* n = tree.NextNode(&node); n && n->Level() > level; n = tree.NextNode(n))
            if (n->CheckType == kCheckTypeCheckBox || n->CheckType == kCheckTypeTriStateCheckBox) n->CheckState = next;
    }
    if (node.CheckType == kCheckTypeRadioButton && parent)
        for (size_t i = 0; i < parent->ChildCount(); ++i) {
            TNode* sibling = parent->Child(i);
            if (sibling != &node && sibling->CheckType == kCheckTypeRadioButton)
                sibling->CheckState = kCheckUncheckedNormal;
        }
    return tick;
}

bool UntickOnExpanding(const TRegisterTree& tree, TNode& node) {
    if (node.Record.DataType != u"HEX" || !node.Record.Value.empty()) return false;
    const size_t level = node.Level();
    for (TNode* n = tree.NextNode(&node); n && n->Level() > level; n = tree.NextNode(n))
        n->CheckState = kCheckUncheckedNormal;
    return true;
}

}  // namespace vyx
