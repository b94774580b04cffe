// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the register tree draws: the cell colours also in a selected row, vertical
// grid lines, tree lines with expansion boxes, and the tick box of each node's
// check type (check box, tri-state box, radio button, button).
#include <QProxyStyle>
#include <QStyledItemDelegate>

namespace vyx::ui {

class TTreeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

class TTreeStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

}  // namespace vyx::ui
