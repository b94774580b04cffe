// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pieces the main window's layout is made of: its two fonts, a field's
// navy label, a drop-down list, a group of fixed height.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStringList>

class QGroupBox;
class QLabel;

namespace vyx::ui {

class TChoiceBox;

inline const QColor kMaroon(128, 0, 0);

QFont WindowFont();  // Microsoft Sans Serif, else a sans of its metrics, 13 px
QFont MonoFont();    // Cousine, else a monospace of its metrics, 13 px
QLabel* FieldLabel(const QString& text);
TChoiceBox* Combo(bool editable, const QStringList& items = {});
QGroupBox* Group(const QString& caption, int height);
// A magnifying glass, drawn: no icon theme is to be relied on.
QIcon SearchIcon();

}  // namespace vyx::ui
