// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FormSupport.h"

#include <QAbstractItemView>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "ui/ChoiceBox.h"

namespace vyx::ui {

void SortWithoutCase(QStringList& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
}

// Replaces the entries of an editable list; the text in its field stays.
void Refill(TChoiceBox* box, QStringList entries, const QHash<QString, QString>& tips, bool sort) {
    if (sort) SortWithoutCase(entries);
    const QString text = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(entries);
    for (int i = 0; i < box->count(); ++i) {
        const auto tip = tips.find(box->itemText(i));
        if (tip != tips.end()) box->setItemData(i, *tip, Qt::ToolTipRole);
    }
    box->setCurrentIndex(-1);
    box->setEditText(text);
    // Long paths show whole in the drop-down, or at least their ends.
    int widest = 0;
    for (const QString& entry : entries) widest = std::max(widest, box->fontMetrics().horizontalAdvance(entry));
    box->view()->setMinimumWidth(widest + 2 * box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    box->view()->setTextElideMode(Qt::ElideLeft);
}

void SelectOrType(TChoiceBox* box, const QString& text) {
    const int index = box->findText(text);
    if (index >= 0)
        box->setCurrentIndex(index);
    else
        box->setEditText(text);
}

}  // namespace vyx::ui
