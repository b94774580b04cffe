// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Jednostki na linii": the units of the port's line, found by a scan or added
// by hand, one row each (address, line setting, type, serial number, device
// file; "?" where it is not known). The list holds the units of every port and
// shows those of one; a unit of the same address and line setting as one
// listed replaces it. Choosing a row (a click, Enter) asks the window to make
// that unit the connection; "Usuń" (or Delete) drops the row chosen.
#include <QWidget>
#include <optional>

#include "ui/Settings.h"

class QPushButton;
class QTreeWidget;

namespace vyx::ui {

// The port whose units the list shows for the port field's text: the path that
// opens it; empty for none ("odłączony").
QString UnitsPort(const QString& portText);
// A line setting as the lists show it: the mode, "—" on a network port.
QString ModeText(const QString& mode);
// The list's text of an identity field: "?" when it is not known.
QString KnownText(const QString& text);

class TUnitList : public QWidget {
    Q_OBJECT
public:
    explicit TUnitList(QWidget* parent = nullptr);

    QTreeWidget* View;
    QPushButton* btDodaj;  // "Dodaj bieżącą"
    QPushButton* btUsun;   // "Usuń"

    // Every port's units, as the settings keep them.
    void SetAll(TLineUnits units);
    const TLineUnits& All() const { return units_; }
    // Shows the units of `port` (a port path); an empty one shows none.
    void ShowPort(const QString& port);
    // The adapter of `from` is named `to` now: its units go along (MovePortList).
    void MovePort(const QString& from, const QString& to);
    const QString& Port() const { return port_; }
    // The units shown, in the list's order (by address, then line setting).
    const QList<TLineUnit>& Units() const;
    // Adds the unit to `port`'s, replacing one of the same address and line setting.
    void Merge(const QString& port, const TLineUnit& unit);
    // The row chosen last, none when no row is.
    std::optional<TLineUnit> Current() const;
    void RemoveCurrent();

signals:
    // A row was clicked, or Enter pressed on it.
    void UnitChosen(const vyx::ui::TLineUnit& unit);
    void AddAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void Choose();

    TLineUnits units_;
    QString port_;
};

}  // namespace vyx::ui
