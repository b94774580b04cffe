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
#include <QTreeWidget>

#include "ui/CutLabel.h"
#include "ui/FormSupport.h"
#include "ui/LayoutParts.h"
#include "ui/RegisterModel.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/TreeLook.h"
#include "ui/TrendWindow.h"
#include "ui/UnitList.h"
#include "ui/WarningArea.h"
#include "ui/WindowSizes.h"

namespace vyx::ui {
namespace {

constexpr int kCommLinesKept = 20000;  // the communication pane is not logged

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
    serwis->addAction(QStringLiteral("Szukaj urządzeń…"), this, [this] { Run([this] { SzukajClick(); }); });
    serwis->addSeparator();
    serwis->addAction(QStringLiteral("Stan zastany…"), this, [this] { Run([this] { StanZastanyClick(); }); });
    serwis->addAction(QStringLiteral("Stan pozostawiony…"), this,
                      [this] { Run([this] { StanPozostawionyClick(); }); });
    serwis->addSeparator();
    serwis->addAction(QStringLiteral("Raport serwisowy…"), this, [this] { Run([this] { RaportClick(); }); });
    serwis->addAction(QStringLiteral("Historia jednostki…"), this, [this] { Run([this] { HistoriaClick(); }); });

    auto* central = new QWidget;
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    // Tree pane.
    VT = new QTreeView;
    VT->setFixedWidth(kTreeWidth);
    VT->setFont(MonoFont());
    VT->setToolTip(QStringLiteral("Okno rejestrów"));
    Model = new TRegisterModel(Tree, HighlightNode, this);
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
    VT->installEventFilter(this);  // F2 and Enter
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
    // The units on the line above the tree, as wide as the tree is.
    auto* left = new QWidget;
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->setSpacing(0);
    UnitList = new TUnitList;
    UnitList->setFixedHeight(kUnitListHeight);
    leftColumn->addWidget(UnitList);
    leftColumn->addWidget(VT, 1);
    row->addWidget(left);

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
    row->setStretchFactor(left, 1);  // a narrowed tree shares the width with the panes

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

    BuildPanel(column);

    setCentralWidget(central);
    Trend = new TTrendWindow(boxes_, this);
    // A round lights TX and RX as one exchange does.
    connect(Trend, &TTrendWindow::RoundExchanged, this,
            [this](const std::vector<std::u16string>& lines, bool sent, bool heard) {
                for (const std::u16string& line : lines) AppendCommLine(line);
                if (!sent) return;
                RequestSent();
                ExchangeEnded(heard);
            });
    Trend->UseBus(Bus, [this] {
        TLineSettings line = Session.Line;
        line.Line = Transaction.Line();
        return line;
    });
    // Said where it stays until the next message; monitoring goes on.
    connect(Trend, &TTrendWindow::RecordingStopped, this,
            [this](const QString& why) { stWarning->SetWarning(TWarningSlot::Recording, why); });

    // Status bar with one text area.
    stBar = new QLabel;
    statusBar()->addWidget(stBar, 1);
    stWarning = new TWarningArea;
    statusBar()->addPermanentWidget(stWarning);
    stReason = new QLabel;
    stReason->setContentsMargins(0, 0, 6, 0);
    statusBar()->addPermanentWidget(stReason);
    statusBar()->setFixedHeight(kStatusHeight);
    statusBar()->setSizeGripEnabled(false);

    // The unit list comes after the tree in the keyboard's order, before the
    // panes: the panel's order, and the way from the tree back to it, stay.
    QWidget::setTabOrder(VT, UnitList->View);
    QWidget::setTabOrder(UnitList->View, UnitList->btDodaj);
    QWidget::setTabOrder(UnitList->btDodaj, UnitList->btUsun);
    QWidget::setTabOrder(UnitList->btUsun, Memo1);

    // The client area is 1071 x 809 below the menu; the window may grow, never shrink below it.
    fullMinimum_ = QSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(fullMinimum_);
    resize(fullMinimum_);
}

}  // namespace vyx::ui
