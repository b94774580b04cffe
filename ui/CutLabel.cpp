// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CutLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>

namespace vyx::ui {

bool TCutLabel::IsCut() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

QSize TCutLabel::minimumSizeHint() const {
    const QSize whole = QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")), whole.height()};
}

bool TCutLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QLabel::event(event);
    const QString tip = CutTip();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        // A text that looks like markup is shown as the text it is.
        const QString shown = Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap) : tip;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), shown, this);
    }
    return true;
}

void TCutLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

}  // namespace vyx::ui
