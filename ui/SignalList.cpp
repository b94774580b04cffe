// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SignalList.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPixmap>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vyx::ui {
namespace {

// Told apart on a white plot and by most colour-blind eyes.
const QColor kColours[] = {QColor(0, 0, 160),   QColor(220, 90, 0),  QColor(0, 140, 60),  QColor(200, 0, 120),
                           QColor(100, 60, 20), QColor(0, 150, 190), QColor(120, 0, 200), QColor(90, 90, 90)};

bool SameRegister(const TTrendSignal& a, const TTrendSignal& b) {
    return a.Slave == b.Slave && a.File == b.File && a.Address == b.Address && a.Name == b.Name;
}

}  // namespace

QColor TSignalList::ColourOf(int k) { return kColours[static_cast<size_t>(k) % std::size(kColours)]; }

TSignalList::TSignalList(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    View = new QTreeWidget;
    View->setColumnCount(8);
    View->setHeaderLabels({QString(), QStringLiteral("Sygnał"), QStringLiteral("Jednostka"),
                           QStringLiteral("Urządzenie"), QStringLiteral("Oś"), QStringLiteral("Ukryj"),
                           QStringLiteral("Tolerancja"), QString()});
    View->headerItem()->setToolTip(kColAxis, QStringLiteral("Kliknij, by przenieść na drugą oś"));
    View->headerItem()->setToolTip(kColTolerance, QStringLiteral("Pusta: tolerancja okna"));
    View->headerItem()->setToolTip(kColRemove, QStringLiteral("Usuń z wykresu"));
    View->setRootIsDecorated(false);
    View->setUniformRowHeights(true);
    View->setAllColumnsShowFocus(true);
    View->setSelectionMode(QAbstractItemView::SingleSelection);
    // Only the tolerance is typed in: a double-click on it, or F2.
    View->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every column in view at the window's least width, the remove button included.
    for (const auto& [c, width] : {std::pair{kColColour, 22}, {kColName, 130}, {kColNote, 64}, {kColUnit, 128},
                                   {kColAxis, 40}, {kColHide, 40}, {kColTolerance, 64}, {kColRemove, 24}})
        View->header()->resizeSection(c, width);
    View->header()->setStretchLastSection(false);
    View->installEventFilter(this);
    column->addWidget(View);
    connect(View, &QTreeWidget::itemClicked, this, &TSignalList::Clicked);
    connect(View, &QTreeWidget::itemChanged, this, &TSignalList::Edited);
    connect(View, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
        if (column == kColTolerance) View->editItem(item, kColTolerance);
    });
    connect(View, &QTreeWidget::currentItemChanged, this,
            [this] { emit CurrentChanged(CurrentRow()); });
}

void TSignalList::SetAll(TTrendSignals all) {
    all_ = std::move(all);
    Fill();
    emit Changed();
}

void TSignalList::ShowPort(const QString& port) {
    if (port == port_) return;
    port_ = port;
    Fill();
    emit Changed();
}

void TSignalList::MovePort(const QString& from, const QString& to) {
    MovePortList(all_, from, to);
    if (port_ == from) port_ = to;
    Fill();
    emit Changed();
}

const QList<TTrendSignal>& TSignalList::Signals() const {
    static const QList<TTrendSignal> none;
    const auto it = all_.constFind(port_);
    return it == all_.cend() ? none : *it;
}

bool TSignalList::Add(const TTrendSignal& signal) {
    if (port_.isEmpty()) return false;
    QList<TTrendSignal>& list = all_[port_];
    for (const TTrendSignal& s : list)
        if (SameRegister(s, signal)) return false;
    list << signal;
    Fill();
    View->setCurrentItem(View->topLevelItem(View->topLevelItemCount() - 1));
    emit Changed();
    return true;
}

void TSignalList::Remove(int row) {
    if (row < 0 || row >= Signals().size()) return;
    all_[port_].removeAt(row);
    if (all_[port_].isEmpty()) all_.remove(port_);
    Fill();
    emit Changed();
}

int TSignalList::CurrentRow() const { return View->indexOfTopLevelItem(View->currentItem()); }

void TSignalList::Fill() {
    filling_ = true;
    View->clear();
    int k = 0;
    for (const TTrendSignal& s : Signals()) {
        auto* item = new QTreeWidgetItem(View);
        QPixmap swatch(14, 14);
        swatch.fill(ColourOf(k++));
        item->setIcon(kColColour, QIcon(swatch));
        item->setText(kColName, s.Name);
        item->setToolTip(kColName, s.Name + QStringLiteral(" (") + s.Address + u')');
        item->setText(kColNote, s.Note);
        item->setToolTip(kColNote, s.Note);
        item->setText(kColUnit, QStringLiteral("@%1 %2").arg(s.Slave).arg(s.File));
        item->setText(kColAxis, s.Right ? QStringLiteral("prawa") : QStringLiteral("lewa"));
        item->setText(kColTolerance, s.Tolerance);
        item->setText(kColRemove, QStringLiteral("✕"));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        item->setCheckState(kColHide, s.Hidden ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
}

void TSignalList::Clicked(QTreeWidgetItem* item, int column) {
    const int row = View->indexOfTopLevelItem(item);
    if (row < 0) return;
    if (column == kColRemove) {
        Remove(row);
    } else if (column == kColAxis) {
        all_[port_][row].Right = !all_[port_][row].Right;
        item->setText(kColAxis, all_[port_][row].Right ? QStringLiteral("prawa") : QStringLiteral("lewa"));
        emit Changed();
    }
}

void TSignalList::Edited(QTreeWidgetItem* item, int column) {
    const int row = View->indexOfTopLevelItem(item);
    if (filling_ || row < 0 || row >= Signals().size()) return;
    TTrendSignal& s = all_[port_][row];
    if (column == kColHide) {
        const bool hidden = item->checkState(kColHide) == Qt::Checked;
        if (hidden == s.Hidden) return;
        s.Hidden = hidden;
    } else if (column == kColTolerance) {
        const QString tolerance = item->text(kColTolerance).trimmed().left(20);
        if (tolerance == s.Tolerance) return;
        s.Tolerance = tolerance;
    } else {
        return;  // the axis's text, set by a click
    }
    emit Changed();
}

bool TSignalList::eventFilter(QObject* watched, QEvent* event) {
    // While the tolerance is typed, the keys go to its editor, not here.
    if (watched == View && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            Remove(CurrentRow());
            return true;
        }
        if (key == Qt::Key_F2 && View->currentItem()) {
            View->editItem(View->currentItem(), kColTolerance);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vyx::ui
