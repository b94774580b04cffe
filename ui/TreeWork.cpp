// SPDX-License-Identifier: GPL-3.0-or-later
// Work in the register tree: clicking makes a register current, double-clicking
// reads it or edits its value, an accepted edit or a tick writes it. What a tick
// does to values and ticks is the tree's rules' (registers/TreeRules.h).
#include "ui/MainWindow.h"

#include <QLabel>
#include <QTimer>
#include <QTreeView>

#include "registers/RegData.h"
#include "registers/TreeRules.h"
#include "ui/FormSupport.h"
#include "ui/RegisterModel.h"

namespace vyx::ui {

void TForm1::VTClick() {
    if (WalkMode()) return;
    TNode* node = Model->NodeOf(VT->currentIndex());
    if (!node) return;
    Sequences.Select(node);
    ShowCurrentRegister();
}

void TForm1::ShowCurrentRegister() {
    const TNode* node = Sequences.CurrentNode();
    // A group has no address: its name alone, not after two spaces.
    lbReg->setText(!node                         ? QStringLiteral("----")
                   : node->Record.Address.empty() ? Q(node->Record.Name)
                                                  : Q(node->Record.Address) + QStringLiteral("  ") + Q(node->Record.Name));
}

bool TForm1::TreeReady() {
    if (portOpen_ && !TreeBusy()) return true;
    // Said, so that nothing looks like a read that did not happen.
    Say(scan_             ? QStringLiteral("Trwa przeszukiwanie linii: poczekaj na jego koniec")
        : !portOpen_      ? QStringLiteral("Port zamknięty: najpierw wybierz port")
        : Sequences.Monitoring() ? QStringLiteral("Trwa monitorowanie: najpierw je wyłącz")
                                 : QStringLiteral("Trwa komunikacja z urządzeniem: poczekaj na jej koniec"));
    return false;
}

void TForm1::VTColumnDblClick(int column, QPoint pointer) {
    if (!TreeReady()) return;
    if (column == kColName) {
        Sequences.StartRead(Sequences.CurrentNode(), Slave());
        // A finished walk leaves no current register.
        if (Sequences.CurrentNode()) VT->collapse(Model->IndexOf(Sequences.CurrentNode()));
    } else if (column == kColValue) {
        TNode* node = Model->NodeOf(VT->indexAt(pointer));
        if (node && node == Model->NodeOf(VT->currentIndex())) EditValue(node);
    }
}

void TForm1::EditValue(TNode* node) {
    if (!TreeReady()) return;
    if (GetAccessCode(node->Record.Access) != kAccessRW) {
        ShowMessage(u"rejestr tylko do odczytu");
        return;
    }
    if (VTEditing(node, kColValue)) VT->edit(Model->IndexOf(node, kColValue));
}

bool TForm1::VTEditing(const TNode* node, int column) const {
    if (column != kColValue || !node) return false;
    const int access = GetAccessCode(node->Record.Access);
    return access != kAccessRO && access != kAccessGroup;
}

void TForm1::VTNewText(TNode* node, int column, const QString& text) {
    const std::u16string value = text.toStdU16String();
    if (node && column == kColValue && value != node->Record.Value) {
        node->Record.Value = value;
        Model->MarkRead(&node->Record, false);  // typed, not read
    }
}

void TForm1::VTEdited(TNode* node, int) {
    if (!node) return;
    VT->setCurrentIndex(Model->IndexOf(node));
    Highlight(node);
    // The node that was edited is written.
    AfterTreeEvent(node, &TForm1::WriteNode);
}

void TForm1::VTChecking(TNode* node) {
    if (!node || TreeBusy()) return;
    VT->setCurrentIndex(Model->IndexOf(node));
    const TTick tick = ApplyTick(Tree, *node);
    if (tick.Refused) {
        // It would show a value that is never sent.
        ShowMessage(u"rejestr tylko do odczytu");
        return;
    }
    if (tick.Current) Sequences.Select(tick.Current);
    if (tick.Written) {
        Highlight(tick.Written);
        AfterTreeEvent(tick.Written, &TForm1::WriteNode);
    }
    Model->Refresh();
}

void TForm1::VTExpanding(TNode* node) {
    if (UntickOnExpanding(Tree, *node)) Model->Refresh();
}

void TForm1::Highlight(TNode* node) {
    HighlightNode = node;
    StartHighlightTimer();
    Model->Refresh();
}

bool TForm1::TreeBusy() const { return Sequences.Busy() || Sequences.Monitoring() || snapshot_ || scan_; }

void TForm1::AfterTreeEvent(TNode* node, void (TForm1::*work)(TNode*)) {
    const uint64_t generation = treeGeneration_;
    QTimer::singleShot(0, this, [this, node, work, generation] {
        if (generation == treeGeneration_) Run([&] { (this->*work)(node); });
    });
}

void TForm1::WriteNode(TNode* node) {
    if (Sequences.Busy()) return;
    Sequences.Write(node, Slave());
}

}  // namespace vyx::ui
