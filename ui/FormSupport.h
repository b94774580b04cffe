// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers the files of the main window share: texts between the core and
// the toolkit, colours, and the refill of an editable list.
#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>
#include <string_view>

#include "modbus/Transaction.h"
#include "ui/Indicators.h"

namespace vyx::ui {

class TChoiceBox;

inline QString Q(std::u16string_view s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
inline QColor ToQColor(TColor c) { return QColor(c.R, c.G, c.B); }


// Sorted alphabetically without regard to case.
void SortWithoutCase(QStringList& list);

// Selects the entry of an editable list that reads `text`, or puts `text` in its
// field when no entry does (a speed typed by hand).
void SelectOrType(TChoiceBox* box, const QString& text);

// Replaces the entries of an editable list; the text in its field stays. An
// entry named in `tips` shows that text as its tooltip. The entries are sorted
// without regard to case unless they come in their order already (`sort` false).
void Refill(TChoiceBox* box, QStringList entries, const QHash<QString, QString>& tips = {}, bool sort = true);

}  // namespace vyx::ui
