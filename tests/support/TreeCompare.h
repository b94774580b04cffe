// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compares two register trees node by node in depth-first order: records,
// states, row heights, alignment, tick states and types, and the shape.
#include "registers/RegisterTree.h"

namespace vyx::test {

void ExpectSameTree(const TRegisterTree& a, const TRegisterTree& b);

}  // namespace vyx::test
