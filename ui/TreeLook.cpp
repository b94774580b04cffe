// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TreeLook.h"

#include <QPainter>

#include "registers/RegisterTree.h"
#include "ui/RegisterModel.h"

namespace vyx::ui {

void TTreeDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // The default painting ignores a cell's colour in a selected row.
    const QVariant color = index.data(Qt::ForegroundRole);
    if (color.isValid()) {
        const QColor c = color.value<QColor>();
        option->palette.setColor(QPalette::Text, c);
        option->palette.setColor(QPalette::HighlightedText, c);
    }
}

void TTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(192, 192, 192));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
}

void TTreeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
    if (element == PE_IndicatorItemViewItemCheck) {
        const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
        const int type = item ? item->index.data(kCheckTypeRole).toInt() : 0;
        if (type == kCheckTypeRadioButton) {
            QStyleOptionButton radio;
            radio.QStyleOption::operator=(*option);
            return QProxyStyle::drawPrimitive(PE_IndicatorRadioButton, &radio, painter, widget);
        }
        if (type == kCheckTypeButton) {
            QStyleOptionButton button;
            button.QStyleOption::operator=(*option);
            if (option->state & State_On) button.state |= State_Sunken;
            button.state |= State_Raised;
            return QProxyStyle::drawPrimitive(PE_PanelButtonBevel, &button, painter, widget);
        }
    }
    if (element == PE_IndicatorBranch) {
        // Dotted tree lines and a box with a plus or a minus.
        painter->save();
        const QRect r = option->rect;
        const QPoint mid = r.center();
        painter->setPen(QPen(QColor(128, 128, 128), 1, Qt::DotLine));
        if (option->state & (State_Item | State_Sibling)) {
            if (option->state & State_Item) painter->drawLine(mid.x(), mid.y(), r.right(), mid.y());
            const int bottom = (option->state & State_Sibling) ? r.bottom() : mid.y();
            painter->drawLine(mid.x(), r.top(), mid.x(), bottom);
        }
        if (option->state & State_Children) {
            const QRect box(mid.x() - 4, mid.y() - 4, 8, 8);
            painter->setPen(QColor(128, 128, 128));
            painter->setBrush(option->palette.base());
            painter->drawRect(box);
            painter->setPen(option->palette.text().color());
            painter->drawLine(box.left() + 2, mid.y(), box.right() - 2, mid.y());
            if (!(option->state & State_Open)) painter->drawLine(mid.x(), box.top() + 2, mid.x(), box.bottom() - 2);
        }
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

}  // namespace vyx::ui
