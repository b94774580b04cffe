// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TreeCompare.h"

#include <gtest/gtest.h>

#include <string>

#include "base/Text.h"

namespace vyx::test {

void ExpectSameTree(const TRegisterTree& a, const TRegisterTree& b) {
    ASSERT_EQ(a.Count(), b.Count());
    ASSERT_EQ(a.TopLevelCount(), b.TopLevelCount());
    const TNode* x = a.First();
    const TNode* y = b.First();
    for (size_t i = 0; x != nullptr && y != nullptr; ++i, x = a.NextNode(x), y = b.NextNode(y)) {
        SCOPED_TRACE("node " + std::to_string(i) + " " + ToUtf8(x->Record.Name));
        EXPECT_EQ(x->Record, y->Record);
        EXPECT_EQ(x->States, y->States);
        EXPECT_EQ(x->NodeHeight, y->NodeHeight);
        EXPECT_EQ(x->Align, y->Align);
        EXPECT_EQ(x->CheckState, y->CheckState);
        EXPECT_EQ(x->CheckType, y->CheckType);
        EXPECT_EQ(x->ChildCount(), y->ChildCount());
        EXPECT_EQ(x->Level(), y->Level());
    }
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(y, nullptr);
}

}  // namespace vyx::test
