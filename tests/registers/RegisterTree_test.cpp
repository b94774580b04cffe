// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/RegisterTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vyx {
namespace {

// Builds  A(A1(A1a), A2)  B  C(C1)  and returns the nodes in depth-first order.
std::vector<TNode*> Sample(TRegisterTree& tree) {
    auto add = [&](TNode* parent, const char16_t* name) {
        TNode* n = tree.AddChild(parent);
        n->Record.Name = name;
        return n;
    };
    TNode* a = add(nullptr, u"A");
    TNode* a1 = add(a, u"A1");
    TNode* a1a = add(a1, u"A1a");
    TNode* a2 = add(a, u"A2");
    TNode* b = add(nullptr, u"B");
    TNode* c = add(nullptr, u"C");
    TNode* c1 = add(c, u"C1");
    return {a, a1, a1a, a2, b, c, c1};
}

TEST(RegisterTree, NewNodeDefaults) {
    TRegisterTree tree;
    const TNode* n = tree.AddChild(nullptr);
    EXPECT_EQ(n->States, kStateVisible);
    EXPECT_EQ(n->Align, 50);
    EXPECT_EQ(n->CheckState, kCheckUncheckedNormal);
    EXPECT_EQ(n->CheckType, kCheckTypeNone);
    EXPECT_EQ(n->Record, TRegData{});
    EXPECT_EQ(n->Parent(), nullptr);
    EXPECT_EQ(n->ChildCount(), 0u);
}

TEST(RegisterTree, DepthFirstWalk) {
    TRegisterTree tree;
    const std::vector<TNode*> order = Sample(tree);
    EXPECT_EQ(tree.Count(), 7u);
    EXPECT_EQ(tree.TopLevelCount(), 3u);
    std::vector<TNode*> walked;
    for (TNode* n = tree.First(); n != nullptr; n = tree.NextNode(n)) walked.push_back(n);
    EXPECT_EQ(walked, order);

    TNode *a = order[0], *a1 = order[1], *a1a = order[2], *a2 = order[3], *b = order[4], *c = order[5];
    EXPECT_EQ(tree.NextSibling(a), b);
    EXPECT_EQ(tree.NextSibling(a1), a2);
    EXPECT_EQ(tree.NextSibling(a2), nullptr);
    EXPECT_EQ(tree.NextSibling(c), nullptr);
    EXPECT_EQ(TRegisterTree::FirstChild(a), a1);
    EXPECT_EQ(TRegisterTree::FirstChild(b), nullptr);
    EXPECT_EQ(TRegisterTree::Parent(a1a), a1);
    EXPECT_EQ(TRegisterTree::Parent(a), nullptr);
    EXPECT_EQ(a1a->Level(), 2u);
    EXPECT_EQ(a2->Index(), 1u);
    EXPECT_EQ(c->Index(), 2u);
    EXPECT_EQ(tree.NextNode(a1a), a2) << "on past the parent's last child";
}

TEST(RegisterTree, FindRegisterByNameIsExactAndFirstInOrder) {
    TRegisterTree tree;
    const std::vector<TNode*> order = Sample(tree);
    EXPECT_EQ(tree.FindRegisterByName(u"A1a"), order[2]);
    EXPECT_EQ(tree.FindRegisterByName(u"C1"), order[6]);
    EXPECT_EQ(tree.FindRegisterByName(u"c1"), nullptr);
    EXPECT_EQ(tree.FindRegisterByName(u"C1 "), nullptr);
    EXPECT_EQ(tree.FindRegisterByName(u"A1"), order[1]);
    // A later node with the same name is not found while an earlier one exists.
    tree.AddChild(order[4])->Record.Name = u"A2";
    EXPECT_EQ(tree.FindRegisterByName(u"A2"), order[3]);
}

TEST(RegisterTree, NodesKeepTheirAddresses) {
    TRegisterTree tree;
    TNode* first = tree.AddChild(nullptr);
    TNode* child = tree.AddChild(first);
    for (int i = 0; i < 10000; ++i) tree.AddChild(i % 2 ? nullptr : first);
    EXPECT_EQ(tree.First(), first);
    EXPECT_EQ(first->FirstChild(), child);
    EXPECT_EQ(child->Parent(), first);
}

TEST(RegisterTree, ClearAndReuse) {
    TRegisterTree tree;
    Sample(tree);
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_EQ(tree.First(), nullptr);
    EXPECT_EQ(tree.FindRegisterByName(u"A"), nullptr);
    const std::vector<TNode*> again = Sample(tree);
    EXPECT_EQ(tree.First(), again[0]);
    EXPECT_EQ(tree.Count(), 7u);
}

TEST(RegisterTree, VeryDeepTreeWalksAndDiesWithoutRecursion) {
    const size_t depth = 300000;
    TRegisterTree tree;
    TNode* n = nullptr;
    for (size_t i = 0; i < depth; ++i) n = tree.AddChild(n);
    n->Record.Name = u"dno";
    tree.AddChild(nullptr)->Record.Name = u"za";
    EXPECT_EQ(tree.FindRegisterByName(u"za"), tree.TopLevel(1));
    EXPECT_EQ(tree.NextNode(n), tree.TopLevel(1));
    size_t walked = 0;
    for (TNode* m = tree.First(); m != nullptr; m = tree.NextNode(m)) ++walked;
    EXPECT_EQ(walked, depth + 1);
    tree.Clear();
    for (size_t i = 0; i < depth; ++i) n = tree.AddChild(i == 0 ? nullptr : n);
    // Destroyed at the end of the scope.
}

}  // namespace
}  // namespace vyx
