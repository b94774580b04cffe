// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RegisterModel.h"

#include "base/Text.h"
#include "registers/TreeRules.h"

namespace vyx::ui {
namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

bool Shown(const TNode& node) { return (node.States & kStateVisible) != 0; }

}  // namespace

QString RegisterToolTip(const TRegData& r) {
    QString tip = QStringLiteral("<qt><b>") + Q(r.Name).toHtmlEscaped() + QStringLiteral("</b>");
    const auto field = [&tip](const char16_t* label, const std::u16string& value) {
        if (!value.empty())
            tip += QStringLiteral("<br>") + QString::fromUtf16(label) + QStringLiteral(": ") + Q(value).toHtmlEscaped();
    };
    field(u"Adres", r.Address);
    field(u"Typ", r.DataType);
    field(u"Długość", r.Length);
    field(u"Dostęp", r.Access);
    if (!r.Note.empty()) tip += QStringLiteral("<br><i>") + Q(r.Note).toHtmlEscaped() + QStringLiteral("</i>");
    return tip + QStringLiteral("</qt>");
}

QColor CellColor(const TNode& node, int column, const TNode* highlight, bool unread) {
    if (&node == highlight) return column == kColValue ? QColor(255, 0, 0) : QColor(0, 0, 0);
    if (column == kColValue && unread) return kUnreadGrey;
    if (node.Record.Access == u"RP") return QColor(128, 0, 0);
    if (node.Record.Access == u"RW") return column == kColAddress ? QColor(0, 0, 128) : QColor(0, 0, 0);
    return {};
}

TRegisterModel::TRegisterModel(const TRegisterTree& tree, TNode* const& highlight, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), highlight_(highlight) {
    Rebuild();
}

void TRegisterModel::EndReset() {
    read_.clear();
    Rebuild();
    endResetModel();
}

void TRegisterModel::Rebuild() {
    rows_.clear();
    rowOf_.clear();
    // Breadth by an explicit list: a deep tree cannot exhaust the stack.
    std::vector<const TNode*> parents{nullptr};
    while (!parents.empty()) {
        const TNode* p = parents.back();
        parents.pop_back();
        const size_t n = p ? p->ChildCount() : tree_.TopLevelCount();
        std::vector<TNode*> shown;
        for (size_t i = 0; i < n; ++i) {
            TNode* c = p ? p->Child(i) : tree_.TopLevel(i);
            if (!Shown(*c)) continue;
            rowOf_[c] = static_cast<int>(shown.size());
            shown.push_back(c);
            if (c->ChildCount() > 0) parents.push_back(c);
        }
        if (!shown.empty() || !p) rows_[p] = std::move(shown);
    }
}

void TRegisterModel::Refresh() {
    const int n = rowCount();
    if (n > 0) emit dataChanged(index(0, 0), index(n - 1, columnCount() - 1));
}

void TRegisterModel::MarkRead(const TRegData* record, bool read) {
    if (read)
        read_.insert(record);
    else
        read_.erase(record);
}

bool TRegisterModel::Unread(const TNode& node) const {
    // Only a register's own value: a group has none, a bit child's is its pattern.
    const TRegData& r = node.Record;
    return !r.Value.empty() && !r.Access.empty() && r.DataType != u"BIT" && !read_.contains(&r);
}

void TRegisterModel::NodeChanged(const TNode* node) {
    const QModelIndex first = IndexOf(node, 0);
    if (first.isValid()) emit dataChanged(first, first.siblingAtColumn(columnCount() - 1));
}

const std::vector<TNode*>& TRegisterModel::Rows(const TNode* parent) const {
    static const std::vector<TNode*> kNone;
    const auto it = rows_.find(parent);
    return it == rows_.end() ? kNone : it->second;
}

TNode* TRegisterModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TRegisterModel::IndexOf(const TNode* node, int column) const {
    if (!node) return {};
    const auto it = rowOf_.find(node);
    if (it == rowOf_.end()) return {};
    return createIndex(it->second, column, const_cast<TNode*>(node));
}

QModelIndex TRegisterModel::index(int row, int column, const QModelIndex& parent) const {
    if (column < 0 || column >= 3 || row < 0) return {};
    const std::vector<TNode*>& rows = Rows(NodeOf(parent));
    if (static_cast<size_t>(row) >= rows.size()) return {};
    return createIndex(row, column, rows[static_cast<size_t>(row)]);
}

QModelIndex TRegisterModel::parent(const QModelIndex& child) const {
    const TNode* node = NodeOf(child);
    if (!node || !node->Parent()) return {};
    return IndexOf(node->Parent(), 0);
}

int TRegisterModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(Rows(NodeOf(parent)).size());
}

int TRegisterModel::columnCount(const QModelIndex&) const { return 3; }

QVariant TRegisterModel::data(const QModelIndex& index, int role) const {
    const TNode* node = NodeOf(index);
    if (!node) return {};
    const TRegData& r = node->Record;
    switch (role) {
        case Qt::EditRole:
            return index.column() == kColValue ? Q(r.Value) : QVariant();
        case Qt::DisplayRole:
            return Q(index.column() == kColName ? r.Name : index.column() == kColAddress ? r.Address : r.Value);
        case Qt::ForegroundRole: {
            const QColor c = CellColor(*node, index.column(), highlight_, Unread(*node));
            return c.isValid() ? QVariant(c) : QVariant();
        }
        case Qt::CheckStateRole: {
            if (index.column() != kColName || node->CheckType == kCheckTypeNone) return {};
            const uint8_t s = EffectiveCheckState(*node);
            if (s == kCheckCheckedNormal || s == kCheckCheckedPressed) return Qt::Checked;
            if (s == kCheckMixedNormal || s == kCheckMixedPressed) return Qt::PartiallyChecked;
            return Qt::Unchecked;
        }
        case Qt::ToolTipRole:
            if (index.column() == kColValue && Unread(*node))
                return RegisterToolTip(r).chopped(5) + QStringLiteral("<br>") + QString::fromUtf8(kUnreadTip) +
                       QStringLiteral("</qt>");
            return RegisterToolTip(r);
        case kCheckTypeRole:
            return node->CheckType;
        default:
            return {};
    }
}

bool TRegisterModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TNode* node = NodeOf(index);
    if (!node) return false;
    if (role == Qt::CheckStateRole) emit TickRequested(node);
    if (role == Qt::EditRole && index.column() == kColValue) emit ValueEdited(node, value.toString());
    return false;
}

Qt::ItemFlags TRegisterModel::flags(const QModelIndex& index) const {
    const TNode* node = NodeOf(index);
    if (!node) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable;
    if (!(node->States & kStateDisabled)) f |= Qt::ItemIsEnabled;
    if (index.column() == kColName && node->CheckType != kCheckTypeNone) f |= Qt::ItemIsUserCheckable;
    const int access = GetAccessCode(node->Record.Access);
    if (index.column() == kColValue && (access == kAccessRW || access == kAccessRP)) f |= Qt::ItemIsEditable;
    return f;
}

QVariant TRegisterModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kColName:
            return QStringLiteral("Rejestr");
        case kColAddress:
            return QStringLiteral("Adres");
        case kColValue:
            return QStringLiteral("Wartość");
        default:
            return {};
    }
}

}  // namespace vyx::ui
