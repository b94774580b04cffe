// SPDX-License-Identifier: GPL-3.0-or-later
// An adapter pulled out under the open port and plugged back in: what the
// window says, what it holds meanwhile and how it takes up again (TReplug
// watches and decides; this shows).
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "ui/FormSupport.h"
#include "ui/MainWindow.h"
#include "ui/Replug.h"
#include "ui/Shape.h"
#include "ui/SignalList.h"
#include "ui/TrendWindow.h"
#include "ui/UnitList.h"
#include "ui/WarningArea.h"

namespace vyx::ui {
namespace {

QString TimeOfDayOf(TReplug::Clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

void TForm1::WireReplug() {
    Replug = new TReplug(this);
    Replug->Reopen = [this](const QString& name, const TLineSettings& line) { Run([&] { OpenPort(name, line); }); };
    // Monitoring waits for its adapter with its run, its box and its plot's
    // series kept; only its timer is held. Whatever else runs periodically
    // registers the same way.
    Replug->AddResumable({[this] { return Sequences.Monitoring(); }, [this] { Timer1->stop(); },
                          [this] {
                              Timer1->start();
                              Sequences.MonitorTick();
                          },
                          [this] { Sequences.StopMonitoring(); }});
    Replug->AddResumable({[this] { return Trend->SetRunning(); }, [this] { Trend->HoldSet(); },
                          [this] { Trend->ResumeSet(); }, [this] { Trend->StopSet(); }});

    connect(Replug, &TReplug::Gone, this, [this](const QString& name) {
        Run([&] {
            const QString line = QStringLiteral("adapter odłączony: ") + name;
            // The descriptor of a device that is gone is closed on the bus, after
            // whatever exchange it is in.
            Bus.Post([](TPort& port, TWire& wire) {
                port.ClosePort();
                wire.Forget();
            });
            portOpen_ = false;
            shConnect->SetColor(ToQColor(kRed));
            Say(line, true);
            stWarning->SetWarning(TWarningSlot::Adapter, line);
            AppendResultLine(line.toStdU16String());
        });
    });
    connect(Replug, &TReplug::Back, this,
            [this](const QString&, TReplug::Clock::time_point from, TReplug::Clock::time_point to, bool resuming) {
                Run([&] {
                    const QString line = QStringLiteral("przerwa w połączeniu: ") + TimeOfDayOf(from) +
                                         QChar(0x2013) + TimeOfDayOf(to);
                    stWarning->SetWarning(TWarningSlot::Adapter, {});
                    AppendResultLine(line.toStdU16String());
                    if (resuming) Trend->Gap(from, to, line);
                });
            });
    // The system gave the adapter another name: the field and the remembered
    // port follow it, and the log says where the frames go from now on.
    connect(Replug, &TReplug::Moved, this, [this](const QString& name) {
        Run([&] {
            const QString from = UnitsPort(Replug->Name()), to = UnitsPort(name);
            ComCBox->setEditText(name);
            portChoice_.Moved(name);
            // The port's units and signals go along; a running set goes on.
            UnitList->MovePort(from, to);
            Trend->Signals->MovePort(from, to);
            AppendResultLine((QStringLiteral("adapter wrócił jako ") + name).toStdU16String());
        });
    });
    connect(Replug, &TReplug::GaveUp, this, [this](const QString& name) {
        Run([&] {
            stWarning->SetWarning(TWarningSlot::Adapter, {});
            AppendResultLine((QStringLiteral("koniec oczekiwania na adapter: ") + name).toStdU16String());
        });
    });
    // An open list follows the adapters plugged in and out.
    connect(Replug, &TReplug::PortsChanged, this, [this] {
        if (ComCBox->view()->isVisible()) Run([this] { ComCBoxEnter(); });
    });
    connect(eReplug, &QLineEdit::editingFinished, this, [this] { Run([this] { eReplugExit(); }); });
}

void TForm1::eReplugExit() {
    bool ok = false;
    const int s = eReplug->text().trimmed().toInt(&ok);
    if (ok && s >= 0 && s <= kReplugWaitMaxS)
        Replug->SetWaitS(s);
    else
        Say(QStringLiteral("Powrót adaptera bez zmian: dozwolone 0–%1 s").arg(kReplugWaitMaxS));
    eReplug->setText(QString::number(Replug->WaitS()));
}

bool TForm1::HoldsRunWhilePortAway() { return Replug->Away(); }

}  // namespace vyx::ui
