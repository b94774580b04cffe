// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScanDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/UnitList.h"

namespace vyx::ui {
namespace {

// "1 próba", "3 próby", "12 prób", "22 próby".
QString Tries(size_t n) {
    const size_t ones = n % 10, tens = n % 100;
    const char* word = n == 1 ? "próba" : (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) ? "próby" : "prób";
    return QString::number(n) + u' ' + QString::fromUtf8(word);
}

void AddModes(std::vector<std::string>& modes, const std::vector<std::string>& more) {
    for (const std::string& mode : more)
        if (std::find(modes.begin(), modes.end(), mode) == modes.end()) modes.push_back(mode);
}

}  // namespace

QString DurationLine(const service::TScanPlan& plan) {
    return QStringLiteral("Czas przeszukiwania: do ") +
           QString::fromStdString(service::DurationText(service::ScanSeconds(plan))) + QStringLiteral(" (") +
           Tries(service::ScanTries(plan)) + u')';
}

TScanDialog::TScanDialog(TScanLine line, QWidget* parent) : QDialog(parent), line_(std::move(line)) {
    setWindowTitle(QStringLiteral("Szukaj urządzeń"));
    auto* column = new QVBoxLayout(this);

    auto* choices = new QGridLayout;
    sbFrom = new QSpinBox;
    sbTo = new QSpinBox;
    for (QSpinBox* box : {sbFrom, sbTo}) box->setRange(1, 247);
    sbFrom->setValue(1);
    sbTo->setValue(247);
    auto* addresses = new QHBoxLayout;
    addresses->addWidget(sbFrom);
    addresses->addWidget(new QLabel(QStringLiteral("do")));
    addresses->addWidget(sbTo);
    addresses->addStretch(1);
    choices->addWidget(new QLabel(QStringLiteral("Adresy od")), 0, 0);
    choices->addLayout(addresses, 0, 1);
    choices->addWidget(new QLabel(QStringLiteral("Port:")), 1, 0);
    const QString current = line_.Network ? QStringLiteral(" (port sieciowy: tylko adresy)")
                                          : QStringLiteral(" @") + QString::fromStdString(line_.Mode);
    choices->addWidget(new QLabel(line_.Port + current), 1, 1);
    cbStandard = new QCheckBox(QStringLiteral("standardowe prędkości i parzystości (9600–115200; e, o, n2, n1)"));
    cbSlow = new QCheckBox(QStringLiteral("także 1200–4800"));
    choices->addWidget(cbStandard, 2, 1);
    choices->addWidget(cbSlow, 3, 1);
    column->addLayout(choices);
    // Speed and parity mean nothing to a network port.
    cbStandard->setEnabled(!line_.Network);
    cbSlow->setEnabled(!line_.Network);

    lbDuration = new QLabel;
    column->addWidget(lbDuration);
    pbProgress = new QProgressBar;
    pbProgress->setRange(0, 1);
    pbProgress->setValue(0);
    column->addWidget(pbProgress);
    lstFound = new QTreeWidget;
    lstFound->setColumnCount(5);
    lstFound->setHeaderLabels({QStringLiteral("Adres"), QStringLiteral("Ustawienia linii"), QStringLiteral("Typ"),
                               QStringLiteral("Numer fabryczny"), QStringLiteral("Plik urządzenia")});
    lstFound->setRootIsDecorated(false);
    lstFound->setSelectionMode(QAbstractItemView::NoSelection);
    for (const auto& [c, width] : {std::pair{0, 50}, {1, 110}, {2, 100}, {3, 120}}) lstFound->header()->resizeSection(c, width);
    column->addWidget(lstFound, 1);
    lbNote = new QLabel;
    lbNote->setWordWrap(true);
    lbNote->setVisible(false);
    column->addWidget(lbNote);

    btSzukaj = new QPushButton(QStringLiteral("Szukaj"));
    btSzukaj->setDefault(true);
    btAnuluj = new QPushButton(QStringLiteral("Anuluj"));
    btAnuluj->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btSzukaj);
    buttons->addWidget(btAnuluj);
    column->addLayout(buttons);

    for (QSpinBox* box : {sbFrom, sbTo}) connect(box, &QSpinBox::valueChanged, this, [this] { ShowChoices(); });
    for (QCheckBox* box : {cbStandard, cbSlow}) connect(box, &QCheckBox::toggled, this, [this] { ShowChoices(); });
    connect(btSzukaj, &QPushButton::clicked, this, &TScanDialog::StartAsked);
    connect(btAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    resize(620, 460);
    ShowChoices();
}

service::TScanPlan TScanDialog::Plan() const {
    service::TScanPlan plan;
    plan.Port = line_.Port.toStdString();
    plan.ReplyWaitMs = line_.ReplyWaitMs;
    plan.Line = line_.Line;
    for (int slave = sbFrom->value(); slave <= sbTo->value(); ++slave) plan.Slaves.push_back(slave);
    if (line_.Network) {
        plan.Modes = {std::string()};
        return plan;
    }
    plan.Modes = {line_.Mode};
    std::vector<const service::TScanParity*> parities;
    for (const service::TScanParity& parity : service::ScanParities()) parities.push_back(&parity);
    if (cbStandard->isChecked()) AddModes(plan.Modes, service::ScanModes(service::ScanBauds(), parities));
    if (cbSlow->isChecked()) AddModes(plan.Modes, service::ScanModes(service::SlowScanBauds(), parities));
    return plan;
}

void TScanDialog::ShowChoices() {
    const bool addresses = sbFrom->value() <= sbTo->value();
    lbDuration->setText(addresses ? DurationLine(Plan())
                                  : QStringLiteral("Adres początkowy jest większy niż końcowy"));
    btSzukaj->setEnabled(addresses && !scanning_);
    for (QWidget* w : std::initializer_list<QWidget*>{sbFrom, sbTo}) w->setEnabled(!scanning_);
    cbStandard->setEnabled(!line_.Network && !scanning_);
    cbSlow->setEnabled(!line_.Network && !scanning_);
}

void TScanDialog::SetNote(const QString& text) {
    lbNote->setText(text);
    lbNote->setVisible(!text.isEmpty());
}

void TScanDialog::ScanStarted(size_t total) {
    scanning_ = true;
    lstFound->clear();
    SetNote({});
    pbProgress->setRange(0, static_cast<int>(std::max<size_t>(total, 1)));
    pbProgress->setValue(0);
    btAnuluj->setText(QStringLiteral("Anuluj"));
    ShowChoices();
}

void TScanDialog::ScanProgress(size_t done, size_t total) {
    pbProgress->setRange(0, static_cast<int>(std::max<size_t>(total, 1)));
    pbProgress->setValue(static_cast<int>(std::min(done, total)));
}

void TScanDialog::UnitFound(const TLineUnit& unit) {
    auto* item = new QTreeWidgetItem(QStringList{QString::number(unit.Slave), ModeText(unit.Mode), KnownText(unit.Type),
                                                 KnownText(unit.Serial), KnownText(unit.File)});
    item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    lstFound->addTopLevelItem(item);
    lstFound->scrollToItem(item);
}

void TScanDialog::ModeSkipped(const QString& mode, const QString& reason) {
    const QString line = QStringLiteral("pominięto ") + mode + QStringLiteral(": ") + reason;
    SetNote(lbNote->text().isEmpty() ? line : lbNote->text() + u'\n' + line);
}

void TScanDialog::ScanEnded(const QString& outcome) {
    scanning_ = false;
    SetNote(lbNote->text().isEmpty() ? outcome : lbNote->text() + u'\n' + outcome);
    btAnuluj->setText(QStringLiteral("Zamknij"));
    ShowChoices();
}

void TScanDialog::Refused(const QString& why) { SetNote(why); }

}  // namespace vyx::ui
