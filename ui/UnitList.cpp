// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/UnitList.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "port/AnyPort.h"
#include "ui/ConnectionTexts.h"
#include "ui/FormSupport.h"

namespace vyx::ui {

QString UnitsPort(const QString& portText) {
    const QString name = portText.trimmed();
    if (name.isEmpty() || name == Q(kDisconnected)) return {};
    return QString::fromStdString(PortPathOf(name.toStdString()));
}

QString ModeText(const QString& mode) { return mode.isEmpty() ? QStringLiteral("—") : mode; }

QString KnownText(const QString& text) { return text.isEmpty() ? QStringLiteral("?") : text; }

namespace {

// The list's order: by address, then line setting.
bool Before(const TLineUnit& a, const TLineUnit& b) { return std::tie(a.Slave, a.Mode) < std::tie(b.Slave, b.Mode); }

}  // namespace

TUnitList::TUnitList(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral("Jednostki na linii"));
    outer->addWidget(group);
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(3);
    View = new QTreeWidget;
    View->setColumnCount(5);
    View->setHeaderLabels({QStringLiteral("Adres"), QStringLiteral("Linia"), QStringLiteral("Typ"),
                           QStringLiteral("Nr fabr."), QStringLiteral("Plik urządzenia")});
    const QStringList tips{QStringLiteral("Adres urządzenia"), QStringLiteral("Szybkość i parzystość"),
                           QStringLiteral("Typ urządzenia"), QStringLiteral("Numer fabryczny"),
                           QStringLiteral("Plik opisu rejestrów")};
    for (int c = 0; c < tips.size(); ++c) View->headerItem()->setToolTip(c, tips[c]);
    View->setRootIsDecorated(false);
    View->setUniformRowHeights(true);
    View->setAllColumnsShowFocus(true);
    View->setSelectionMode(QAbstractItemView::SingleSelection);
    View->setEditTriggers(QAbstractItemView::NoEditTriggers);
    View->header()->setStretchLastSection(true);
    for (const auto& [c, width] : {std::pair{0, 44}, {1, 82}, {2, 72}, {3, 62}}) View->header()->resizeSection(c, width);
    View->installEventFilter(this);
    column->addWidget(View);
    btDodaj = new QPushButton(QStringLiteral("Dodaj bieżącą"));
    btDodaj->setToolTip(QStringLiteral("Dodaje bieżące połączenie: adres, szybkość i parzystość, plik urządzenia"));
    btUsun = new QPushButton(QStringLiteral("Usuń"));
    btUsun->setToolTip(QStringLiteral("Usuwa wybraną jednostkę z listy"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btDodaj);
    buttons->addWidget(btUsun);
    column->addLayout(buttons);
    // Only the row a click or Enter chooses makes it the connection: moving
    // through the list with the arrows chooses nothing.
    connect(View, &QTreeWidget::itemClicked, this, [this] { Choose(); });
    connect(btDodaj, &QPushButton::clicked, this, &TUnitList::AddAsked);
    connect(btUsun, &QPushButton::clicked, this, &TUnitList::RemoveCurrent);
}

void TUnitList::SetAll(TLineUnits units) {
    units_ = std::move(units);
    for (QList<TLineUnit>& list : units_) std::sort(list.begin(), list.end(), Before);
    Fill();
}

void TUnitList::ShowPort(const QString& port) {
    if (port == port_) return;
    port_ = port;
    Fill();
}

void TUnitList::MovePort(const QString& from, const QString& to) {
    MovePortList(units_, from, to);
    if (port_ == from) port_ = to;
    Fill();
}

const QList<TLineUnit>& TUnitList::Units() const {
    static const QList<TLineUnit> none;
    const auto it = units_.constFind(port_);
    return it == units_.cend() ? none : *it;
}

void TUnitList::Merge(const QString& port, const TLineUnit& unit) {
    if (port.isEmpty()) return;
    QList<TLineUnit>& list = units_[port];
    const auto same = std::find_if(list.begin(), list.end(),
                                   [&](const TLineUnit& u) { return u.Slave == unit.Slave && u.Mode == unit.Mode; });
    if (same != list.end()) {
        *same = unit;
    } else {
        list.insert(std::lower_bound(list.begin(), list.end(), unit, Before), unit);
    }
    if (port == port_) Fill();
}

std::optional<TLineUnit> TUnitList::Current() const {
    const int row = View->indexOfTopLevelItem(View->currentItem());
    if (row < 0 || row >= Units().size() || !View->currentItem()->isSelected()) return std::nullopt;
    return Units()[row];
}

void TUnitList::RemoveCurrent() {
    const std::optional<TLineUnit> unit = Current();
    if (!unit) return;
    units_[port_].removeOne(*unit);
    if (units_[port_].isEmpty()) units_.remove(port_);
    Fill();
}

void TUnitList::Fill() {
    // The row chosen stays chosen when the list is filled anew.
    const std::optional<TLineUnit> current = Current();
    View->clear();
    for (const TLineUnit& unit : Units()) {
        auto* item = new QTreeWidgetItem(QStringList{QString::number(unit.Slave), ModeText(unit.Mode),
                                                     KnownText(unit.Type), KnownText(unit.Serial), KnownText(unit.File)});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        View->addTopLevelItem(item);
        if (current && current->Slave == unit.Slave && current->Mode == unit.Mode) {
            View->setCurrentItem(item);
            item->setSelected(true);
        }
    }
}

void TUnitList::Choose() {
    if (const std::optional<TLineUnit> unit = Current()) emit UnitChosen(*unit);
}

bool TUnitList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == View && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Choose();
            return true;
        }
        if (key == Qt::Key_Delete) {
            RemoveCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vyx::ui
