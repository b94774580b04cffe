// SPDX-License-Identifier: GPL-3.0-or-later
// The "Serwis" menu: the unit's registers as found and as left, read through the
// window's own transaction so that each read shows in the tree and the result
// pane as a walk's does, with a progress bar and "Anuluj".
#include <QApplication>
#include <QProgressDialog>

#include "base/Error.h"
#include "registers/RegData.h"
#include "base/Text.h"
#include "service/Session.h"
#include "service/UnitIdentity.h"
#include "ui/FormSupport.h"
#include "ui/HistoryDialog.h"
#include "ui/ReportDialog.h"
#include "ui/MainWindow.h"
#include "ui/TextPane.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {

void TForm1::ReadSnapshot(const QString& what, std::function<void(service::TSnapshot)> done) {
    if (!Tree.First()) {
        ShowMessage(u"brak opisu rejestrów: wybierz plik urządzenia");
        return;
    }
    if (!portOpen_) {
        ShowMessage(u"brak połączenia !");
        return;
    }
    // Nothing else may talk to the device meanwhile.
    if (Sequences.Activity() != TActivity::Idle || Sequences.Busy() || snapshot_) return;

    auto read = std::make_unique<TSnapshotRead>();
    Session.Slave = Slave();
    // A slave address that is none stops it here, before anything is sent.
    read->Snapshot = service::NewSnapshot(Session, loadedDevice_.toStdString());
    read->Registers = service::TreeRegisters(Tree);
    read->Done = std::move(done);
    snapshot_ = std::move(read);

    AppendResultLine(u"");
    AppendResultLine(what.toStdU16String() + u":");
    auto* progress = new QProgressDialog(what + QStringLiteral("…"), QStringLiteral("Anuluj"), 0,
                                         static_cast<int>(snapshot_->Registers.size()), this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setWindowModality(Qt::WindowModal);  // the window takes no input meanwhile
    progress->setMinimumDuration(0);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    // "Anuluj" acts at once: the read out is abandoned. So does the dialog closed
    // by reject() (a box dismissed from outside), which says nothing of "Anuluj"
    // and deletes the dialog.
    const auto cancel = [this] {
        if (!snapshot_) return;
        snapshot_->Cancelled = true;
        if (Transaction.InFlight()) Transaction.Abandon();
        Run([this] { SnapshotStep(); });
    };
    connect(progress, &QProgressDialog::canceled, this, cancel);
    connect(progress, &QDialog::rejected, this, cancel);
    Visit.Progress = progress;
    progress->show();
    ActivityChanged(TActivity::Walk);
    // First the unit says what it is (functions 43/14 and 17), on the bus; its
    // frames show as every exchange's, and the registers follow.
    const TSnapshotRead* reading = snapshot_.get();
    const uint8_t slave = Session.Slave.Address();
    Bus.Post([this, reading, slave, line = Transaction.Line()](TPort& port, TWire& wire) {
        auto lines = std::make_shared<std::vector<std::u16string>>();
        const service::TUnitIdentity id =
            service::IdentifyUnit(service::WireExchanger(port, wire, line, lines.get()), slave, {});
        Bus.Deliver([this, reading, lines, said = service::SnapshotIdentification(id)] {
            for (const std::u16string& l : *lines) AppendCommLine(l);
            if (snapshot_.get() != reading) return;  // cancelled meanwhile
            snapshot_->Snapshot.Identification = said;
            SnapshotStep();
        });
    });
}

void TForm1::SnapshotStep() {
    if (!snapshot_ || Transaction.InFlight()) return;
    TSnapshotRead& read = *snapshot_;
    if (Visit.Progress && Visit.Progress->wasCanceled()) read.Cancelled = true;
    const bool over = read.Cancelled || !portOpen_ || read.Next == read.Registers.size();
    if (!over) {
        if (Visit.Progress) {
            // A modal progress dialog processes events in setValue: "Anuluj" may
            // have ended the read out meanwhile, and `read` with it.
            Visit.Progress->setValue(static_cast<int>(read.Next));
            if (snapshot_.get() != &read) return;
        }
        TNode& node = *read.Registers[read.Next];
        try {
            Transaction.PrepareRead(node, Session.Slave);
        } catch (const Error& e) {
            // A register the request cannot carry is recorded as unread; the next follows.
            service::TRegisterRead refused;
            refused.Error = e.what();
            read.Snapshot.Registers.push_back(service::SnapshotRegister(node, refused));
            read.NotRead(node, e.what());
            ++read.Next;
            QMetaObject::invokeMethod(this, [this] { Run([this] { SnapshotStep(); }); }, Qt::QueuedConnection);
            return;
        }
        Transaction.Start([this, &node](const std::exception_ptr& error) {
            if (snapshot_ && !snapshot_->Cancelled) {
                const service::TRegisterRead got = service::ReadOutcome(Transaction, Frame, node);
                snapshot_->Snapshot.Registers.push_back(service::SnapshotRegister(node, got));
                // The pane says why in Polish; the snapshot keeps the English reason.
                if (!got.Ok)
                    snapshot_->NotRead(node, got.Outcome == TOutcome::Good ? "odpowiedź innej długości niż rejestr"
                                                                           : Transaction.Reason(TLanguage::Polish));
                ++snapshot_->Next;
            }
            SnapshotStep();
            if (error) std::rethrow_exception(error);
        });
        return;
    }
    std::unique_ptr<TSnapshotRead> ended = std::move(snapshot_);
    if (Visit.Progress) Visit.Progress->close();
    Visit.Progress = nullptr;
    ActivityChanged(Sequences.Activity());
    if (ended->Next < ended->Registers.size()) {
        AppendResultLine(ended->Cancelled ? u"przerwano: anulowano" : u"przerwano: port zamknięty");
        return;
    }
    service::TSnapshot& snapshot = ended->Snapshot;
    const size_t unread = ended->Unread.size();
    AppendResultLine(u"odczytano rejestrów: " + FromUtf8(std::to_string(snapshot.Registers.size() - unread)) +
                     u" z " + FromUtf8(std::to_string(snapshot.Registers.size())));
    for (const std::u16string& line : ended->Unread) AppendResultLine(line);
    ended->Done(std::move(snapshot));
}

void TForm1::StanZastanyClick() {
    ReadSnapshot(QStringLiteral("stan zastany"), [this](service::TSnapshot s) {
        Visit.AsFound = std::move(s);
        Visit.AsLeft.reset();
        // From now on every calibration is recorded and every "Zapisz" verified.
        Visit.Runs.clear();
        Visit.Plots.clear();
        Sequences.KeepRecord(true, loadedDevice_.toStdString());
        Say(QStringLiteral("Stan zastany odczytany"));
    });
}

void TForm1::StanPozostawionyClick() {
    ReadSnapshot(QStringLiteral("stan pozostawiony"), [this](service::TSnapshot s) {
        Visit.AsLeft = std::move(s);
        Say(QStringLiteral("Stan pozostawiony odczytany"));
    });
}

void TForm1::CalibrationRecorded(const service::TCalibrationRun& run, bool sameRun) {
    if (sameRun && !Visit.Runs.empty()) {
        Visit.Runs.back() = run;  // its "Zapisz", verified
        return;
    }
    Visit.Runs.push_back(run);
    // The plot window has just drawn the run with its mean and limits: the report
    // shows it so, the run filling the picture's width.
    Visit.Plots.push_back(run.Readings.empty() ? std::string() : Trend->SeriesPng());
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
    input.RunPlots = Visit.Plots;
    TReportDialog dialog(boxes_, std::move(input), Visit.Report, this);
    dialog.exec();
    Visit.Report = dialog.Settings();  // remembered whether saved or not
}

void TForm1::HistoriaClick() {
    const std::optional<service::TSnapshot>& unit = Visit.AsLeft ? Visit.AsLeft : Visit.AsFound;
    if (!unit) {
        ShowMessage(u"najpierw odczytaj stan zastany (Serwis, Stan zastany…)");
        return;
    }
    const std::string serial = service::SnapshotSerial(*unit);
    if (serial.empty()) {
        ShowMessage(u"stan urządzenia nie podaje numeru fabrycznego: nie wiadomo, której jednostki szukać");
        return;
    }
    const QString folder = Visit.Report.Folder.trimmed();
    std::error_code ec;
    if (folder.isEmpty() || !std::filesystem::is_directory(PathFromUtf8(folder.toStdString()), ec)) {
        ShowMessage(folder.isEmpty() ? u"brak folderu raportów: wybierz go w oknie raportu (Serwis, Raport serwisowy…)"
                                     : u"folder raportów " + folder.toStdU16String() + u" nie istnieje");
        return;
    }
    service::THistory history = service::UnitHistory(PathFromUtf8(folder.toStdString()), serial);
    if (history.Visits.empty()) {
        ShowMessage(u"brak wizyt jednostki " + FromUtf8(serial) + u" w folderze " + folder.toStdU16String());
        return;
    }
    THistoryDialog dialog(std::move(history), this);
    dialog.exec();
}

}  // namespace vyx::ui
