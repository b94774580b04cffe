// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register tree: groups, registers and the bit children of bit-field
// registers, each node carrying its register record and the few display
// attributes a register description file keeps for it. Nothing here knows a
// toolkit; the window shows the tree through a model of its own.
//
// Nodes are only ever appended, and the whole tree is cleared at once, so a
// node's address and its index among its siblings never change while it lives.
// Walking, clearing and destroying the tree never recurse, so a deep tree
// cannot exhaust the stack.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "registers/RegData.h"

namespace vyx {

// Bits of a node's States word.
inline constexpr uint16_t kStateInitialized = 0x0001;     // the node's data is complete
inline constexpr uint16_t kStateCheckChanging = 0x0002;   // transient
inline constexpr uint16_t kStateCutOrCopy = 0x0004;       // transient
inline constexpr uint16_t kStateDisabled = 0x0008;
inline constexpr uint16_t kStateDeleting = 0x0010;        // transient
inline constexpr uint16_t kStateExpanded = 0x0020;
inline constexpr uint16_t kStateHasChildren = 0x0040;     // shown with an expand button
inline constexpr uint16_t kStateVisible = 0x0080;
inline constexpr uint16_t kStateSelected = 0x0100;
inline constexpr uint16_t kStateNeedsRelease = 0x0200;    // transient
inline constexpr uint16_t kStateAllChildrenHidden = 0x0400;
inline constexpr uint16_t kStateClearingChildren = 0x0800;  // transient
inline constexpr uint16_t kStateMultiline = 0x1000;
inline constexpr uint16_t kStateHeightMeasured = 0x2000;  // transient
inline constexpr uint16_t kStateToggling = 0x4000;        // transient
inline constexpr uint16_t kStateFilteredOut = 0x8000;

// Tick state of a node (CheckState).
enum : uint8_t {
    kCheckUncheckedNormal = 0,
    kCheckUncheckedPressed = 1,
    kCheckCheckedNormal = 2,
    kCheckCheckedPressed = 3,
    kCheckMixedNormal = 4,
    kCheckMixedPressed = 5,
};

// Kind of tick box a node shows (CheckType).
enum : uint8_t {
    kCheckTypeNone = 0,
    kCheckTypeTriStateCheckBox = 1,
    kCheckTypeCheckBox = 2,
    kCheckTypeRadioButton = 3,
    kCheckTypeButton = 4,
};

// Attributes of a new node: visible, alignment 50, the tree's default row height.
inline constexpr uint16_t kDefaultStates = kStateVisible;
inline constexpr uint16_t kDefaultNodeHeight = 18;
inline constexpr uint8_t kDefaultAlign = 50;

class TRegisterTree;

class TNode {
public:
    TRegData Record;
    uint16_t States = kDefaultStates;
    uint16_t NodeHeight = kDefaultNodeHeight;
    uint8_t Align = kDefaultAlign;
    uint8_t CheckState = kCheckUncheckedNormal;
    uint8_t CheckType = kCheckTypeNone;

    TNode* Parent() const { return parent_; }
    // Position among the siblings (the top-level nodes for a top-level node).
    size_t Index() const { return index_; }
    size_t ChildCount() const { return children_.size(); }
    TNode* Child(size_t i) const { return children_[i].get(); }
    TNode* FirstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
    // Nesting level: 0 for a top-level node.
    size_t Level() const;

    TNode() = default;
    TNode(const TNode&) = delete;
    TNode& operator=(const TNode&) = delete;

private:
    friend class TRegisterTree;
    TNode* parent_ = nullptr;
    size_t index_ = 0;
    std::vector<std::unique_ptr<TNode>> children_;
};

class TRegisterTree {
public:
    TRegisterTree() = default;
    ~TRegisterTree();
    TRegisterTree(const TRegisterTree&) = delete;
    TRegisterTree& operator=(const TRegisterTree&) = delete;
    // Moving hands the nodes over; their addresses stay.
    TRegisterTree(TRegisterTree&& other) noexcept;
    TRegisterTree& operator=(TRegisterTree&& other) noexcept;

    // Frees every node.
    void Clear();

    // Appends a new node with default attributes as the last child of `parent`,
    // or as the last top-level node when `parent` is null.
    TNode* AddChild(TNode* parent);

    size_t TopLevelCount() const { return roots_.size(); }
    TNode* TopLevel(size_t i) const { return roots_[i].get(); }
    // The first top-level node; null for an empty tree.
    TNode* First() const { return roots_.empty() ? nullptr : roots_.front().get(); }

    static TNode* FirstChild(const TNode* node) { return node->FirstChild(); }
    static TNode* Parent(const TNode* node) { return node->Parent(); }
    TNode* NextSibling(const TNode* node) const;
    // The next node in depth-first order: the node's first child, else its next
    // sibling, else the next sibling of the nearest ancestor that has one; null
    // after the last node.
    TNode* NextNode(const TNode* node) const;

    // The first node in depth-first order whose Name equals `name` exactly.
    TNode* FindRegisterByName(std::u16string_view name) const;

    // Number of nodes at all levels.
    size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }

private:
    std::vector<std::unique_ptr<TNode>> roots_;
    size_t count_ = 0;
};

}  // namespace vyx
