// SPDX-License-Identifier: GPL-3.0-or-later
// The units on the line: "Szukaj urządzeń…" scans the line as one job on the
// window's bus while its dialog shows what answers, and every unit found joins
// "Jednostki na linii"; choosing a unit there makes it the connection (speed,
// parity, address, device file) and reads its serial number through the
// window's transaction, so the read shows in the panes as any read does.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <atomic>

#include "base/DeviceFolders.h"
#include "base/FileError.h"
#include "base/Text.h"
#include "service/LineScan.h"
#include "ui/ChoiceBox.h"
#include "ui/ConnectionTexts.h"
#include "ui/FormSupport.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"
#include "ui/ScanDialog.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/UnitList.h"

namespace vyx::ui {

// A scan under way. The job holds it to its end: the cancel flag and the
// events outlive a dialog closed meanwhile.
struct TScanRun {
    std::atomic<bool> Cancel{false};
    std::unique_ptr<service::TScanEvents> Events;
    QString Port;         // the port path its units are listed under
    bool Reopen = false;  // the port was open before: it is opened again after
    size_t Found = 0;
    // Set by the job before it hands the end over.
    service::TScanSummary Summary;
    QString Failure;
};

namespace {

// What a scan tells, on the window's thread.
struct TScanSinks {
    std::function<void(size_t, size_t)> Progress;
    std::function<void(const service::TScanFound&)> Found;
    std::function<void(const std::string&, const TOpened&)> Skipped;
    std::function<void(const TExchangeResult&)> Exchanged;
};

// Each event of the scan, copied, handed to the window's thread by the bus.
class TDeliveredEvents final : public service::TScanEvents {
public:
    TDeliveredEvents(TBus& bus, std::shared_ptr<const TScanSinks> sinks) : bus_(bus), sinks_(std::move(sinks)) {}
    void Progress(size_t done, size_t total) override {
        bus_.Deliver([s = sinks_, done, total] { s->Progress(done, total); });
    }
    void Found(const service::TScanFound& unit) override {
        bus_.Deliver([s = sinks_, unit] { s->Found(unit); });
    }
    void Skipped(const std::string& mode, const TOpened& opened) override {
        bus_.Deliver([s = sinks_, mode, opened] { s->Skipped(mode, opened); });
    }
    void Exchanged(const TExchangeResult& result) override {
        bus_.Deliver([s = sinks_, result] { s->Exchanged(result); });
    }

private:
    TBus& bus_;
    std::shared_ptr<const TScanSinks> sinks_;
};

// A unit's text as the list and the settings keep it: printable, and short.
QString Plain(const std::string& utf8) {
    QString text = QString::fromStdString(utf8).left(64);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) c = u'?';
    return text.trimmed();
}

TLineUnit UnitOf(const service::TScanFound& found) {
    TLineUnit unit;
    unit.Slave = found.Slave;
    unit.Mode = QString::fromStdString(found.Mode);
    unit.Type = Plain(found.Identity.Type);
    unit.Serial = Plain(found.Identity.Serial);
    if (!found.Identity.File.empty()) unit.File = QString::fromStdString(PathToUtf8(found.Identity.File.filename()));
    return unit;
}

// "247 VXT-20F nr 10234", what of it is known.
QString UnitTitle(int slave, const QString& type, const QString& serial) {
    QString title = QString::number(slave);
    if (!type.isEmpty()) title += u' ' + type;
    if (!serial.isEmpty()) title += QStringLiteral(" nr ") + serial;
    return type.isEmpty() && serial.isEmpty() ? title + QStringLiteral(" ?") : title;
}

// The loaded file's value of a register, trailing spaces cut; empty without one.
QString TreeValue(const TRegisterTree& tree, std::u16string_view name) {
    const TNode* node = tree.FindRegisterByName(name);
    return node ? Q(node->Record.Value).trimmed() : QString();
}

}  // namespace

TScanDialog* TForm1::ScanDialog() const { return scanDialog_; }

QString TForm1::ScanRefusal() const {
    if (scan_) return QStringLiteral("Trwa przeszukiwanie linii: poczekaj na jego koniec");
    if (Sequences.Monitoring()) return QStringLiteral("Trwa monitorowanie: najpierw je wyłącz");
    if (TreeBusy() || connecting_) return QStringLiteral("Trwa komunikacja z urządzeniem: poczekaj na jej koniec");
    return {};
}

void TForm1::SzukajClick() {
    if (const QString refusal = ScanRefusal(); !refusal.isEmpty()) {
        Say(refusal);
        return;
    }
    if (UnitsPort(ComCBox->currentText()).isEmpty()) {
        ShowMessage(u"brak portu: najpierw wybierz port, na którym szukać urządzeń");
        return;
    }
    if (scanDialog_) scanDialog_->close();
    TScanLine line;
    line.Port = ComCBox->currentText().trimmed();
    line.Mode = LineSettings().Mode;
    line.Network = !LineSettingsApply();
    line.ReplyWaitMs = static_cast<uint16_t>(replyWaitMs_);
    line.Line = Transaction.Line();
    auto* dialog = new TScanDialog(std::move(line), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);  // the window takes no input meanwhile
    connect(dialog, &TScanDialog::StartAsked, this, [this] { Run([this] { StartScan(); }); });
    // "Anuluj", Escape and the close button: the scan ends after the exchange under way.
    connect(dialog, &QDialog::rejected, this, [this] { CancelScan(); });
    scanDialog_ = dialog;
    dialog->show();
}

void TForm1::StartScan() {
    TScanDialog* dialog = scanDialog_;
    if (!dialog) return;
    if (const QString refusal = ScanRefusal(); !refusal.isEmpty()) {
        Say(refusal);
        dialog->Refused(refusal);
        return;
    }
    service::TScanPlan plan = dialog->Plan();
    auto run = std::make_shared<TScanRun>();
    run->Port = UnitsPort(QString::fromStdString(plan.Port));
    run->Reopen = portOpen_;
    TScanRun* const id = run.get();
    auto sinks = std::make_shared<TScanSinks>();
    // Events of a scan that has ended (its last ones) reach nothing; a closed dialog is null.
    sinks->Progress = [this, id](size_t done, size_t total) {
        if (scan_.get() == id && scanDialog_) scanDialog_->ScanProgress(done, total);
    };
    sinks->Found = [this, id](const service::TScanFound& found) {
        if (scan_.get() != id) return;
        const TLineUnit unit = UnitOf(found);
        ++scan_->Found;
        UnitList->Merge(scan_->Port, unit);
        AppendResultLine(u"znaleziono " + FromUtf8(std::to_string(found.Slave)) +
                         (found.Mode.empty() ? u"" : u" @" + FromUtf8(found.Mode)) + u": " +
                         FromUtf8(found.Identity.Summary()));
        if (scanDialog_) scanDialog_->UnitFound(unit);
    };
    sinks->Skipped = [this, id](const std::string& mode, const TOpened& opened) {
        if (scan_.get() != id) return;
        // Said as the connection panel says a port that does not open.
        const QString why = opened.TimeoutsRefused
                                 ? QStringLiteral("port odrzucił czas odpowiedzi")
                                 : PortFaultText(opened.Fault, opened.Error, scan_->Port, QString::fromStdString(mode));
        AppendResultLine(u"pominięto " + FromUtf8(mode) + u": " + why.toStdU16String());
        if (scanDialog_) scanDialog_->ModeSkipped(QString::fromStdString(mode), why);
    };
    sinks->Exchanged = [this, id](const TExchangeResult& result) {
        if (scan_.get() != id) return;
        for (const std::u16string& line : result.Lines) AppendCommLine(line);
    };
    run->Events = std::make_unique<TDeliveredEvents>(Bus, std::move(sinks));

    // The port is the scan's until it ends: it opens each line setting itself.
    ++portGeneration_;  // an open still on its way is stale
    connecting_ = false;
    portOpen_ = false;
    shConnect->SetColor(ToQColor(kIdleGrey));
    scan_ = run;
    dialog->ScanStarted(service::ScanTries(plan));
    AppendResultLine(u"");
    AppendResultLine(u"szukanie urządzeń: " + FromUtf8(plan.Port));
    Say(QStringLiteral("Szukanie urządzeń na ") + QString::fromStdString(plan.Port) + QStringLiteral("…"), true);
    const std::vector<std::filesystem::path> folders = DeviceFolders(program_.parent_path());
    Bus.Post([this, run, plan = std::move(plan), folders](TPort&, TWire& wire) mutable {
        try {
            plan.Identities = service::IdentityProbes(folders);
            // The bus's port is the session's.
            run->Summary = service::ScanLine(Port, wire, plan, *run->Events, run->Cancel);
        } catch (const std::exception& e) {
            run->Failure = QString::fromStdString(PolishText(e));
        }
        Port.ClosePort();
        wire.Forget();
        Bus.Deliver([this, run] { ScanEnded(run); });
    });
}

void TForm1::CancelScan() {
    if (scan_) scan_->Cancel = true;
}

void TForm1::ScanEnded(const std::shared_ptr<TScanRun>& run) {
    if (scan_ != run) return;
    scan_.reset();
    const service::TScanSummary& summary = run->Summary;
    // A scan ended early by the line (an adapter gone) says so as a failure.
    QString failure = run->Failure;
    if (failure.isEmpty() && !summary.Ended.empty())
        failure = summary.Ended == OutcomeReason(TOutcome::PortClosed, 0, TLanguage::English)
                      ? QString::fromStdString(OutcomeReason(TOutcome::PortClosed, 0, TLanguage::Polish))
                      : QString::fromStdString(summary.Ended);
    QString outcome = failure.isEmpty() ? QStringLiteral("Znaleziono urządzeń: %1").arg(run->Found)
                                        : QStringLiteral("Przeszukiwanie przerwane: ") + failure;
    if (summary.Cancelled) outcome = QStringLiteral("Przeszukiwanie anulowane; znaleziono urządzeń: %1").arg(run->Found);
    if (summary.Garbled > 0) outcome += QStringLiteral("; uszkodzone odpowiedzi: %1").arg(summary.Garbled);
    AppendResultLine(summary.Cancelled    ? u"przerwano: anulowano"
                     : !failure.isEmpty() ? u"przerwano: " + failure.toStdU16String()
                                          : u"znaleziono urządzeń: " + FromUtf8(std::to_string(run->Found)));
    if (scanDialog_) scanDialog_->ScanEnded(outcome);
    // The line as the connection panel sets it, if it was open before.
    if (run->Reopen)
        Connect();
    else
        Say(outcome);
}

void TForm1::DodajBiezacaClick() {
    const QString port = UnitsPort(ComCBox->currentText());
    bool number = false;
    const int slave = eSlave->text().trimmed().toInt(&number);
    if (port.isEmpty() || !number || slave < 1 || slave > 247) {
        Say(port.isEmpty() ? QStringLiteral("Dodaj bieżącą: najpierw wybierz port")
                           : QStringLiteral("Dodaj bieżącą: adres urządzenia od 1 do 247"));
        return;
    }
    TLineUnit unit;
    unit.Slave = slave;
    if (LineSettingsApply()) unit.Mode = QString::fromStdString(LineSettings().Mode);
    unit.File = loadedDevice_;
    unit.Type = TreeValue(Tree, service::kTypeRegisterName);
    // A serial number of the file is no unit's: only one read from it counts.
    const TNode* serial = Tree.FindRegisterByName(service::kSerialRegisterName);
    if (serial && !Model->Unread(*serial)) unit.Serial = TreeValue(Tree, service::kSerialRegisterName);
    UnitList->Merge(port, unit);
}

void TForm1::UnitChosen(const TLineUnit& unit) {
    if (scan_ || TreeBusy()) {
        Say(ScanRefusal());
        return;
    }
    if (!unit.Mode.isEmpty() && LineSettingsApply()) {
        const qsizetype comma = unit.Mode.indexOf(u',');
        int parity = -1;
        for (int i = 0; i < 4; ++i)
            if (ModeSuffix(i) == unit.Mode.mid(comma)) parity = i;
        if (comma > 0 && parity >= 0 && unit.Mode.toStdString() != LineSettings().Mode) {
            SelectOrType(cbxBaud, unit.Mode.left(comma));
            cbxParity->setCurrentIndex(parity);
            cbxBaudSelect();  // an open port is opened again with them
        }
    }
    eSlave->setText(QString::number(unit.Slave));
    if (!unit.File.isEmpty()) {
        cbxDevice->setEditText(unit.File);
        cbxDeviceSelect();
    }
    // A reopening is on the bus before this: the read waits for its outcome.
    const uint64_t choice = ++unitChoice_;
    const QString port = UnitList->Port();
    Bus.Post([this, choice, unit, port](TPort&, TWire&) {
        Bus.Deliver([this, choice, unit, port] { ReadUnitSerial(choice, unit, port); });
    });
}

void TForm1::ReadUnitSerial(uint64_t choice, const TLineUnit& unit, const QString& port) {
    if (choice != unitChoice_) return;  // another unit chosen since
    const QString type = unit.Type.isEmpty() ? TreeValue(Tree, service::kTypeRegisterName) : unit.Type;
    TNode* serial = !unit.File.isEmpty() && unit.File == loadedDevice_
                        ? Tree.FindRegisterByName(service::kSerialRegisterName)
                        : nullptr;
    if (!serial || !portOpen_ || scan_ || TreeBusy()) {
        Say(UnitTitle(unit.Slave, type, unit.Serial), true);
        return;
    }
    Transaction.PrepareRead(*serial, Slave());
    const uint64_t tree = treeGeneration_;
    Transaction.Start([this, serial, unit, type, port, tree](const std::exception_ptr& error) {
        if (tree == treeGeneration_) {
            const service::TRegisterRead got = service::ReadOutcome(Transaction, Frame, *serial);
            TLineUnit read = unit;
            if (got.Ok) {
                read.Serial = Q(got.Value).trimmed();
                read.Type = type;
                if (read != unit) UnitList->Merge(port, read);
            }
            Say(UnitTitle(read.Slave, type, read.Serial), true);
        }
        if (error) std::rethrow_exception(error);
    });
}

}  // namespace vyx::ui
