// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's control panel: the connection, device file, communication,
// monitor and calibration groups, with the names and captions the team uses.
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/FormSupport.h"
#include "ui/LayoutParts.h"
#include "ui/Shape.h"

namespace vyx::ui {

void TForm1::BuildPanel(QVBoxLayout* column) {
    // " Połączenie "
    QGroupBox* gbPol = Group(QStringLiteral(" Połączenie "), 209);
    auto* pol = new QGridLayout(gbPol);
    ComCBox = Combo(true);
    ComCBox->installEventFilter(this);
    shConnect = new TShape(ToQColor(kMediumGrey));
    cbxBaud = Combo(true, {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                           QStringLiteral("57600"), QStringLiteral("115200")});
    cbxBaud->setCurrentIndex(1);
    cbxParity = Combo(false, {QStringLiteral("even parity"), QStringLiteral("odd parity"),
                              QStringLiteral("no parity: 2 STOP"), QStringLiteral("no parity: 1 STOP")});
    eSlave = new QLineEdit(QStringLiteral("247"));
    QPalette slavePalette = eSlave->palette();
    slavePalette.setColor(QPalette::Text, kMaroon);
    eSlave->setPalette(slavePalette);
    eWait = new QLineEdit(QString::number(kReplyWaitDefaultMs));
    eWait->setToolTip(QStringLiteral("ms"));
    eGap = new QLineEdit(QStringLiteral("0"));
    eGap->setToolTip(QStringLiteral("ms (0–1000): cisza na linii przed każdym zapytaniem"));
    cbEcho = new QCheckBox(QStringLiteral("Echo"));
    cbEcho->setToolTip(QStringLiteral("Dla adapterów RS-485, które odsyłają zapytanie przed odpowiedzią"));
    eReplug = new QLineEdit(QString::number(kReplugWaitDefaultS));
    eReplug->setToolTip(QStringLiteral("s (0–%1): jak długo czekać na odłączony adapter, by wznowić "
                                       "monitorowanie; 0: nie czekać").arg(kReplugWaitMaxS));
    btReset = new QPushButton(QStringLiteral("Reset"));
    btReset->setToolTip(QStringLiteral("Restartuje urządzenie (funkcja diagnostyczna 8, podfunkcja 1); pyta najpierw"));
    pol->addWidget(FieldLabel(QStringLiteral("Port:")), 0, 0);
    pol->addWidget(shConnect, 0, 1);
    pol->addWidget(ComCBox, 0, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Szybkość:")), 1, 0);
    pol->addWidget(cbxBaud, 1, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Parzystość:")), 2, 0);
    pol->addWidget(cbxParity, 2, 2);
    // The search sits in the labels' column, whose width the longer labels set.
    btSzukaj = new QToolButton;
    btSzukaj->setIcon(SearchIcon());
    btSzukaj->setToolTip(QStringLiteral("Szukaj urządzeń…"));
    btSzukaj->setAutoRaise(true);
    btSzukaj->setFixedSize(20, 20);
    // Out of the panel's keyboard order, as a toolbar's button: the menu's
    // "Serwis, Szukaj urządzeń…" is the keyboard's way.
    btSzukaj->setFocusPolicy(Qt::NoFocus);
    auto* slaveLabel = new QHBoxLayout;
    slaveLabel->setContentsMargins(0, 0, 0, 0);
    slaveLabel->setSpacing(2);
    slaveLabel->addWidget(FieldLabel(QStringLiteral("Adres:")));
    slaveLabel->addStretch(1);
    slaveLabel->addWidget(btSzukaj);
    pol->addLayout(slaveLabel, 3, 0);
    pol->addWidget(eSlave, 3, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Czas odp.:")), 4, 0);
    // The reply wait and the gap share a row, halves of it beside the gap's label:
    // the wait begins where the fields above begin, the gap ends where they end.
    auto* times = new QHBoxLayout;
    times->setContentsMargins(0, 0, 0, 0);
    times->setSpacing(pol->horizontalSpacing());
    // Never narrower than their largest number, whatever the font makes of the
    // labels beside them: the group then widens rather than hide digits.
    for (QLineEdit* edit : {eWait, eGap, eReplug})
        edit->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance(QStringLiteral("5000")) + 8);
    times->addWidget(eWait, 1);
    times->addWidget(FieldLabel(QStringLiteral("Przerwa:")));
    times->addWidget(eGap, 1);
    pol->addLayout(times, 4, 2);
    // Under the labels, beside "Reset".
    pol->addWidget(cbEcho, 5, 0, 1, 2);
    // The wait for an unplugged adapter under the gap, "Reset" at the end.
    auto* last = new QHBoxLayout;
    last->setContentsMargins(0, 0, 0, 0);
    last->setSpacing(pol->horizontalSpacing());
    last->addWidget(FieldLabel(QStringLiteral("Powrót:")));
    last->addWidget(eReplug, 1);
    last->addWidget(btReset, 1);
    pol->addLayout(last, 5, 2);
    pol->setColumnStretch(2, 1);
    pol->setVerticalSpacing(4);  // six rows in the group's height
    column->addWidget(gbPol);

    // "Opis rejestrów"
    QGroupBox* gbOpis = Group(QStringLiteral("Opis rejestrów"), 80);
    auto* opis = new QVBoxLayout(gbOpis);
    cbxDevice = Combo(true);
    cbxDevice->installEventFilter(this);
    opis->addWidget(cbxDevice);
    column->addWidget(gbOpis);

    // "Komunikacja"
    QGroupBox* gbKom = Group(QStringLiteral("Komunikacja"), 72);
    auto* kom = new QHBoxLayout(gbKom);
    ledTX = new TShape(ToQColor(kMediumGrey));
    ledRx = new TShape(ToQColor(kMediumGrey));
    kom->addWidget(FieldLabel(QStringLiteral("TX:")));
    kom->addWidget(ledTX);
    kom->addSpacing(24);
    kom->addWidget(FieldLabel(QStringLiteral("RX:")));
    kom->addWidget(ledRx);
    kom->addStretch(1);
    column->addWidget(gbKom);

    // " Monitor "
    gbMon = Group(QStringLiteral(" Monitor "), 160);
    auto* mon = new QGridLayout(gbMon);
    lbReg = new TCutLabel(QStringLiteral("----"));
    ePeriod = new QLineEdit(QStringLiteral("2000"));
    cbMonitor = new QCheckBox(QStringLiteral("Monitorowanie"));
    cbxScale = new QCheckBox(QStringLiteral("Skalowanie"));
    cbxScale->setVisible(false);
    cbxScale->setEnabled(false);
    mon->addWidget(FieldLabel(QStringLiteral("Rejestr:")), 0, 0);
    mon->addWidget(lbReg, 0, 1);
    mon->addWidget(FieldLabel(QStringLiteral("Okres:")), 1, 0);
    mon->addWidget(ePeriod, 1, 1);
    btWykres = new QPushButton(QStringLiteral("Wykres"));
    btWykres->setToolTip(QStringLiteral("Wykres monitorowanego rejestru (F6)"));
    // As narrow as its caption allows: the check box beside it keeps its whole caption.
    btWykres->setFixedWidth(btWykres->fontMetrics().horizontalAdvance(btWykres->text()) + 24);
    cbMonitor->setMinimumWidth(cbMonitor->sizeHint().width());
    auto* monitorRow = new QHBoxLayout;
    monitorRow->setContentsMargins(0, 0, 0, 0);
    monitorRow->addWidget(cbMonitor);
    monitorRow->addStretch(1);
    monitorRow->addWidget(btWykres);
    mon->addLayout(monitorRow, 2, 1);
    mon->addWidget(cbxScale, 3, 1);
    mon->setColumnStretch(1, 1);
    column->addWidget(gbMon);
    column->addStretch(1);

    // " Kalibracja "
    gbKal = Group(QStringLiteral(" Kalibracja "), 201);
    auto* kal = new QGridLayout(gbKal);
    cbxKalibracja = Combo(false, {QStringLiteral("100R"), QStringLiteral("400R")});
    cbxKalibracja->setCurrentIndex(-1);
    eCount = new QLineEdit(QStringLiteral("16"));
    Button1 = new QPushButton(QStringLiteral("Start"));
    eMed = new QLineEdit(QStringLiteral("8"));
    btZapisz = new QPushButton(QStringLiteral("Zapisz"));
    kal->addWidget(FieldLabel(QStringLiteral("Wielkość:")), 0, 0);
    kal->addWidget(cbxKalibracja, 0, 1);
    kal->addWidget(FieldLabel(QStringLiteral("Licznik:")), 1, 0);
    kal->addWidget(eCount, 1, 1);
    kal->addWidget(Button1, 2, 1);
    kal->addWidget(FieldLabel(QStringLiteral("Wartość:")), 3, 0);
    kal->addWidget(eMed, 3, 1);
    kal->addWidget(btZapisz, 4, 1);
    kal->setColumnStretch(1, 1);
    gbKal->setVisible(false);
    gbKal->setEnabled(false);
    column->addWidget(gbKal);
}

}  // namespace vyx::ui
