// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register tree as the tree-grid shows it: a model over the core's register
// tree (node addresses are stable, so each index points at its node). Three
// columns: "Rejestr" (Name), "Adres" (Address), "Wartość" (Value).
//
// Hidden nodes are left out; disabled nodes are shown disabled; a tri-state
// parent's tick is computed from its children's. The model never changes a tick
// or a value itself: what the user asks for is handed to the window
// (TickRequested, ValueEdited). Only the values of RW and RP registers can be
// edited.
#include <QAbstractItemModel>
#include <QColor>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registers/RegisterTree.h"

namespace vyx::ui {

enum : int {
    kColName = 0,
    kColAddress = 1,
    kColValue = 2,
};

// The node's check type, for the delegate that draws radio buttons and buttons.
inline constexpr int kCheckTypeRole = Qt::UserRole + 1;

// The row's tooltip: the whole name (the name column cuts long ones with "…"),
// then the address, type, length and access of a register, then the file's note
// for the node. Rich text, every field escaped.
QString RegisterToolTip(const TRegData& record);

// The cell's text colour; invalid where the tree's own colour applies. A
// register's value that has not been read in this session (`unread`: the
// file's) is grey.
QColor CellColor(const TNode& node, int column, const TNode* highlight, bool unread = false);
inline const QColor kUnreadGrey(128, 128, 128);
// The value cell's tooltip while it holds the file's value.
inline constexpr const char* kUnreadTip = "wartość z pliku, nieodczytana";

class TRegisterModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // `highlight` is the transaction's HighlightNode, read at every paint.
    TRegisterModel(const TRegisterTree& tree, TNode* const& highlight, QObject* parent = nullptr);

    // Around a change of the whole tree (a file loaded or cleared).
    void BeginReset() { beginResetModel(); }
    void EndReset();
    // Every cell is painted anew (values, ticks, colours).
    void Refresh();
    // Repaints the row of one node.
    void NodeChanged(const TNode* node);
    // The record's value came from the device in this session (true), or was
    // typed or taken from the file (false). A file loaded makes every value unread.
    void MarkRead(const TRegData* record, bool read);
    bool Unread(const TNode& node) const;

    TNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TNode* node, int column = 0) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The user asked to change the node's tick (mouse or Space).
    void TickRequested(vyx::TNode* node);
    // An in-place edit of the node's value was accepted (also unchanged).
    void ValueEdited(vyx::TNode* node, const QString& text);

private:
    void Rebuild();
    const std::vector<TNode*>& Rows(const TNode* parent) const;

    const TRegisterTree& tree_;
    TNode* const& highlight_;
    // The shown children of each node (key null: the top level) and each shown
    // node's row among them.
    std::unordered_map<const TNode*, std::vector<TNode*>> rows_;
    std::unordered_map<const TNode*, int> rowOf_;
    std::unordered_set<const TRegData*> read_;  // values read in this session
};

}  // namespace vyx::ui
