// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls and their layout: the tree, the panes, the control
// panel's groups and the status bar, with the names and captions the team uses.
#include "ui/MainWindow.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>

#include "ui/CutLabel.h"
#include "ui/FormSupport.h"
#include "ui/RegisterModel.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/TreeLook.h"
#include "ui/TrendWindow.h"
#include "ui/WindowSizes.h"

namespace vyx::ui {
namespace {

constexpr int kCommLinesKept = 20000;  // the communication pane is not logged

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

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

QGroupBox* Group(const QString& caption, int height) {
    auto* group = new QGroupBox(caption);
    group->setFixedHeight(height);
    return group;
}

}  // namespace

void TForm1::BuildControls() {
    setWindowTitle(QStringLiteral("vyx-cfg"));
    setFont(WindowFont());

    // Main menu.
    QMenu* info = menuBar()->addMenu(QStringLiteral("Informacja"));
    QAction* version =
        info->addAction(QStringLiteral("Wersja programu"), this, [this] { Run([this] { Wersjaprogramu1Click(); }); });
    version->setShortcut(Qt::Key_F1);
    addAction(version);  // the shortcut works with the menu closed
    QMenu* serwis = menuBar()->addMenu(QStringLiteral("Serwis"));
    serwis->addAction(QStringLiteral("Stan zastany…"), this, [this] { Run([this] { StanZastanyClick(); }); });
    serwis->addAction(QStringLiteral("Stan pozostawiony…"), this,
                      [this] { Run([this] { StanPozostawionyClick(); }); });
    serwis->addSeparator();
    serwis->addAction(QStringLiteral("Raport serwisowy…"), this, [this] { Run([this] { RaportClick(); }); });

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
    row->setStretchFactor(VT, 1);  // a narrowed tree shares the width with the panes

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(QStringLiteral("Wyczyść"), this, [this] { Run([this] { Wyczy1Click(); }); });
    PopupMenu1->addAction(QStringLiteral("Kopiuj"), this, [this] { Run([this] { Kopiuj1Click(); }); });
    QAction* save =
        PopupMenu1->addAction(QStringLiteral("Zapisz do pliku"), this, [this] { Run([this] { Zapiszdopliku1Click(); }); });
    save->setShortcut(QKeySequence::Save);
    addAction(save);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->addAction(QStringLiteral("Wyczyść"), this, [this] { Run([this] { Wyczy2Click(); }); });
    connect(Memo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(Memo1->mapToGlobal(at)); });
    connect(Memo2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu2->popup(Memo2->mapToGlobal(at)); });

    // Control panel, which scrolls on a screen too small for it.
    auto* panel = new QWidget;
    panel->setFixedWidth(kPanelWidth);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(4);
    PanelScroll = new QScrollArea;
    PanelScroll->setFrameShape(QFrame::NoFrame);
    PanelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PanelScroll->setWidgetResizable(true);
    PanelScroll->setFixedWidth(kPanelWidth);
    PanelScroll->setWidget(panel);
    row->addWidget(PanelScroll);

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
    pol->addWidget(FieldLabel(QStringLiteral("Czas odp.:")), 4, 0);
    // The reply wait and the gap share a row, halves of it beside the gap's label:
    // the wait begins where the fields above begin, the gap ends where they end.
    auto* times = new QHBoxLayout;
    times->setContentsMargins(0, 0, 0, 0);
    times->setSpacing(pol->horizontalSpacing());
    // Never narrower than their largest number, whatever the font makes of the
    // labels beside them: the group then widens rather than hide digits.
    for (QLineEdit* edit : {eWait, eGap})
        edit->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance(QStringLiteral("5000")) + 8);
    times->addWidget(eWait, 1);
    times->addWidget(FieldLabel(QStringLiteral("Przerwa:")));
    times->addWidget(eGap, 1);
    pol->addLayout(times, 4, 2);
    // Under the labels, beside "Reset".
    pol->addWidget(cbEcho, 5, 0, 1, 2);
    pol->addWidget(btReset, 5, 2);
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

    setCentralWidget(central);
    Trend = new TTrendWindow(boxes_, this);

    // Status bar with one text area.
    stBar = new QLabel;
    statusBar()->addWidget(stBar, 1);
    stReason = new QLabel;
    stReason->setContentsMargins(0, 0, 6, 0);
    statusBar()->addPermanentWidget(stReason);
    statusBar()->setFixedHeight(kStatusHeight);
    statusBar()->setSizeGripEnabled(false);

    // The client area is 1071 x 809 below the menu; the window may grow, never shrink below it.
    fullMinimum_ = QSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(fullMinimum_);
    resize(fullMinimum_);
}

}  // namespace vyx::ui
