// SPDX-License-Identifier: GPL-3.0-or-later
// The connection panel: choosing a port, its speed and parity (which open,
// reopen or close it), the slave address, the reply wait, the line's gap and
// echo (which take effect from the next request), and "Reset". A choice made
// while a transaction runs waits for its end.
#include "ui/Boxes.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <utility>

#include "port/AnyPort.h"
#include "ui/FormSupport.h"
#include "ui/Shape.h"
#include "ui/TrendWindow.h"
#include "ui/Replug.h"
#include "ui/UnitList.h"
#include "ui/WarningArea.h"

namespace vyx::ui {

QString ModeSuffix(int parityIndex) {
    static const char* const kSuffix[] = {",e,8,1", ",o,8,1", ",n,8,2", ",n,8,1"};
    if (parityIndex < 0 || parityIndex > 3) return {};
    return QString::fromLatin1(kSuffix[parityIndex]);
}

QString PortFaultText(TOpenFault fault, int error, const QString& port, const QString& mode) {
    switch (fault) {
        case TOpenFault::None: return {};
        case TOpenFault::NoDevice: return QStringLiteral("brak urządzenia ") + port;
        case TOpenFault::Busy: return QStringLiteral("port ") + port + QStringLiteral(" jest zajęty przez inny program");
        case TOpenFault::NoPermission:
#ifdef _WIN32
            return QStringLiteral("brak uprawnień do ") + port;
#else
            return QStringLiteral("brak uprawnień do ") + port +
                   QStringLiteral(": dodaj użytkownika do grupy dialout i zaloguj się ponownie");
#endif
        case TOpenFault::NotTerminal: return port + QStringLiteral(" nie jest portem szeregowym");
        case TOpenFault::BadMode: return QStringLiteral("nieprawidłowe ustawienia portu: ") + mode;
        case TOpenFault::LineRefused:
            return QStringLiteral("port ") + port + QStringLiteral(" odrzucił ustawienia ") + mode;
        case TOpenFault::BadAddress: return QStringLiteral("nieprawidłowy adres sieciowy: ") + port;
        case TOpenFault::NoHost: return QStringLiteral("nieznany host: ") + port;
        case TOpenFault::Refused: return QStringLiteral("połączenie odrzucone: ") + port;
        case TOpenFault::NoConnection: return QStringLiteral("brak połączenia z ") + port;
        case TOpenFault::System: break;
    }
    return QStringLiteral("nie można otworzyć ") + port + QStringLiteral(": ") +
           QString::fromLocal8Bit(OpenFaultText(fault, error));
}

void TForm1::ComCBoxEnter() { portChoice_.Fill(ComCBox); }

bool TForm1::DeferWhileBusy(void (TForm1::*choice)()) {
    if (!Sequences.Busy() && !snapshot_ && !scan_) return false;
    pendingChoice_ = choice;
    return true;
}

void TForm1::RunPendingChoice() {
    // It runs once the exchange or sequence it waited for has ended.
    if (!pendingChoice_ || Sequences.Busy() || snapshot_ || scan_) return;
    const auto choice = std::exchange(pendingChoice_, nullptr);
    Run([&] { (this->*choice)(); });
}

void TForm1::ComCBoxSelect() {
    portChoice_.Take(ComCBox);
    if (DeferWhileBusy(&TForm1::ComCBoxSelect)) return;
    if (ComCBox->currentText() == Q(kDisconnected))
        Disconnect();
    else
        Connect();
    ShowLineControls();
    UnitList->ShowPort(UnitsPort(ComCBox->currentText()));
    Trend->ShowPort(UnitsPort(ComCBox->currentText()));
}

TLineSettings TForm1::LineSettings() const {
    TLineSettings line;
    line.Mode = (cbxBaud->currentText() + ModeSuffix(cbxParity->currentIndex())).toStdString();
    line.ReplyWaitMs = static_cast<uint16_t>(replyWaitMs_);
    line.Line = Transaction.Line();
    return line;
}

void TForm1::Connect() {
    // The technician's choice ends any wait for an adapter.
    Replug->Closed();
    if (portOpen_) Disconnect();
    OpenPort(ComCBox->currentText(), LineSettings());
}

void TForm1::OpenPort(const QString& name, const TLineSettings& line) {
    connecting_ = true;
    const uint64_t generation = ++portGeneration_;
    shConnect->SetColor(ToQColor(kIdleGrey));
    // The window goes on while the bus connects; a network port may take the reply wait plus 3 s.
    Say(QStringLiteral("Łączenie: ") + name + QStringLiteral("…"), true);
    Bus.Post([this, line, name, generation](TPort&, TWire& wire) {
        wire.Forget();
        const TOpened opened = Port.Open(name.toStdString(), line);
        Bus.Deliver([this, opened, name, line, generation] {
            // A later choice (another port, "rozłączony") has replaced this one.
            if (generation == portGeneration_) Connected(opened, name, line);
        });
    });
}

void TForm1::Connected(const TOpened& opened, const QString& name, const TLineSettings& line) {
    connecting_ = false;
    portOpen_ = opened.Opened;
    Session.Opened = opened;
    Session.Line = line;
    const QString mode = QString::fromStdString(line.Mode);
    if (!opened.Opened && !opened.TimeoutsRefused) {
        shConnect->SetColor(ToQColor(kRed));
        // An adapter on its way back is tried again; meanwhile it is still away.
        if (Replug->Away()) {
            Replug->OpenFailed();
            Say(QStringLiteral("adapter odłączony: ") + name, true);
            return;
        }
        // Why a port did not open stays until the next message.
        Say(PortFaultText(opened.Fault, opened.Error, name, mode), true);
        return;
    }
    // A network port has no line settings: its name is all there is to show.
    QString status = opened.Network ? QStringLiteral("Połączono: ") + name
                                    : QStringLiteral("Port szeregowy otwarty: ") + name + QStringLiteral(" @") + mode;
    if (replyWaitMs_ != kReplyWaitDefaultMs) status += QStringLiteral(", odp. %1 ms").arg(replyWaitMs_);
    Say(status);
    shConnect->SetColor(ToQColor(portOpen_ ? kGreen : kRed));
    if (portOpen_) {
        stWarning->SetWarning(TWarningSlot::Adapter, {});
        Replug->Opened(name, line);
    } else {
        Replug->OpenFailed();
    }
}

void TForm1::ApplyTimeouts() {
    // A port that refuses the reply wait is closed and shown red.
    const auto wait = static_cast<uint16_t>(replyWaitMs_);
    Bus.Post([this, wait](TPort&, TWire&) {
        if (Port.ApplyReplyWait(wait)) return;
        Bus.Deliver([this] {
            portOpen_ = false;
            shConnect->SetColor(ToQColor(kRed));
        });
    });
}

void TForm1::eWaitExit() {
    bool ok = false;
    const int ms = eWait->text().trimmed().toInt(&ok);
    const bool inRange = ok && ms >= kReplyWaitMinMs && ms <= kReplyWaitMaxMs;
    if (inRange && ms != replyWaitMs_) {
        replyWaitMs_ = ms;
        if (portOpen_) {
            ApplyTimeouts();  // kept for the next read, also mid-sequence
            Say(QStringLiteral("Czas odp.: %1 ms").arg(ms));
        }
    } else if (!inRange) {
        Say(QStringLiteral("Czas odp. bez zmian: dozwolone %1–%2 ms").arg(kReplyWaitMinMs).arg(kReplyWaitMaxMs));
    }
    eWait->setText(QString::number(replyWaitMs_));
}

void TForm1::eGapExit() {
    bool ok = false;
    const int ms = eGap->text().trimmed().toInt(&ok);
    const bool inRange = ok && ms >= 0 && ms <= kMaxGapMs;
    if (inRange && ms != Transaction.Line().GapMs) {
        TLineOptions line = Transaction.Line();
        line.GapMs = static_cast<uint16_t>(ms);
        Transaction.SetLine(line);
        if (portOpen_) Say(QStringLiteral("Przerwa: %1 ms").arg(ms));
    } else if (!inRange) {
        Say(QStringLiteral("Przerwa bez zmian: dozwolone 0–%1 ms").arg(kMaxGapMs));
    }
    eGap->setText(QString::number(Transaction.Line().GapMs));
}

void TForm1::cbEchoClick() {
    TLineOptions line = Transaction.Line();
    line.Echo = cbEcho->isChecked();
    Transaction.SetLine(line);
}

void TForm1::Disconnect() {
    Replug->Closed();
    stWarning->SetWarning(TWarningSlot::Adapter, {});
    if (!portOpen_ && !connecting_) return;
    ++portGeneration_;
    connecting_ = false;
    Bus.Post([](TPort& port, TWire& wire) {
        port.ClosePort();
        wire.Forget();
    });
    portOpen_ = false;
    shConnect->SetColor(ToQColor(kIdleGrey));
    Say(QStringLiteral("Port zamknięty!"));
}

bool TForm1::LineSettingsApply() const { return !net::IsNetworkName(ComCBox->currentText().trimmed().toStdString()); }

void TForm1::ShowLineControls() {
    // Speed and parity mean nothing to a network port; the sequences' own
    // disabling (ActivityChanged) comes on top of this.
    const bool line = LineSettingsApply();
    const TEnabledControls on = EnabledControlsFor(Sequences.Activity());
    cbxBaud->setEnabled(line && on.Speed);
    cbxParity->setEnabled(line && on.Parity);
}

void TForm1::cbxBaudSelect() {
    if (!portOpen_ || DeferWhileBusy(&TForm1::cbxBaudSelect)) return;
    Disconnect();
    Connect();
}

void TForm1::cbxParitySelect() { cbxBaudSelect(); }

void TForm1::btResetClick() {
    // Restarting the device breaks whatever it is doing: asked first, and only when it would be sent.
    const bool wouldSend = portOpen_ && !TreeBusy();
    if (wouldSend && !boxes_.Ask(this, QStringLiteral("Zrestartować urządzenie o adresie ") + eSlave->text() + u'?'))
        return;
    Sequences.Reset(Slave());
}

TSlave TForm1::Slave() const { return TSlave::Parse(eSlave->text().toStdU16String()); }

}  // namespace vyx::ui
