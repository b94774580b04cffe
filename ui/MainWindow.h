// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window TForm1: the register tree on the left, the result and
// communication panes in the middle, the control panel on the right, the status
// bar below. It owns the bus (whose thread alone touches the port), the request
// frame, the one transaction and the register tree, and shows what the
// transaction reports (TTransactionView). It never waits for the line: it
// starts an exchange and handles its result when the bus hands it back.
//
// Handlers stay thin: they read the widgets, call the core and show the outcome.
// Each runs through Run(), which shows any error in the error box, so nothing
// ever leaves a toolkit slot. Every box goes through the TBoxes seam.
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "modbus/Bus.h"
#include "modbus/Frame.h"
#include "modbus/Transaction.h"
#include "service/Session.h"
#include "registers/RegisterTree.h"
#include "sequences/Sequences.h"
#include "port/AnyPort.h"
#include "serial/Serial.h"
#include "ui/ChoiceBox.h"
#include "ui/ConnectionTexts.h"
#include "ui/FormControls.h"
#include "ui/CutLabel.h"
#include "ui/Placement.h"
#include "ui/PortChoice.h"
#include "ui/Indicators.h"
#include "ui/MeanSource.h"
#include "ui/ServiceVisit.h"
#include "ui/Settings.h"

class QModelIndex;
class QVBoxLayout;

namespace vyx::ui {

class TBoxes;
class TJournal;
class TJournalKeeper;
enum class TJournalChange;
class TRegisterModel;
class TReplug;
class TScanDialog;
struct TScanRun;
class TTrendWindow;

struct TFormOptions {
    bool DefaultSettings = false;  // start with the defaults, not the remembered settings
};

class TForm1 : public QMainWindow, public TFormControls, public TTransactionView, public TSequenceView {
    Q_OBJECT
public:
    // `program` is the executable, resolved: its folder holds the device files and
    // the log file.
    TForm1(TBoxes& boxes, std::filesystem::path program, TFormOptions options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The session every face of the program holds. Its bus owns the port in a
    // thread of its own: the window never waits for the line, and the results
    // come back as queued calls on the window's thread.
    service::TSession Session{*this, [this](TPort& port) {
        return std::make_unique<TBusWorker>(port, [this](TBus::TTask task) { Deliver(std::move(task)); });
    }};
    TAnyPort& Port = Session.Port;  // a serial line or a network port, as its name says
    TFrame& Frame = Session.Frame;
    TBus& Bus = *Session.Bus;
    TTransaction& Transaction = Session.Transaction;
    TRegisterTree Tree;
    TSequences Sequences{Transaction, *this, *this};
    TRegisterModel* Model;
    TTrendWindow* Trend;  // the plot window, hidden until opened
    TReplug* Replug;      // watches the open port's adapter go and come back (Replugging.cpp)

    // Start-up, activation and closing.
    void FormCreate();
    void FormActivate();
    // The closing steps; false when the log could not be saved anywhere, and the
    // window then stays open.
    bool FormClose();
    // The system ends the session (log-off, shutdown): the log is written as a
    // close writes it, with no box, since nobody may answer one and the process
    // ends right after. The journal goes only when the application then quits
    // with no line added (SessionQuits); a log that could not be written leaves
    // it for the next start.
    void SessionEnds();
    void SessionQuits();

    // Remembered settings and the place on the screen (WindowSettings.cpp).
    const TWindowSettings& StartSettings() const { return startSettings_; }
    // What a clean close now would remember.
    TWindowSettings CurrentSettings() const;
    // The window's minimum size where the fixed layout holds.
    QSize FullMinimum() const { return fullMinimum_; }
    // Takes the placement: the fixed layout where it fits, else a narrower tree
    // and a scrolling control panel within the placement's size.
    void FitTo(const TPlacement& placement);

    // Pane menus, main menu, status bar.
    void Wyczy1Click();
    void Kopiuj1Click();
    void Zapiszdopliku1Click();
    void Wyczy2Click();
    void Wersjaprogramu1Click();
    void stbTimerTimer();

    // Connection panel (ConnectionPanel.cpp).
#include "ui/FormConnectionPanel.h"

    // Monitoring and calibration (the work is the sequences').
    void cbMonitorClick();
    void Timer1Timer();
    void Button1Click();
    void btZapiszClick();
    TMeanSource MeanSource;  // where the text of "Wartość:" came from
    // "Wykres" and F6: the plot window, shown and brought up.
    void btWykresClick();
    // "Dodaj do wykresu" and Ctrl+D: the register at `index` joins the plot's signals (SignalsMenu.cpp).
    void DodajDoWykresuClick(const QModelIndex& index);

    // "Serwis" (ServiceMenu.cpp): every register of the device file read into the
    // as-found or as-left snapshot, each read shown as a walk's.
    void StanZastanyClick();
    void StanPozostawionyClick();
    // "Raport serwisowy…": the report of the two snapshots and the calibrations
    // recorded since the as-found one.
    void RaportClick();
    // "Historia jednostki…": the visits of the unit of the snapshot as left (else
    // as found) under the report dialog's folder, in THistoryDialog.
    void HistoriaClick();
    TServiceVisit Visit;
    // "Szukaj urządzeń…" and "Jednostki na linii" (LineUnits.cpp).
    void SzukajClick();
    TScanDialog* ScanDialog() const;
    bool Scanning() const { return scan_ != nullptr; }
    void DodajBiezacaClick();
    void UnitChosen(const TLineUnit& unit);

    // Device files.
    QStringList ListDeviceFiles() const;
    // The *.dat files of the program's folder by the names the list shows.
    std::map<QString, std::filesystem::path> ListDeviceFilePaths() const;
    void cbxDeviceEnter();
    void cbxDeviceSelect();

    // Register tree.
    void VTClick();
    // `pointer`: where the double-click was, in the tree's viewport.
    void VTColumnDblClick(int column, QPoint pointer = {});
    // Opens the register's value for editing (F2, Enter, a double-click on it).
    void EditValue(TNode* node);
    bool VTEditing(const TNode* node, int column) const;
    void VTNewText(TNode* node, int column, const QString& text);
    void VTEdited(TNode* node, int column);
    // The user asked to change the node's tick.
    void VTChecking(TNode* node);
    void VTExpanding(TNode* node);
    // True while a walk runs: a click does not change the current register.
    bool WalkMode() const { return Sequences.WalkMode(); }

    // The handler's work with every error shown in the error box.
    void Run(const std::function<void()>& work);

    // TTransactionView: what the transaction reports.
#include "ui/FormTransactionView.h"

    // The indicators and the highlight, with their timers.
    void SetLed(TLed led, TColor color);
    void SetLedTimerInterval(TLed led, int ms);
    void EnableLedTimer(TLed led, bool enabled);
    void StartHighlightTimer();
    // The register shown red after a write, until HighlightTimer ends it.
    TNode* HighlightNode = nullptr;

    // TSequenceView: what the sequences ask of the window.
#include "ui/FormSequenceView.h"

    // The journal of this window's result lines; null while the state folder refuses it.
    const TJournal* Journal() const;

    const std::filesystem::path& ProgramPath() const { return program_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildSignalsMenu();
    // Runs a bus's task on this window's thread, later, as a handler.
    void Deliver(TBus::TTask task);
    // The bus has tried to open the port (Connect).
    void Connected(const TOpened& opened, const QString& name, const TLineSettings& line);
    // Opens `name` with `line` on the bus (Connect's work, and the reopening of an adapter back).
    void OpenPort(const QString& name, const TLineSettings& line);
    void WireReplug();
    // The control panel's groups, into its column (PanelLayout.cpp).
    void BuildPanel(QVBoxLayout* column);
    // Reads the snapshot and hands it to `done`; nothing when it cannot start (no
    // file, no port, something running), is cancelled or the port closes.
    void ReadSnapshot(const QString& what, std::function<void(service::TSnapshot)> done);
    // Starts the next read of the snapshot, or ends it.
    void SnapshotStep();
    void WireHandlers();
    void ShowError(const QString& text);
    // A device that went away (an adapter unplugged) closes the port by itself:
    // the indicator turns red and the status bar says the port is closed.
    void ShowPortGone();
    // Shows a status message for at least 3 s from now (the next one may follow
    // it); a `lasting` one stays until another is shown.
    void Say(const QString& text, bool lasting = false);
    // The result pane's lines as a file holds them.
    std::string ResultBytes() const;
    void LoadDeviceFile(const std::filesystem::path& path);
    // The file a name in the device list stands for, in the program's folder.
    std::filesystem::path DeviceFilePath(const QString& name) const;
    // A choice made while a sequence runs or an exchange is out waits until it
    // has ended: nothing closes the port or replaces the tree under it.
    bool DeferWhileBusy(void (TForm1::*choice)());
    // Keeps the keyboard focus out of controls about to be disabled, and brings it
    // back when they are enabled again.
    void ParkFocus(QWidget* focused);
    void RestoreFocus();
    void StartJournal();
    // After each line and each second: the warning area and the result pane say
    // when results stop being kept on the disk and when they are again.
    void JournalChanged(TJournalChange change);
    // Fills the controls from the settings, loads the device file they name and
    // places the window.
    void ApplySettings(const TWindowSettings& settings);
    void RunPendingChoice();
    void ExpandAsTheFileSays();
    // Runs device work once the tree's own handling of the event has returned,
    // only if the node still belongs to the loaded tree.
    void AfterTreeEvent(TNode* node, void (TForm1::*work)(TNode*));
    // Makes the node current and writes it (RW and RP registers only).
    void WriteNode(TNode* node);
    // The slave address of eSlave; a text that is none refuses every request.
    TSlave Slave() const;
    // Applies the read and write time-outs to the open port; a port that refuses
    // them is closed and shown red.
    void ApplyTimeouts();
    // The line as the connection panel sets it.
    TLineSettings LineSettings() const;
    void Highlight(TNode* node);
    bool TreeBusy() const;
    bool TreeReady();  // the port is open and nothing runs; else the status bar says why
    QString ScanRefusal() const;  // why no scan may start now; empty when one may
    void StartScan();
    void CancelScan();  // it ends after the exchange under way
    void ScanEnded(const std::shared_ptr<TScanRun>& run);
    void ReadUnitSerial(uint64_t choice, const TLineUnit& unit, const QString& port);  // once its port is open
    // "Rejestr:" shows the register monitoring will read: the one clicked, or
    // where a walk or a calibration left it.
    void ShowCurrentRegister();
    QTimer* LedTimer(TLed led) const;

    TBoxes& boxes_;
    std::filesystem::path program_;
    TFormOptions options_;
    TWindowSettings startSettings_;
    QSize fullMinimum_;
    QString loadedDevice_;  // the device list's name of the file loaded
    bool activated_ = false;
    int replyWaitMs_ = kReplyWaitDefaultMs;
    int depth_ = 0;              // handlers running, nested through event processing
    bool portOpen_ = false;      // as the bus last reported
    bool connecting_ = false;    // an open is on the bus
    uint64_t portGeneration_ = 0;  // counts opens and closes: an older open's result is stale
    TPortChoice portChoice_;
    std::atomic<int> undelivered_{0};  // tasks the bus handed over, not yet run
    QTimer* pauseTimer_ = nullptr;  // a sequence's pause between two readings
    std::unique_ptr<TSnapshotRead> snapshot_;  // while a snapshot is read
    uint64_t treeGeneration_ = 0;  // counts loads: nodes of an older tree are gone
    bool closePending_ = false;  // a close asked for while a handler ran
    std::optional<std::string> sessionLog_;  // what SessionEnds wrote
    void (TForm1::*pendingChoice_)() = nullptr;  // a choice made during a transaction
    QPointer<QWidget> parkedFocus_;  // where the focus was before controls were disabled
    std::unique_ptr<TJournalKeeper> journal_;
    bool dated_ = false;       // the session's date line opens the results already
    bool logWritten_ = false;  // this session's log is saved (a logout that was then cancelled)
    std::map<QString, std::filesystem::path> deviceFiles_;  // listed names -> their files
    std::shared_ptr<TScanRun> scan_;  // while the line is scanned
    QPointer<TScanDialog> scanDialog_;
    uint64_t unitChoice_ = 0;  // counts units chosen: the read of an earlier one is not made
};

}  // namespace vyx::ui
