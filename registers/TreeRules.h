// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the user's ticks and expansions do in the register tree, without a
// toolkit: the window calls these and only repaints, and shows the refusal.
//
// A tick of a bit child (type BIT) is a predefined value of the register above
// it. Directly under a register it becomes that register's value, which is then
// written; inside a group under a register (a high byte and a low byte of bits
// under a HEX register) it is merged into the register's value, which a later
// write sends. A radio button unticks its radio siblings; a tri-state box hands
// its tick down to the boxes below it, and shows ticked, unticked or mixed as
// the boxes below it are.
#include <cstdint>

#include "registers/RegisterTree.h"

namespace vyx {

// The tick a node shows: its own, or for a tri-state parent the one its children
// with tick boxes give (all ticked: ticked; none ticked: unticked; otherwise
// mixed).
uint8_t EffectiveCheckState(const TNode& node);

// The state a tick moves the node to: a radio button is always ticked, a button
// always unticked, any other box toggles.
uint8_t TickedState(const TNode& node);

struct TTick {
    bool Refused = false;       // a bit of a register that is not RW or RP: nothing changed
    TNode* Current = nullptr;   // the node that becomes the current one (none: unchanged)
    TNode* Written = nullptr;   // the register whose value the tick set, to be written now
};

// Applies the user's tick of `node`. A merge into a register whose value is not a
// number raises the integer conversion's error before anything changes.
TTick ApplyTick(const TRegisterTree& tree, TNode& node);

// Expanding a HEX register that has no value yet (never read) unticks every node
// below it: no tick may claim a value that was never read. False when nothing
// was changed.
bool UntickOnExpanding(const TRegisterTree& tree, TNode& node);

}  // namespace vyx
