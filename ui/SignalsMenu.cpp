// SPDX-License-Identifier: GPL-3.0-or-later
// "Dodaj do wykresu" (the register tree's context menu, Ctrl+D): the register
// under the pointer, or the tree's current one, of the unit at the slave
// address, joins the plot window's signals of this port.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>

#include "ui/FormSupport.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"
#include "ui/TrendWindow.h"
#include "ui/UnitList.h"

namespace vyx::ui {

void TForm1::BuildSignalsMenu() {
    auto* add = new QAction(QStringLiteral("Dodaj do wykresu"), this);
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    addAction(add);
    connect(add, &QAction::triggered, this, [this] { Run([this] { DodajDoWykresuClick(VT->currentIndex()); }); });
    auto* menu = new QMenu(this);
    menu->addAction(add);
    VT->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(VT, &QWidget::customContextMenuRequested, this, [this, menu, add](const QPoint& at) {
        const QModelIndex index = VT->indexAt(at);
        if (!index.isValid()) return;
        VT->setCurrentIndex(index);
        add->setEnabled(AccessCodeOf(Model->NodeOf(index)) > 0);
        menu->popup(VT->viewport()->mapToGlobal(at));
        add->setEnabled(true);  // the key acts and says why when it cannot
    });
}

void TForm1::DodajDoWykresuClick(const QModelIndex& index) {
    const TNode* node = Model->NodeOf(index);
    if (AccessCodeOf(node) <= 0) {
        Say(QStringLiteral("Dodaj do wykresu: wybierz rejestr, nie grupę ani bit"));
        return;
    }
    bool number = false;
    const int slave = eSlave->text().trimmed().toInt(&number);
    if (!number || slave < 1 || slave > 247) {
        Say(QStringLiteral("Dodaj do wykresu: adres urządzenia od 1 do 247"));
        return;
    }
    TTrendSignal signal;
    signal.Slave = slave;
    signal.File = loadedDevice_;
    signal.Name = Q(node->Record.Name);
    signal.Note = Q(node->Record.Note);
    signal.Address = Q(node->Record.Address);
    signal.DataType = Q(node->Record.DataType);
    signal.Length = Q(node->Record.Length);
    Trend->ShowPort(UnitsPort(ComCBox->currentText()));
    if (!Trend->AddSignal(signal)) return;
    Trend->Open();
    Say(QStringLiteral("Dodano do wykresu: %1 @%2").arg(signal.Name).arg(slave));
}

}  // namespace vyx::ui
