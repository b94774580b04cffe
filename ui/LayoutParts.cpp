// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LayoutParts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

#include "ui/ChoiceBox.h"

namespace vyx::ui {
namespace {

const QColor kNavy(0, 0, 128);

}  // namespace

QFont WindowFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(13);
    return f;
}

QFont MonoFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Cousine"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    f.setPixelSize(13);
    f.setStyleHint(QFont::Monospace);
    return f;
}

QLabel* FieldLabel(const QString& text) {
    auto* label = new QLabel(text);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, kNavy);
    label->setPalette(p);
    return label;
}

TChoiceBox* Combo(bool editable, const QStringList& items) {
    auto* box = new TChoiceBox(editable);
    box->addItems(items);
    return box;
}

QGroupBox* Group(const QString& caption, int height) {
    auto* group = new QGroupBox(caption);
    group->setFixedHeight(height);
    return group;
}

QIcon SearchIcon() {
    QPixmap glass(16, 16);
    glass.fill(Qt::transparent);
    QPainter p(&glass);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kNavy, 2));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.setPen(QPen(kNavy, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
    return QIcon(glass);
}

}  // namespace vyx::ui
