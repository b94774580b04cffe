#include "RegisterTree.h"

namespace vyx {

size_t TNode::Level() const {
    size_t level = 0;
    for (const TNode* p = parent_; p != nullptr; p = p->parent_) ++level;
    return level;
}

TRegisterTree::~TRegisterTree() { Clear(); }

void TRegisterTree::Clear() {
    // Take the nodes apart one by one: a node is destroyed only once it has no
    // children left, so destruction never recurses however deep the tree is.
    std::vector<std::unique_ptr<TNode>> pending = std::move(roots_);
    roots_.clear();
    while (!pending.empty()) {
        std::unique_ptr<TNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
    }
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
