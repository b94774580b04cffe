// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window's controls and their layout: the title and the span above the
// plot, the stability rule, the statistics, saving and recording beside it, the
// status line below, and what each control does.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/CutLabel.h"
#include "ui/SignalList.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {
namespace {

struct TSpanChoice {
    const char* Text;
    int Seconds;
};
constexpr TSpanChoice kSpans[] = {{"10 s", 10},       {"30 s", 30},       {"1 min", 60},  {"5 min", 300},
                                  {"10 min", 600},    {"30 min", 1800},   {"1 h", 3600}};

QLabel* Value() {
    auto* label = new QLabel;
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(90);
    return label;
}

}  // namespace

void TTrendWindow::BuildControls() {
    Plot = new TTrendPlot;
    lbTitle = new TCutLabel(QStringLiteral("brak odczytów: zaznacz „Monitorowanie” albo uruchom kalibrację"));
    QFont bold = lbTitle->font();
    bold.setBold(true);
    lbTitle->setFont(bold);

    cbxSpan = new QComboBox;
    for (const TSpanChoice& span : kSpans) cbxSpan->addItem(QString::fromUtf8(span.Text), span.Seconds);
    cbxSpan->setCurrentIndex(2);
    cbAuto = new QCheckBox(QStringLiteral("auto"));
    cbAuto->setChecked(true);
    cbAuto->setToolTip(QStringLiteral("Wykres podąża za najnowszymi odczytami"));
    cbClock = new QCheckBox(QStringLiteral("Czas zegarowy"));
    btCsv = new QPushButton(QStringLiteral("Zapisz CSV"));
    btImage = new QPushButton(QStringLiteral("Zapisz obraz"));

    auto* top = new QHBoxLayout;
    top->addWidget(lbTitle, 1);
    top->addWidget(new QLabel(QStringLiteral("Zakres:")));
    top->addWidget(cbxSpan);
    top->addWidget(cbAuto);
    top->addWidget(cbClock);

    // Statistics and the stability rule.
    eN = new QLineEdit(QStringLiteral("20"));
    eTolerance = new QLineEdit;
    eTolerance->setPlaceholderText(QStringLiteral("np. 0,5 lub 1%"));
    eTolerance->setToolTip(QStringLiteral("Dopuszczalny rozrzut ostatnich N odczytów: w jednostkach rejestru "
                                          "albo w % średniej"));
    auto* rule = new QFormLayout;
    rule->addRow(QStringLiteral("N:"), eN);
    rule->addRow(QStringLiteral("Tolerancja:"), eTolerance);
    lbCount = Value();
    lbMin = Value();
    lbMax = Value();
    lbMean = Value();
    lbSigma = Value();
    lbSpread = Value();
    auto* statsBox = gbStats = new QGroupBox(QStringLiteral(" Ostatnie N odczytów "));
    auto* stats = new QFormLayout(statsBox);
    stats->addRow(QStringLiteral("liczba:"), lbCount);
    stats->addRow(QStringLiteral("min:"), lbMin);
    stats->addRow(QStringLiteral("max:"), lbMax);
    stats->addRow(QStringLiteral("średnia:"), lbMean);
    stats->addRow(QStringLiteral("σ:"), lbSigma);
    stats->addRow(QStringLiteral("rozrzut:"), lbSpread);

    btRecord = new QPushButton(QStringLiteral("Nagrywaj do plików…"));
    btRecord->setCheckable(true);
    btRecord->setToolTip(QStringLiteral("Każdy odczyt od razu do pliku CSV w wybranym folderze; "
                                        "nowy plik co dzień lub co podaną liczbę MB"));
    eFileMb = new QLineEdit;
    eFileMb->setPlaceholderText(QStringLiteral("co dzień"));
    auto* recordBox = new QGroupBox(QStringLiteral(" Nagrywanie "));
    auto* recording = new QFormLayout(recordBox);
    recording->addRow(QStringLiteral("Nowy plik co MB:"), eFileMb);
    recording->addRow(btRecord);

    auto* side = new QVBoxLayout;
    side->addLayout(rule);
    side->addWidget(statsBox);
    side->addWidget(btCsv);
    side->addWidget(btImage);
    side->addWidget(recordBox);
    side->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(Plot, 1);
    middle->addLayout(side);

    // The set of signals: its period and "Start", the list, the markers' table.
    ePeriod = new QLineEdit(QStringLiteral("1000"));
    ePeriod->setMaximumWidth(70);
    ePeriod->setToolTip(QStringLiteral("Co ile ms odczytać wszystkie sygnały (co najmniej %1)").arg(kMinimumPeriodMs));
    btStart = new QPushButton(QStringLiteral("Start"));
    btStart->setCheckable(true);
    btStart->setToolTip(QStringLiteral("Odczytuje sygnały z listy co okres, jeden po drugim"));
    cbFixed = new QCheckBox(QStringLiteral("Stałe osie wartości"));
    cbFixed->setToolTip(QStringLiteral("Osie wartości nie dopasowują się do odczytów; kółko i mysz przesuwają je"));
    auto* setRow = new QHBoxLayout;
    setRow->addWidget(new QLabel(QStringLiteral("Sygnały – okres [ms]:")));
    setRow->addWidget(ePeriod);
    setRow->addWidget(btStart);
    setRow->addStretch(1);
    setRow->addWidget(cbFixed);
    Signals = new TSignalList;
    lbMarkers = new QLabel;
    twMarkers = new QTreeWidget;
    twMarkers->setColumnCount(7);
    twMarkers->setHeaderLabels({QStringLiteral("Sygnał"), QStringLiteral("A"), QStringLiteral("B"),
                                QStringLiteral("Δ"), QStringLiteral("min"), QStringLiteral("max"),
                                QStringLiteral("średnia")});
    twMarkers->setRootIsDecorated(false);
    twMarkers->setSelectionMode(QAbstractItemView::NoSelection);
    twMarkers->header()->resizeSection(0, 96);
    for (int c = 1; c < 7; ++c) twMarkers->header()->resizeSection(c, 58);
    auto* markerBox = new QGroupBox(QStringLiteral(" Znaczniki "));
    auto* markers = new QVBoxLayout(markerBox);
    markers->addWidget(lbMarkers);
    markers->addWidget(twMarkers, 1);
    auto* lower = new QWidget;
    auto* lowerRow = new QHBoxLayout(lower);
    lowerRow->setContentsMargins(0, 0, 0, 0);
    lowerRow->addWidget(Signals, 5);
    lowerRow->addWidget(markerBox, 4);
    auto* upper = new QWidget;
    auto* upperColumn = new QVBoxLayout(upper);
    upperColumn->setContentsMargins(0, 0, 0, 0);
    upperColumn->addLayout(middle, 1);
    upperColumn->addLayout(setRow);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(upper);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    roundTimer_ = new QTimer(this);

    stStatus = new QLabel;
    stStatus->setAutoFillBackground(true);
    stStatus->setContentsMargins(6, 3, 6, 3);
    stStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(split, 1);
    column->addWidget(stStatus);

    connect(cbxSpan, &QComboBox::activated, this, [this] { Plot->SetSpan(cbxSpan->currentData().toInt()); });
    connect(cbAuto, &QCheckBox::toggled, Plot, &TTrendPlot::SetFollowing);
    connect(Plot, &TTrendPlot::FollowingChanged, cbAuto, &QCheckBox::setChecked);
    connect(cbClock, &QCheckBox::toggled, Plot, &TTrendPlot::SetClockTime);
    connect(eN, &QLineEdit::editingFinished, this, &TTrendWindow::RuleChanged);
    connect(eTolerance, &QLineEdit::editingFinished, this, &TTrendWindow::RuleChanged);
    connect(btCsv, &QPushButton::clicked, this, &TTrendWindow::SaveCsv);
    connect(btImage, &QPushButton::clicked, this, &TTrendWindow::SaveImage);
    connect(btRecord, &QPushButton::clicked, this, [this](bool on) { SetRecording(on); });
    connect(btStart, &QPushButton::clicked, this, [this](bool on) {
        if (on)
            StartSet();
        else
            StopSet();
    });
    connect(roundTimer_, &QTimer::timeout, this, &TTrendWindow::PostRound);
    connect(cbFixed, &QCheckBox::toggled, Plot, &TTrendPlot::SetValuesFixed);
    connect(Signals, &TSignalList::Changed, this, &TTrendWindow::SetChanged);
    connect(Signals, &TSignalList::CurrentChanged, this, [this] { ShowStats(); });
    connect(Plot, &TTrendPlot::MarkersChanged, this, &TTrendWindow::ShowMarkers);
}

}  // namespace vyx::ui
