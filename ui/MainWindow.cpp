// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's life: creating it (controls, timers, handlers), its first
// activation, closing with the log, and the events it filters for its controls.
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTimer>
#include <QTreeView>
#include <utility>

#include "base/FileError.h"
#include "base/Text.h"
#include "ui/Boxes.h"
#include "ui/FormSupport.h"
#include "ui/JournalKeeper.h"
#include "ui/LogFile.h"
#include "ui/RegisterModel.h"
#include "ui/TextPane.h"
#include "ui/TrendWindow.h"
#include "ui/UnitList.h"

namespace vyx::ui {
namespace fs = std::filesystem;

namespace {

constexpr int kJournalSyncMs = 1000;

}  // namespace

TForm1::TForm1(TBoxes& boxes, fs::path program, TFormOptions options, QWidget* parent)
    : QMainWindow(parent), boxes_(boxes), program_(std::move(program)), options_(options) {
    BuildControls();
    WireHandlers();
    WireReplug();
    Sequences.UseTree(&Tree);
    FormCreate();
}

TForm1::~TForm1() {
    // The bus ends first (an exchange still out ends within its time-outs, and the
    // port is closed); what it handed over and was not run yet goes with this object.
    // A scan running ends after its exchange under way rather than at its last address.
    CancelScan();
    Bus.Stop();
    // The controls outlive this object's members: while they are torn down (a
    // focused field losing its focus) nothing they report may reach a handler.
    for (QObject* child : findChildren<QObject*>()) {
        child->removeEventFilter(this);
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    // Nor may the tree view lay out rows of the register tree, which goes first:
    // a window destroyed while shown hides its controls after that.
    VT->setModel(nullptr);
}

void TForm1::Deliver(TBus::TTask task) {
    ++undelivered_;
    QMetaObject::invokeMethod(
        this,
        [this, task = std::move(task)] {
            --undelivered_;
            Run(task);
        },
        Qt::QueuedConnection);
}

bool TForm1::Settled() const {
    // A job hands its results over before it ends: once none is pending, every
    // result is counted among the undelivered.
    return Bus.Pending() == 0 && undelivered_ == 0 && !Sequences.Busy() && !connecting_ && !snapshot_;
}

// The timers and the controls' events, each handler run through Run().
void TForm1::Run(const std::function<void()>& work) {
    ++depth_;
    // The error box is shown after the handler's exception is done with: its
    // event loop runs other handlers, which may throw and catch in their turn.
    std::optional<QString> failure;
    try {
        work();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(PolishText(e));
    } catch (...) {
        failure = QStringLiteral("nieznany błąd");
    }
    if (failure) ShowError(*failure);
    ShowPortGone();
    if (--depth_ > 0) return;
    RunPendingChoice();
    if (depth_ == 0 && closePending_) {
        closePending_ = false;
        close();
    }
}

void TForm1::WireHandlers() {
    Timer1 = new QTimer(this);
    stbTimer = new QTimer(this);
    stbTimer->setInterval(3000);
    stbTimer->setSingleShot(true);  // restarted by every message (Say)
    txTimer = new QTimer(this);
    rxTimer = new QTimer(this);
    txTimer->setInterval(kLedShortMs);
    rxTimer->setInterval(kLedShortMs);
    HighlightTimer = new QTimer(this);
    HighlightTimer->setSingleShot(true);
    HighlightTimer->setInterval(kHighlightMs);
    pauseTimer_ = new QTimer(this);
    pauseTimer_->setSingleShot(true);
    connect(pauseTimer_, &QTimer::timeout, this, [this] { Run([this] { Sequences.PauseOver(); }); });
    connect(stbTimer, &QTimer::timeout, this, [this] { Run([this] { stbTimerTimer(); }); });
    // An indicator goes grey when its time is up; the highlight ends likewise.
    for (const TLed led : {TLed::Tx, TLed::Rx})
        connect(LedTimer(led), &QTimer::timeout, this, [this, led] {
            SetLed(led, kIdleGrey);
            EnableLedTimer(led, false);
        });
    connect(HighlightTimer, &QTimer::timeout, this, [this] {
        HighlightTimer->stop();
        HighlightNode = nullptr;
        Model->Refresh();
    });
    JournalTimer = new QTimer(this);
    JournalTimer->setInterval(kJournalSyncMs);
    connect(JournalTimer, &QTimer::timeout, this, [this] {
        if (journal_) JournalChanged(journal_->Tick());
    });

    // The user's choices.
    connect(ComCBox, &TChoiceBox::Chosen, this, [this] { Run([this] { ComCBoxSelect(); }); });
    // The lists are made anew each time they open: an adapter plugged in meanwhile is there.
    connect(ComCBox, &TChoiceBox::Opening, this, [this] { Run([this] { ComCBoxEnter(); }); });
    connect(cbxDevice, &TChoiceBox::Opening, this, [this] { Run([this] { cbxDeviceEnter(); }); });
    connect(cbxBaud, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxBaudSelect(); }); });
    connect(cbxParity, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxParitySelect(); }); });
    connect(eWait, &QLineEdit::editingFinished, this, [this] { Run([this] { eWaitExit(); }); });
    connect(eGap, &QLineEdit::editingFinished, this, [this] { Run([this] { eGapExit(); }); });
    connect(cbEcho, &QCheckBox::toggled, this, [this] { Run([this] { cbEchoClick(); }); });
    auto* read = new QAction(this);
    read->setShortcut(Qt::Key_F5);  // reads the current register or group, as a double-click on its name
    addAction(read);
    connect(read, &QAction::triggered, this, [this] {
        Run([this] {
            VTClick();
            VTColumnDblClick(kColName);
        });
    });
    connect(btReset, &QPushButton::clicked, this, [this] { Run([this] { btResetClick(); }); });
    connect(cbMonitor, &QCheckBox::clicked, this, [this] { Run([this] { cbMonitorClick(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { Timer1Timer(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Run([this] { Button1Click(); }); });
    connect(btZapisz, &QPushButton::clicked, this, [this] { Run([this] { btZapiszClick(); }); });
    connect(eMed, &QLineEdit::textEdited, this, [this] { MeanSource = TMeanSource::Typed(); });
    connect(btWykres, &QPushButton::clicked, this, [this] { Run([this] { btWykresClick(); }); });
    auto* plot = new QAction(this);
    plot->setShortcut(Qt::Key_F6);
    addAction(plot);
    connect(plot, &QAction::triggered, this, [this] { Run([this] { btWykresClick(); }); });
    BuildSignalsMenu();
    connect(cbxDevice, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxDeviceSelect(); }); });
    connect(btSzukaj, &QToolButton::clicked, this, [this] { Run([this] { SzukajClick(); }); });
    connect(UnitList, &TUnitList::AddAsked, this, [this] { Run([this] { DodajBiezacaClick(); }); });
    connect(UnitList, &TUnitList::UnitChosen, this, [this](const TLineUnit& unit) { Run([&] { UnitChosen(unit); }); });
}


void TForm1::FormCreate() {
    // 1. Numbers: the core converts and formats with the decimal comma, whatever
    //    the process locale.
    // 2. Walk mode is off: no sequence runs.
    // 3. The tree starts empty; every node carries its record.
    // 4. Time stamps: hh:mm:ss on the 24-hour clock (TimeOfDay).
    // 5. The request lines live in the transaction.
    // 6. Margins of the result pane: 10 left and top, 15 right, 10 bottom.
    Memo1->SetMargins(10, 10, 15, 10);
    Memo1->ClearLines();
    Memo1->viewport()->update();
    // 7. The save dialog opens in the program's folder.
    // 8. The results of a session that did not close cleanly are kept, and this
    //    window's results go to a journal of their own as they come.
    StartJournal();
    // 9. The settings of the last clean close, unless the defaults were asked for.
    startSettings_ = options_.DefaultSettings ? TWindowSettings{} : ReadSettings(SettingsFilePath());
    ApplySettings(startSettings_);
}

void TForm1::FormActivate() {
    cbxParity->setCurrentIndex(startSettings_.Parity);
    SelectOrType(cbxBaud, startSettings_.Baud);
}

bool TForm1::FormClose() {
    if (Memo1->HasLines()) {
        const TLogSave saved = SaveLog(program_, ResultBytes(), !logWritten_);
        if (!saved.Message.empty()) ShowError(QString::fromStdString(saved.Message));
        if (!saved.Saved) return false;  // the journal stays, with every line
    }
    // A clean close: the next start takes these settings.
    WriteSettings(CurrentSettings(), SettingsFilePath());
    // The log holds every line: the journal is no longer needed.
    if (journal_) journal_->Discard();
    journal_.reset();
    JournalTimer->stop();
    Sequences.Stop();
    CancelScan();
    if (snapshot_) {
        snapshot_->Cancelled = true;
        Transaction.Abandon();
    }
    Trend->StopSet();
    Trend->SetRecording(false);
    Trend->close();
    Timer1->stop();
    if (portOpen_) {
        Bus.Post([](TPort& port, TWire& wire) {
            port.ClosePort();
            wire.Forget();
        });
        portOpen_ = false;
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (depth_ > 0) {
        // Under a running handler (a reply's event processing): end what runs and
        // close once it has returned.
        closePending_ = true;
        Sequences.Stop();
        event->ignore();
        return;
    }
    bool closed = false;
    Run([&] { closed = FormClose(); });
    if (closed)
        event->accept();
    else
        event->ignore();
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
        activated_ = true;
        Run([this] { FormActivate(); });
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // Not when focus comes back from the list's own drop-down.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason) {
            if (watched == ComCBox) Run([this] { ComCBoxEnter(); });
            if (watched == cbxDevice) Run([this] { cbxDeviceEnter(); });
        }
    } else if (watched == VT && event->type() == QEvent::KeyPress) {
        // F2 or Enter on a register opens its value, as a double-click on the value does
        // (while a value is edited, the keys go to its editor).
        const int key = static_cast<QKeyEvent*>(event)->key();
        TNode* node = Model->NodeOf(VT->currentIndex());
        if (node && (key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            Run([&] { EditValue(node); });
            return true;
        }
    } else if (watched == VT->viewport() &&
               (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        if (event->type() == QEvent::MouseButtonRelease) {
            Run([this] { VTClick(); });
        } else {
            const QPoint at = mouse->position().toPoint();
            const int column = VT->header()->logicalIndexAt(at.x());
            Run([&] { VTColumnDblClick(column, at); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace vyx::ui
