// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot window's signals: the registers it follows together, each a row
// with its colour, name, note (its unit of measure), the unit on the line it
// belongs to (slave address and device file), its value axis (a click turns
// "lewa" into "prawa" and back), a tick that hides its curve, its tolerance
// (empty: the window's), and "✕", which removes it in one click (Delete too).
// The list holds the signals of every port and shows those of one, as the
// units on the line are kept.
#include <QColor>
#include <QWidget>

#include "ui/Settings.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace vyx::ui {

class TSignalList : public QWidget {
    Q_OBJECT
public:
    explicit TSignalList(QWidget* parent = nullptr);

    enum TColumn { kColColour, kColName, kColNote, kColUnit, kColAxis, kColHide, kColTolerance, kColRemove };
    QTreeWidget* View;

    // Every port's signals, as the settings keep them.
    void SetAll(TTrendSignals all);
    const TTrendSignals& All() const { return all_; }
    // Shows the signals of `port` (a port path); an empty one shows none.
    void ShowPort(const QString& port);
    // The adapter of `from` is named `to` now: its signals go along (MovePortList).
    void MovePort(const QString& from, const QString& to);
    const QString& Port() const { return port_; }
    const QList<TTrendSignal>& Signals() const;
    // Adds a signal to the port shown; false (nothing added) for one listed already
    // (the same unit, device file and register) or without a port.
    bool Add(const TTrendSignal& signal);
    void Remove(int row);
    // The row chosen, -1 for none.
    int CurrentRow() const;

    // The colour of the curve of the k-th signal.
    static QColor ColourOf(int k);

signals:
    // A signal was added or removed, or its axis, tick or tolerance changed.
    void Changed();
    void CurrentChanged(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void Clicked(QTreeWidgetItem* item, int column);
    void Edited(QTreeWidgetItem* item, int column);

    TTrendSignals all_;
    QString port_;
    bool filling_ = false;
};

}  // namespace vyx::ui
