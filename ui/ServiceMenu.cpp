// SPDX-License-Identifier: GPL-3.0-or-later
// The "Serwis" menu: the unit's registers as found and as left, read through the
// window's own transaction so that each read shows in the tree and the result
// pane as a walk's does, with a progress bar and "Anuluj".
#include <QApplication>
#include <QProgressDialog>

#include "registers/RegData.h"
#include "registers/Text.h"
#include "service/Session.h"
#include "ui/FormSupport.h"
#include "ui/ReportDialog.h"
#include "ui/MainWindow.h"
#include "ui/TextPane.h"

namespace vyx::ui {

std::optional<service::TSnapshot> TForm1::ReadSnapshot(const QString& what) {
    if (!Tree.First()) {
        ShowMessage(u"brak opisu rejestrów: wybierz plik urządzenia");
        return std::nullopt;
    }
    if (!portOpen_) {
        ShowMessage(u"brak połączenia !");
        return std::nullopt;
    }
    // Nothing else may talk to the device meanwhile.
    if (Sequences.Activity() != TActivity::Idle || Sequences.Busy()) return std::nullopt;

    const std::u16string slave = SlaveText();
    service::TSnapshot snapshot;
    // A slave address that is no number stops it here, before anything is sent.
    snapshot.Slave = StrToInt(slave) & 0xFF;
    snapshot.Device = loadedDevice_.toStdString();
    if (portNetwork_)
        snapshot.Port = portPath_;
    else
        snapshot.Mode = portMode_;
    snapshot.Line = Transaction.Line;
    snapshot.Time = service::LocalTimeText();

    AppendResultLine(u"");
    AppendResultLine(what.toStdU16String() + u":");
    QProgressDialog progress(what + QStringLiteral("…"), QStringLiteral("Anuluj"), 0, 1, this);
    progress.setWindowModality(Qt::WindowModal);  // the window takes no input meanwhile
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    Visit.Progress = &progress;
    ActivityChanged(TActivity::Walk);
    std::optional<std::vector<service::TSnapshotRegister>> registers;
    try {
        registers = service::ReadRegisters(
            Tree,
            [&](TNode& node) {
                Transaction.CurrentNode = &node;
                return service::ReadWords(Transaction, Frame, slave, node);
            },
            [&](size_t i, size_t n) {
                progress.setMaximum(static_cast<int>(n));
                progress.setValue(static_cast<int>(i));  // lets the window paint and "Anuluj" be pressed
                return !progress.wasCanceled() && Transaction.PortOpen();
            });
    } catch (...) {
        Visit.Progress = nullptr;
        ActivityChanged(Sequences.Activity());
        throw;
    }
    Visit.Progress = nullptr;
    ActivityChanged(Sequences.Activity());
    if (!registers) {
        AppendResultLine(progress.wasCanceled() ? u"przerwano: anulowano" : u"przerwano: port zamknięty");
        return std::nullopt;
    }
    snapshot.Registers = std::move(*registers);
    size_t unread = 0;
    for (const service::TSnapshotRegister& r : snapshot.Registers) unread += !r.Read();
    AppendResultLine(u"odczytano rejestrów: " + FromUtf8(std::to_string(snapshot.Registers.size() - unread)) +
                     u" z " + FromUtf8(std::to_string(snapshot.Registers.size())));
    return snapshot;
}

void TForm1::StanZastanyClick() {
    if (std::optional<service::TSnapshot> s = ReadSnapshot(QStringLiteral("stan zastany"))) {
        Visit.AsFound = std::move(s);
        Visit.AsLeft.reset();
        // From now on every calibration is recorded and every "Zapisz" verified.
        Visit.Runs.clear();
        Sequences.KeepRecord(true, loadedDevice_.toStdString());
        Say(QStringLiteral("Stan zastany odczytany"));
    }
}

void TForm1::StanPozostawionyClick() {
    if (std::optional<service::TSnapshot> s = ReadSnapshot(QStringLiteral("stan pozostawiony"))) {
        Visit.AsLeft = std::move(s);
        Say(QStringLiteral("Stan pozostawiony odczytany"));
    }
}

void TForm1::CalibrationRecorded(const service::TCalibrationRun& run, bool sameRun) {
    if (sameRun && !Visit.Runs.empty())
        Visit.Runs.back() = run;  // its "Zapisz", verified
    else
        Visit.Runs.push_back(run);
}

void TForm1::RaportClick() {
    if (!Visit.AsFound || !Visit.AsLeft) {
        ShowMessage(!Visit.AsFound ? u"najpierw odczytaj stan zastany (Serwis, Stan zastany…)"
                             : u"najpierw odczytaj stan pozostawiony (Serwis, Stan pozostawiony…)");
        return;
    }
    service::TReportInput input;
    input.Before = *Visit.AsFound;
    input.After = *Visit.AsLeft;
    input.Runs = Visit.Runs;
    TReportDialog dialog(boxes_, std::move(input), Visit.Report, this);
    dialog.exec();
    Visit.Report = dialog.Settings();  // remembered whether saved or not
}

}  // namespace vyx::ui
