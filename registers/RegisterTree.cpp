// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegisterTree.h"

namespace vyx {

size_t TNode::Level() const {
    size_t level = 0;
    for (const TNode* p = parent_; p != nullptr; p = p->parent_) ++level;
    return level;
}

TRegisterTree::~TRegisterTree() { Clear(); }

TRegisterTree::TRegisterTree(TRegisterTree&& other) noexcept
    : roots_(std::move(other.roots_)), count_(other.count_) {
    other.roots_.clear();
    other.count_ = 0;
}

TRegisterTree& TRegisterTree::operator=(TRegisterTree&& other) noexcept {
    if (this != &other) {
        Clear();
        roots_ = std::move(other.roots_);
        count_ = other.count_;
        other.roots_.clear();
        other.count_ = 0;
    }
    return *this;
}

void TRegisterTree::Clear() {
    // Destroy leaves only: go down through last children to a node without
    // children, remove it from its parent and carry on from the parent. No
    // recursion and no allocation, however deep the tree is.
    TNode* current = nullptr;  // null stands for the top level
    for (;;) {
        auto& children = current ? current->children_ : roots_;
        if (!children.empty()) {
            current = children.back().get();
            continue;
        }
        if (current == nullptr) break;
        TNode* parent = current->parent_;
        (parent ? parent->children_ : roots_).pop_back();
        current = parent;
    }
    roots_.clear();
    roots_.shrink_to_fit();
    count_ = 0;
}

TNode* TRegisterTree::AddChild(TNode* parent) {
    auto& siblings = parent ? parent->children_ : roots_;
    auto node = std::make_unique<TNode>();
    node->parent_ = parent;
    node->index_ = siblings.size();
    siblings.push_back(std::move(node));
    ++count_;
    return siblings.back().get();
}

TNode* TRegisterTree::NextSibling(const TNode* node) const {
    const auto& siblings = node->parent_ ? node->parent_->children_ : roots_;
    const size_t next = node->index_ + 1;
    return next < siblings.size() ? siblings[next].get() : nullptr;
}

TNode* TRegisterTree::NextNode(const TNode* node) const {
    if (!node->children_.empty()) return node->children_.front().get();
    for (const TNode* n = node; n != nullptr; n = n->parent_) {
        if (TNode* sibling = NextSibling(n)) return sibling;
    }
    return nullptr;
}

TNode* TRegisterTree::FindRegisterByName(std::u16string_view name) const {
    for (TNode* n = First(); n != nullptr; n = NextNode(n)) {
        if (n->Record.Name == name) return n;
    }
    return nullptr;
}

}  // namespace vyx
