// SPDX-License-Identifier: GPL-3.0-or-later
// What the transaction and the sequences show in the window (indicators and
// their timers, the highlight, the outcome, the controls a running sequence
// disables), and the monitoring and calibration controls that start them.
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>
#include <utility>

#include "modbus/PaneLines.h"
#include "registers/RegData.h"
#include "ui/Boxes.h"
#include "ui/FormSupport.h"
#include "ui/JournalKeeper.h"
#include "ui/RegisterModel.h"
#include "ui/Replug.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {

void TForm1::cbMonitorClick() {
    if (!cbMonitor->isChecked()) {
        Sequences.StopMonitoring();
        return;
    }
    // Refused while something runs, for a period that is no number, and with
    // no register shown: the box unticks.
    if (Sequences.Busy()) {
        MonitoringStopped();
        return;
    }
    int32_t period = 0;
    try {
        period = StrToInt(ePeriod->text().toStdU16String());
    } catch (...) {
        MonitoringStopped();
        throw;
    }
    if (lbReg->text().isEmpty() || lbReg->text() == QStringLiteral("----")) {
        MonitoringStopped();
        // Arrow keys move the focus only: the register is the one clicked.
        Say(QStringLiteral("Monitorowanie: najpierw kliknij rejestr w drzewie"));
        return;
    }
    Sequences.StartMonitoring(Sequences.CurrentNode(), period, Slave());
    if (Sequences.Monitoring()) return;
    Say(period < kMinimumPeriodMs ? QStringLiteral("Monitorowanie: okres co najmniej %1 ms").arg(kMinimumPeriodMs)
                                  : QStringLiteral("Monitorowanie: wybierz rejestr, nie grupę ani bit"));
}

void TForm1::Timer1Timer() { Sequences.MonitorTick(); }

void TForm1::Button1Click() {
    if (Sequences.Busy() || Sequences.Monitoring()) return;
    Sequences.StartCalibration(cbxKalibracja->currentText().toStdU16String(),
                               StrToInt(eCount->text().toStdU16String()), Slave());
}

void TForm1::btWykresClick() { Trend->Open(); }

void TForm1::btZapiszClick() {
    const std::u16string why =
        Sequences.WriteMean(cbxKalibracja->currentText().toStdU16String(), eMed->text().toStdU16String(), Slave());
    if (!why.empty()) Say(QStringLiteral("Zapisz: ") + Q(why));
}

bool TForm1::ConfirmWrite(const TWriteQuestion& question) {
    return boxes_.Ask(this, WriteQuestionText(question, MeanSource));
}

void TForm1::SetLed(TLed led, TColor color) { (led == TLed::Tx ? ledTX : ledRx)->SetColor(ToQColor(color)); }

QTimer* TForm1::LedTimer(TLed led) const { return led == TLed::Tx ? txTimer : rxTimer; }

void TForm1::SetLedTimerInterval(TLed led, int ms) {
    // Setting the same interval again would restart a running timer.
    if (LedTimer(led)->interval() != ms) LedTimer(led)->setInterval(ms);
}

void TForm1::EnableLedTimer(TLed led, bool enabled) {
    QTimer* timer = LedTimer(led);
    if (!enabled)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

void TForm1::StartHighlightTimer() { HighlightTimer->start(); }

void TForm1::ShowResult(const TLog& log) {
    AppendResultLine(ResultLine(log, Sequences.Monitoring(), TimeOfDay()));
    StartHighlightTimer();
}

void TForm1::RequestSent() {
    SetLed(TLed::Tx, kGreen);
    EnableLedTimer(TLed::Tx, true);
}

void TForm1::ExchangeEnded(bool heard) {
    SetLed(TLed::Rx, heard ? kGreen : kRed);
    SetLedTimerInterval(TLed::Rx, heard ? kLedShortMs : kLedTimeoutMs);
    EnableLedTimer(TLed::Rx, true);
}

void TForm1::StoringValue(const TNode&) { VT->setUpdatesEnabled(false); }

void TForm1::ValueStored(const TNode& node) {
    // A read has just stored its value: the device gave it in this session.
    Model->MarkRead(&node.Record, true);
    VT->setUpdatesEnabled(true);
    Model->Refresh();
}

void TForm1::OnNextStep() { Sequences.OnNextStep(); }

void TForm1::OutcomeKnown(TOutcome) {
    // A failed read has emptied the value: the tree shows it now, not at the next repaint.
    if (Transaction.Node()) Model->NodeChanged(Transaction.Node());
    stReason->setText(QString::fromUtf8(Transaction.Reason(TLanguage::Polish)));
    // Gone under the exchange (an adapter pulled out), or never open.
    if (!Transaction.PortOpen() && std::exchange(portOpen_, false)) Replug->PortLost();
}

void TForm1::ActivityChanged(TActivity now) {
    const TEnabledControls on = EnabledControlsFor(now);
    const std::pair<QWidget*, bool> controls[] = {
        {VT, on.Tree},        {Button1, on.Calibrate}, {btZapisz, on.WriteMean},
        {btReset, on.Reset},  {cbMonitor, on.Monitor},  {cbxDevice, on.DeviceFile},
        {ComCBox, on.Port},   {cbxBaud, on.Speed && LineSettingsApply()},
        {cbxParity, on.Parity && LineSettingsApply()}};
    QWidget* focused = QApplication::focusWidget();
    for (const auto& [control, enabled] : controls)
        if (!enabled && focused && (control == focused || control->isAncestorOf(focused))) ParkFocus(focused);
    for (const auto& [control, enabled] : controls) control->setEnabled(enabled);
    if (now == TActivity::Idle) {
        RestoreFocus();
        ShowCurrentRegister();
        // Whatever a sequence added is on the disk when it ends.
        if (journal_) JournalChanged(journal_->Tick());
    }
}

void TForm1::ParkFocus(QWidget* focused) {
    // A control disabled while it has the focus hands it to the next one, a field
    // with its text selected, where typing would overwrite the slave address. The
    // read-only communication pane takes it instead: typing there changes nothing.
    parkedFocus_ = focused;
    Memo2->setFocus(Qt::OtherFocusReason);
}

void TForm1::RestoreFocus() {
    if (!parkedFocus_) return;
    QWidget* back = std::exchange(parkedFocus_, nullptr);
    if (QApplication::focusWidget() == Memo2 && back->isEnabled() && back->isVisible())
        back->setFocus(Qt::OtherFocusReason);
}

void TForm1::MonitoringStarted(int periodMs) {
    Timer1->setInterval(periodMs);
    Timer1->start();
}

void TForm1::MonitoringStopped() {
    Timer1->stop();
    const QSignalBlocker block(cbMonitor);
    cbMonitor->setChecked(false);
}

void TForm1::ShowMean(std::u16string_view text) {
    eMed->setText(Q(text));  // no textEdited: the source stays the calibration's
    MeanSource = TMeanSource::Calibration(Sequences.CalibrationPoint(), Q(TimeOfDay()),
                                          Sequences.CalibrationSamples().size());
}

bool TForm1::Pause(int ms) {
    // The sequence goes on when the timer ends the pause.
    pauseTimer_->start(ms);
    return false;
}

void TForm1::SequenceInterrupted(std::u16string_view line) { AppendResultLine(line); }

void TForm1::Reading(TActivity activity, const TNode& node, const TReading& reading) {
    const QString reason =
        reading.Good ? QString() : QString::fromUtf8(Transaction.Reason(TLanguage::Polish));
    Trend->Reading(activity, node.Record, std::chrono::system_clock::now(), reading, reason);
}

void TForm1::CalibrationStarted() { Trend->CalibrationBegins(); }

std::optional<std::u16string> TForm1::CalibrationVerdict(const std::vector<TReading>& readings) {
    return Trend->CalibrationFinished(Sequences.CalibrationSamples(), readings);
}

}  // namespace vyx::ui
