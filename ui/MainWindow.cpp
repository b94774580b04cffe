#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QAbstractItemView>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "registers/Error.h"
#include "registers/RegisterFile.h"
#include "registers/SafeSave.h"
#include "registers/RegData.h"
#include "registers/TreeRules.h"
#include "registers/Text.h"
#include "ui/Boxes.h"
#include "ui/ChoiceBox.h"
#include "ui/Journal.h"
#include "ui/LogFile.h"
#include "ui/RegisterModel.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/TreeLook.h"

namespace vyx::ui {
namespace fs = std::filesystem;

namespace {

constexpr int kClientWidth = 1071;
constexpr int kClientHeight = 809;
constexpr int kTreeWidth = 401;
constexpr int kPanelWidth = 270;
constexpr int kResultHeight = 433;
constexpr int kStatusHeight = 23;
constexpr int kCommLinesKept = 20000;  // the communication pane is not logged
constexpr int kJournalSyncMs = 1000;

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

QString Q(std::u16string_view s) { return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size())); }
QColor ToQColor(TColor c) { return QColor(c.R, c.G, c.B); }

void SortWithoutCase(QStringList& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
}

// Replaces the entries of an editable list; the text in its field stays.
void Refill(TChoiceBox* box, QStringList entries) {
    SortWithoutCase(entries);
    const QString text = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
    box->setEditText(text);
    // Long paths show whole in the drop-down, or at least their ends.
    int widest = 0;
    for (const QString& entry : entries) widest = std::max(widest, box->fontMetrics().horizontalAdvance(entry));
    box->view()->setMinimumWidth(widest + 2 * box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    box->view()->setTextElideMode(Qt::ElideLeft);
}

QFont WindowFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(13);
    return f;
}

QFont MonoFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Cousine"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    f.setPixelSize(13);
    f.setStyleHint(QFont::Monospace);
    return f;
}

QLabel* FieldLabel(const QString& text) {
    auto* label = new QLabel(text);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, kNavy);
    label->setPalette(p);
    return label;
}

TChoiceBox* Combo(bool editable, const QStringList& items = {}) {
    auto* box = new TChoiceBox(editable);
    box->addItems(items);
    return box;
}

// A file name as the list shows it: UTF-8, else (a name copied from a Windows
// disk) Windows-1250.
QString DisplayName(const fs::path& name) {
    const std::string bytes = name.string();
    const QString utf8 = QString::fromUtf8(bytes);
    if (!utf8.contains(QChar::ReplacementCharacter) || bytes.find("\xEF\xBF\xBD") != std::string::npos) return utf8;
    return Q(FromCp1250(bytes));
}

QGroupBox* Group(const QString& caption, int height) {
    auto* group = new QGroupBox(caption);
    group->setFixedHeight(height);
    return group;
}

}  // namespace

QString ModeSuffix(int parityIndex) {
    static const char* const kSuffix[] = {",e,8,1", ",o,8,1", ",n,8,2", ",n,8,1"};
    if (parityIndex < 0 || parityIndex > 3) return {};
    return QString::fromLatin1(kSuffix[parityIndex]);
}

TForm1::TForm1(TBoxes& boxes, fs::path program, QWidget* parent)
    : QMainWindow(parent), boxes_(boxes), program_(std::move(program)) {
    setWindowTitle(QStringLiteral("vyx-cfg"));
    setFont(WindowFont());
    BuildControls();
    Transaction.Tree = &Tree;
    FormCreate();
}

TForm1::~TForm1() {
    // The controls outlive this object's members: while they are torn down (a
    // focused field losing its focus) nothing they report may reach a handler.
    for (QObject* child : findChildren<QObject*>()) {
        child->removeEventFilter(this);
        QObject::disconnect(child, nullptr, this, nullptr);
    }
}

void TForm1::BuildControls() {
    // Main menu.
    QMenu* info = menuBar()->addMenu(QStringLiteral("Informacja"));
    info->addAction(QStringLiteral("Wersja programu"), this, [this] { Run([this] { Wersjaprogramu1Click(); }); });

    auto* central = new QWidget;
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    // Tree pane.
    VT = new QTreeView;
    VT->setFixedWidth(kTreeWidth);
    VT->setFont(MonoFont());
    VT->setToolTip(QStringLiteral("Okno rejestrów"));
    Model = new TRegisterModel(Tree, Transaction.HighlightNode, this);
    VT->setModel(Model);
    VT->setItemDelegate(new TTreeDelegate(VT));
    auto* treeStyle = new TTreeStyle;
    treeStyle->setParent(this);
    VT->setStyle(treeStyle);
    VT->setRootIsDecorated(true);
    VT->setUniformRowHeights(true);
    VT->setAnimated(false);
    VT->setExpandsOnDoubleClick(false);
    VT->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VT->setSelectionMode(QAbstractItemView::SingleSelection);
    VT->setSelectionBehavior(QAbstractItemView::SelectRows);
    VT->header()->setSectionsMovable(true);
    VT->header()->setStretchLastSection(false);
    VT->header()->resizeSection(kColName, 180);
    VT->header()->resizeSection(kColAddress, 80);
    VT->header()->resizeSection(kColValue, 137);
    QPalette treePalette = VT->palette();
    treePalette.setColor(QPalette::Base, treePalette.color(QPalette::Button));
    VT->setPalette(treePalette);
    VT->viewport()->installEventFilter(this);
    connect(VT, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (TNode* node = Model->NodeOf(index)) {
            node->States |= kStateExpanded;
            Run([&] { VTExpanding(node); });
        }
        // Show the children: the last one, then the node itself if they do not all fit.
        const int n = Model->rowCount(index);
        if (n > 0) VT->scrollTo(Model->index(n - 1, 0, index), QAbstractItemView::EnsureVisible);
        VT->scrollTo(index, QAbstractItemView::EnsureVisible);
    });
    connect(VT, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (TNode* node = Model->NodeOf(index)) node->States &= static_cast<uint16_t>(~kStateExpanded);
    });
    connect(Model, &TRegisterModel::TickRequested, this, [this](TNode* node) { Run([&] { VTChecking(node); }); });
    connect(Model, &TRegisterModel::ValueEdited, this, [this](TNode* node, const QString& text) {
        Run([&] {
            VTNewText(node, kColValue, text);
            VTEdited(node, kColValue);
        });
    });
    row->addWidget(VT);

    // Text panes.
    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Memo1 = new TTextPane;
    Memo2 = new TTextPane;
    Memo2->setReadOnly(true);
    Memo2->KeepLastLines(kCommLinesKept);
    for (TTextPane* pane : {Memo1, Memo2}) {
        pane->setFont(MonoFont());
        pane->setToolTip(QStringLiteral("Okno logów"));
        pane->setContextMenuPolicy(Qt::CustomContextMenu);
        Splitter1->addWidget(pane);
    }
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kResultHeight, kClientHeight - kStatusHeight - kResultHeight - 3});
    row->addWidget(Splitter1, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(QStringLiteral("Wyczyść"), this, [this] { Run([this] { Wyczy1Click(); }); });
    PopupMenu1->addAction(QStringLiteral("Kopiuj"), this, [this] { Run([this] { Kopiuj1Click(); }); });
    PopupMenu1->addAction(QStringLiteral("Zapisz do pliku"), this, [this] { Run([this] { Zapiszdopliku1Click(); }); });
    PopupMenu2 = new QMenu(this);
    PopupMenu2->addAction(QStringLiteral("Wyczyść"), this, [this] { Run([this] { Wyczy2Click(); }); });
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(Memo1->mapToGlobal(at)); });
    connect(Memo2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu2->popup(Memo2->mapToGlobal(at)); });

    // Control panel.
    auto* panel = new QWidget;
    panel->setFixedWidth(kPanelWidth);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(4);
    row->addWidget(panel);

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
    btReset = new QPushButton(QStringLiteral("Reset"));
    pol->addWidget(FieldLabel(QStringLiteral("Port:")), 0, 0);
    pol->addWidget(shConnect, 0, 1);
    pol->addWidget(ComCBox, 0, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Szybkość:")), 1, 0);
    pol->addWidget(cbxBaud, 1, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Parzystość:")), 2, 0);
    pol->addWidget(cbxParity, 2, 2);
    pol->addWidget(FieldLabel(QStringLiteral("Adres:")), 3, 0);
    pol->addWidget(eSlave, 3, 2);
    pol->addWidget(btReset, 4, 2);
    pol->setColumnStretch(2, 1);
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
    lbReg = new QLabel(QStringLiteral("----"));
    ePeriod = new QLineEdit(QStringLiteral("2000"));
    cbMonitor = new QCheckBox(QStringLiteral("Monitorowanie"));
    cbxScale = new QCheckBox(QStringLiteral("Skalowanie"));
    cbxScale->setVisible(false);
    cbxScale->setEnabled(false);
    mon->addWidget(FieldLabel(QStringLiteral("Rejestr:")), 0, 0);
    mon->addWidget(lbReg, 0, 1);
    mon->addWidget(FieldLabel(QStringLiteral("Okres:")), 1, 0);
    mon->addWidget(ePeriod, 1, 1);
    mon->addWidget(cbMonitor, 2, 1);
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

    setCentralWidget(central);

    // Status bar with one text area.
    stBar = new QLabel;
    statusBar()->addWidget(stBar, 1);
    stReason = new QLabel;
    stReason->setContentsMargins(0, 0, 6, 0);
    statusBar()->addPermanentWidget(stReason);
    statusBar()->setFixedHeight(kStatusHeight);
    statusBar()->setSizeGripEnabled(false);

    // Timers.
    Timer1 = new QTimer(this);
    stbTimer = new QTimer(this);
    stbTimer->setInterval(3000);
    txTimer = new QTimer(this);
    rxTimer = new QTimer(this);
    txTimer->setInterval(kLedShortMs);
    rxTimer->setInterval(kLedShortMs);
    HighlightTimer = new QTimer(this);
    HighlightTimer->setSingleShot(true);
    HighlightTimer->setInterval(kHighlightMs);
    connect(stbTimer, &QTimer::timeout, this, [this] { Run([this] { stbTimerTimer(); }); });
    connect(txTimer, &QTimer::timeout, this, [this] { Run([this] { Transaction.txTimerTimer(); }); });
    connect(rxTimer, &QTimer::timeout, this, [this] { Run([this] { Transaction.rxTimerTimer(); }); });
    connect(HighlightTimer, &QTimer::timeout, this, [this] { Run([this] { Transaction.EndHighlight(); }); });
    JournalTimer = new QTimer(this);
    JournalTimer->setInterval(kJournalSyncMs);
    connect(JournalTimer, &QTimer::timeout, this, [this] {
        if (journal_) journal_->Sync();
    });

    // The user's choices.
    connect(ComCBox, &TChoiceBox::Chosen, this, [this] { Run([this] { ComCBoxSelect(); }); });
    connect(cbxBaud, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxBaudSelect(); }); });
    connect(cbxParity, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxParitySelect(); }); });
    connect(btReset, &QPushButton::clicked, this, [this] { Run([this] { btResetClick(); }); });
    connect(cbMonitor, &QCheckBox::clicked, this, [this] { Run([this] { cbMonitorClick(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { Timer1Timer(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Run([this] { Button1Click(); }); });
    connect(btZapisz, &QPushButton::clicked, this, [this] { Run([this] { btZapiszClick(); }); });
    connect(cbxDevice, &TChoiceBox::Chosen, this, [this] { Run([this] { cbxDeviceSelect(); }); });

    // The client area is 1071 x 809 below the menu; the window may grow, never shrink below it.
    const QSize client(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(client);
    resize(client);
}

// ---- Start-up, activation, closing ----

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
    saveFolder_ = QString::fromStdString(program_.parent_path().string()) + u'/';
    // 8. The results of a session that did not close cleanly are kept, and this
    //    window's results go to a journal of their own as they come.
    StartJournal();
}

void TForm1::StartJournal() {
    const fs::path folder = StateFolder();
    for (const fs::path& recovered : RecoverJournals(folder)) {
        const QString text = QStringLiteral("odzyskano wyniki poprzedniej sesji: ") + QString::fromStdString(recovered.string());
        stBar->setText(text);
        AppendResultLine(text.toStdU16String());
    }
    try {
        journal_ = std::make_unique<TJournal>(folder);
        // What was said above goes into the new journal too.
        for (const QString& line : Memo1->Lines()) journal_->Append(line.toStdU16String());
    } catch (const std::exception& e) {
        stBar->setText(QStringLiteral("Brak dziennika wyników: ") + QString::fromUtf8(e.what()));
    }
    JournalTimer->start();
}

void TForm1::FormActivate() {
    cbxParity->setCurrentIndex(0);
    cbxBaud->setCurrentIndex(1);
}

bool TForm1::FormClose() {
    if (Memo1->HasLines()) {
        const TLogSave saved = SaveLog(program_, ResultBytes());
        if (!saved.Message.empty()) ShowError(QString::fromStdString(saved.Message));
        if (!saved.Saved) return false;  // the journal stays, with every line
    }
    // The log holds every line: the journal is no longer needed.
    if (journal_) journal_->Discard();
    journal_.reset();
    JournalTimer->stop();
    Sequences.Stop();
    Timer1->stop();
    if (Port.Com.Opened) Port.ClosePort();
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

// ---- Panes, menus, status bar ----

void TForm1::Wyczy1Click() {
    Memo1->ClearLines();
    Memo2->ClearLines();
}

void TForm1::Kopiuj1Click() { Memo1->selectAll(); }

void TForm1::Zapiszdopliku1Click() {
    const QString name = boxes_.AskSaveFileName(this, saveFolder_);
    if (name.isEmpty()) return;
    SaveFileBytes(fs::path(name.toStdString()), ResultBytes());
}

std::string TForm1::ResultBytes() const {
    std::vector<std::u16string> lines;
    for (const QString& line : Memo1->Lines()) lines.push_back(line.toStdU16String());
    return LogBytes(lines);
}

void TForm1::Wyczy2Click() { Memo2->ClearLines(); }

void TForm1::Wersjaprogramu1Click() { ShowMessage(u"Program vyx-cfg\r\nwersja: V5 (03-24)"); }

void TForm1::stbTimerTimer() { stBar->clear(); }

void TForm1::ShowError(const QString& text) { boxes_.ShowError(this, text); }

void TForm1::ShowPortGone() {
    if (Port.Com.Opened || shConnect->Color() != ToQColor(kGreen)) return;
    shConnect->SetColor(ToQColor(kRed));
    stBar->setText(QStringLiteral("Port zamknięty!"));
}

// ---- Connection panel ----

void TForm1::ComCBoxEnter() {
    QStringList entries{Q(kDisconnected)};
    for (const std::string& port : ListPorts()) entries << QString::fromStdString(port);
    Refill(ComCBox, entries);
}

bool TForm1::DeferWhileBusy(void (TForm1::*choice)()) {
    if (!inReply_ && !Sequences.Busy()) return false;
    pendingChoice_ = choice;
    return true;
}

void TForm1::RunPendingChoice() {
    if (!pendingChoice_) return;
    const auto choice = std::exchange(pendingChoice_, nullptr);
    Run([&] { (this->*choice)(); });
}

void TForm1::ComCBoxSelect() {
    if (DeferWhileBusy(&TForm1::ComCBoxSelect)) return;
    if (ComCBox->currentText() == Q(kDisconnected))
        Disconnect();
    else
        Connect();
    // A running timer keeps its period.
    if (!stbTimer->isActive()) stbTimer->start();
}

void TForm1::Connect() {
    if (Port.Com.Opened) Disconnect();
    const QString name = ComCBox->currentText();
    Port.Com.PortPath = PortPathFromName(name.toStdString());
    Port.Com.ModeText = (cbxBaud->currentText() + ModeSuffix(cbxParity->currentIndex())).toStdString();
    Port.Com.Opened = Port.OpenPort(Port.Com.PortPath, Port.Com.ModeText);
    if (!Port.Com.Opened) {
        shConnect->SetColor(ToQColor(kRed));
        return;
    }
    stBar->setText(QStringLiteral("Port szeregowy otwarty: ") + name + QStringLiteral(" @") +
                   QString::fromStdString(Port.Com.ModeText));
    if (Port.SetTimeouts(30, 0, 40, 0, 30)) {
        shConnect->SetColor(ToQColor(kGreen));
    } else {
        Port.Com.TimeoutFault = 1;
        Port.ClosePort();
        shConnect->SetColor(ToQColor(kRed));
    }
}

void TForm1::Disconnect() {
    if (!Port.Com.Opened) return;
    Port.ClosePort();
    shConnect->SetColor(ToQColor(kIdleGrey));
    stBar->setText(QStringLiteral("Port zamknięty!"));
}

void TForm1::cbxBaudSelect() {
    if (!Port.Com.Opened || DeferWhileBusy(&TForm1::cbxBaudSelect)) return;
    Disconnect();
    Connect();
}

void TForm1::cbxParitySelect() { cbxBaudSelect(); }

void TForm1::btResetClick() { Sequences.btResetClick(SlaveText()); }

std::u16string TForm1::SlaveText() const { return eSlave->text().toStdU16String(); }

// ---- Monitoring and calibration ----

void TForm1::cbMonitorClick() {
    Sequences.cbMonitorClick(cbMonitor->isChecked(), ePeriod->text().toStdU16String(),
                             lbReg->text().toStdU16String(), SlaveText());
}

void TForm1::Timer1Timer() { Sequences.Timer1Timer(); }

void TForm1::Button1Click() {
    Sequences.Button1Click(cbxKalibracja->currentText().toStdU16String(), eCount->text().toStdU16String(),
                           SlaveText());
}

void TForm1::btZapiszClick() {
    Sequences.btZapiszClick(cbxKalibracja->currentText().toStdU16String(), eMed->text().toStdU16String(),
                            SlaveText());
}

// ---- Device files ----

QStringList TForm1::ListDeviceFiles() const {
    QStringList names;
    for (const auto& [name, path] : ListDeviceFilePaths()) names << name;
    SortWithoutCase(names);
    return names;
}

std::map<QString, fs::path> TForm1::ListDeviceFilePaths() const {
    // Each entry keeps the name the system gave it, which need not be UTF-8.
    std::map<QString, fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(program_.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const QString name = DisplayName(it->path().filename());
        if (name.endsWith(QStringLiteral(".dat"), Qt::CaseInsensitive)) files.emplace(name, it->path());
    }
    return files;
}

void TForm1::cbxDeviceEnter() {
    deviceFiles_ = ListDeviceFilePaths();
    Refill(cbxDevice, ListDeviceFiles());
}

fs::path TForm1::DeviceFilePath(const QString& name) const {
    const auto listed = deviceFiles_.find(name);
    if (listed != deviceFiles_.end()) return listed->second;
    return program_.parent_path() / PathFromUtf8(name.toStdString());
}

void TForm1::cbxDeviceSelect() {
    if (DeferWhileBusy(&TForm1::cbxDeviceSelect)) return;
    const QString name = cbxDevice->currentText();
    if (name.isEmpty()) return;
    LoadDeviceFile(DeviceFilePath(name));
    const bool calibratable = name.contains(u'F', Qt::CaseSensitive);
    gbKal->setVisible(calibratable);
    gbKal->setEnabled(calibratable);
    cbxScale->setVisible(calibratable);
}

void TForm1::LoadDeviceFile(const fs::path& path) {
    // The bytes first: a file that cannot be read changes nothing.
    const std::vector<uint8_t> bytes = ReadRegisterFileBytes(path);

    // Nothing may go on pointing into the old tree.
    Sequences.Stop();
    Transaction.CurrentNode = nullptr;
    Transaction.CurrentRecord = nullptr;
    Transaction.HighlightNode = nullptr;
    lbReg->setText(QStringLiteral("----"));
    struct Reset {
        TForm1& form;
        ~Reset() {
            form.Model->EndReset();
            form.ExpandAsTheFileSays();
        }
    };
    ++treeGeneration_;
    Model->BeginReset();  // also closes an open editor
    const Reset reset{*this};
    LoadRegisterBytes(Tree, bytes);
}

void TForm1::ExpandAsTheFileSays() {
    VT->setUpdatesEnabled(false);
    for (TNode* node = Tree.First(); node; node = Tree.NextNode(node))
        if ((node->States & kStateExpanded) && node->ChildCount() > 0) {
            const QModelIndex index = Model->IndexOf(node);
            if (index.isValid()) VT->setExpanded(index, true);
        }
    VT->setUpdatesEnabled(true);
}

// ---- Register tree ----

void TForm1::VTClick() {
    if (WalkMode()) return;
    TNode* node = Model->NodeOf(VT->currentIndex());
    if (!node) return;
    Transaction.CurrentNode = node;
    Transaction.CurrentRecord = &node->Record;
    lbReg->setText(Q(node->Record.Address) + QStringLiteral("  ") + Q(node->Record.Name));
}

void TForm1::VTColumnDblClick(int column, QPoint pointer) {
    if (!Port.Com.Opened || TreeBusy()) {
        // Said, so that nothing looks like a read that did not happen.
        stBar->setText(!Port.Com.Opened        ? QStringLiteral("Port zamknięty: najpierw wybierz port")
                       : Sequences.Monitoring() ? QStringLiteral("Trwa monitorowanie: najpierw je wyłącz")
                                                : QStringLiteral("Trwa komunikacja z urządzeniem: poczekaj na jej koniec"));
        if (!stbTimer->isActive()) stbTimer->start();
        return;
    }
    if (column == kColName) {
        Sequences.StartRead(Transaction.CurrentNode, SlaveText());
        // A finished walk leaves no current register.
        if (Transaction.CurrentNode) VT->collapse(Model->IndexOf(Transaction.CurrentNode));
    } else if (column == kColValue) {
        TNode* node = Model->NodeOf(VT->indexAt(pointer));
        if (!node || node != Model->NodeOf(VT->currentIndex())) return;
        if (GetAccessCode(node->Record.Access) != kAccessRW) {
            ShowMessage(u"rejestr tylko do odczytu");
            return;
        }
        if (VTEditing(node, kColValue)) VT->edit(Model->IndexOf(node, kColValue));
    }
}

bool TForm1::VTEditing(const TNode* node, int column) const {
    if (column != kColValue || !node) return false;
    const int access = GetAccessCode(node->Record.Access);
    return access != kAccessRO && access != kAccessGroup;
}

void TForm1::VTNewText(TNode* node, int column, const QString& text) {
    const std::u16string value = text.toStdU16String();
    if (node && column == kColValue && value != node->Record.Value) node->Record.Value = value;
}

void TForm1::VTEdited(TNode* node, int) {
    if (!node) return;
    VT->setCurrentIndex(Model->IndexOf(node));
    Highlight(node);
    // The node that was edited is written.
    AfterTreeEvent(node, &TForm1::WriteNode);
}

void TForm1::VTChecking(TNode* node) {
    if (!node || TreeBusy()) return;
    VT->setCurrentIndex(Model->IndexOf(node));
    const TTick tick = ApplyTick(Tree, *node);
    if (tick.Refused) {
        // It would show a value that is never sent.
        ShowMessage(u"rejestr tylko do odczytu");
        return;
    }
    if (tick.Current) Transaction.CurrentNode = tick.Current;
    if (tick.Written) {
        Highlight(tick.Written);
        AfterTreeEvent(tick.Written, &TForm1::WriteNode);
    }
    Model->Refresh();
}

void TForm1::VTExpanding(TNode* node) {
    if (UntickOnExpanding(Tree, *node)) Model->Refresh();
}

void TForm1::Highlight(TNode* node) {
    Transaction.HighlightNode = node;
    StartHighlightTimer();
    Model->Refresh();
}

bool TForm1::TreeBusy() const { return inReply_ || Sequences.Busy() || Sequences.Monitoring(); }

void TForm1::AfterTreeEvent(TNode* node, void (TForm1::*work)(TNode*)) {
    const uint64_t generation = treeGeneration_;
    QTimer::singleShot(0, this, [this, node, work, generation] {
        if (generation == treeGeneration_) Run([&] { (this->*work)(node); });
    });
}

void TForm1::WriteNode(TNode* node) {
    if (Sequences.Busy()) return;
    Transaction.CurrentNode = node;
    Sequences.WriteCurrentRegister(SlaveText());
}

// ---- What the transaction shows ----

void TForm1::ShowMessage(std::u16string_view text) { boxes_.ShowMessage(this, Q(text)); }
void TForm1::AppendCommLine(std::u16string_view line) { Memo2->AppendLine(Q(line)); }
void TForm1::AppendResultLine(std::u16string_view line) {
    Memo1->AppendLine(Q(line));
    if (journal_) journal_->Append(line);
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
void TForm1::StopHighlightTimer() { HighlightTimer->stop(); }

void TForm1::ProcessPendingEvents() {
    // The lists stay enabled (disabling a focused one would move the focus); a
    // choice made in them now waits until the transaction has ended.
    const bool outer = inReply_;
    inReply_ = true;
    QCoreApplication::processEvents();
    inReply_ = outer;
}

bool TForm1::MonitorTicked() const { return Sequences.Monitoring(); }

std::u16string TForm1::TimeOfDay() const {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdU16String();
}

void TForm1::BeginTreeUpdate() { VT->setUpdatesEnabled(false); }

void TForm1::EndTreeUpdate() {
    VT->setUpdatesEnabled(true);
    Model->Refresh();
}

void TForm1::RepaintTree() { Model->Refresh(); }

void TForm1::OnNextStep() { Sequences.OnNextStep(); }

void TForm1::OutcomeKnown(TOutcome outcome) {
    // A failed read has emptied the value: the tree shows it now, not at the next repaint.
    if (Transaction.CurrentNode) Model->NodeChanged(Transaction.CurrentNode);
    stReason->setText(
        QString::fromUtf8(OutcomeReason(outcome, Transaction.ExceptionCode, TLanguage::Polish)));
}

// ---- What the sequences show ----

void TForm1::ActivityChanged(TActivity now) {
    const TEnabledControls on = EnabledControlsFor(now);
    const std::pair<QWidget*, bool> controls[] = {
        {VT, on.Tree},          {Button1, on.Button1}, {btZapisz, on.btZapisz},
        {btReset, on.btReset},  {cbMonitor, on.cbMonitor}, {cbxDevice, on.cbxDevice},
        {ComCBox, on.ComCBox},  {cbxBaud, on.cbxBaud}, {cbxParity, on.cbxParity}};
    QWidget* focused = QApplication::focusWidget();
    for (const auto& [control, enabled] : controls)
        if (!enabled && focused && (control == focused || control->isAncestorOf(focused))) ParkFocus(focused);
    for (const auto& [control, enabled] : controls) control->setEnabled(enabled);
    if (now == TActivity::Idle) {
        RestoreFocus();
        // Whatever a sequence added is on the disk when it ends.
        if (journal_) journal_->Sync();
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

void TForm1::ShowMean(std::u16string_view text) { eMed->setText(Q(text)); }

void TForm1::Pause(int ms) {
    // The window keeps painting and answering between two readings; what the
    // user starts meanwhile is refused as during a reply.
    // It waits for events, never spins.
    const bool outer = inReply_;
    inReply_ = true;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    inReply_ = outer;
}

bool TForm1::ModalWindowOpen() const { return QApplication::activeModalWidget() != nullptr; }

void TForm1::SequenceInterrupted(std::u16string_view line) { AppendResultLine(line); }

}  // namespace vyx::ui
