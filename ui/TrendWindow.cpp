// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrendWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

#include "base/Error.h"
#include "base/Text.h"
#include "ui/Boxes.h"
#include "ui/CutLabel.h"
#include "ui/FormSupport.h"
#include "ui/SignalList.h"
#include "ui/Placement.h"
#include "ui/TrendPlot.h"

namespace vyx::ui {
namespace {

using Clock = std::chrono::system_clock;

constexpr int kMaxN = 100000;


// "45 s", "3 min 05 s", "2 h 07 min".
QString Duration(double seconds) {
    const auto s = static_cast<long long>(std::max(0.0, seconds));
    if (s < 60) return QStringLiteral("%1 s").arg(s);
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0'));
}

}  // namespace

TTrendWindow::TTrendWindow(TBoxes& boxes, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), boxes_(boxes), saveFolder_(QDir::homePath()) {
    setWindowTitle(QStringLiteral("Wykres – vyx-cfg"));
    setObjectName(QStringLiteral("TrendWindow"));
    resize(1100, 720);

    BuildControls();
    ShowStats();
    ShowStatus();
}

TTrendWindow::~TTrendWindow() = default;

void TTrendWindow::Open() {
    if (!placed_ && parentWidget()) {
        // Beside the main window, where the screen leaves room; else over its right part.
        const QRect main = parentWidget()->frameGeometry();
        QRect place(main.topRight() + QPoint(8, 0), size());
        if (const QScreen* screen = parentWidget()->screen();
            screen && !screen->availableGeometry().contains(place))
            place.moveTopRight(main.topRight() - QPoint(8, -40));
        move(place.topLeft());
    }
    placed_ = true;
    show();
    raise();
    activateWindow();
}

void TTrendWindow::BeginSeries(TActivity activity, const TRegData& record, Clock::time_point when) {
    fresh_ = false;
    activity_ = activity;
    record_ = record;
    typeCode_ = GetTypeCode(record.DataType);
    Plot->Begin(when, typeCode_);
    stability_.Clear();
    newest_ = 0;
    QString title = Q(record.Name);
    if (!record.Note.empty()) title += QStringLiteral(" [") + Q(record.Note) + u']';
    if (activity == TActivity::Calibration) title = QStringLiteral("kalibracja: ") + title;
    lbTitle->setText(title);
    // Another register's readings go into files named after it.
    if (recorder_) recorder_ = std::make_unique<TCsvRecorder>(recordFolder_, FilePrefix().toStdString(), recordBytes_);
    setWindowTitle(QStringLiteral("Wykres: ") + Q(record.Name) + QStringLiteral(" – vyx-cfg"));
}

void TTrendWindow::Reading(TActivity activity, const TRegData& record, Clock::time_point when,
                           const TReading& reading, const QString& reason) {
    // The set's rounds have the plot while it runs; once stopped, a reading begins a series of its own.
    if (setRunning_) return;
    if (setShown_) {
        setShown_ = false;
        fresh_ = true;
    }
    when = std::chrono::floor<std::chrono::milliseconds>(when);
    if (fresh_ || activity != activity_ || record.Address != record_.Address || record.Name != record_.Name ||
        record.DataType != record_.DataType)
        BeginSeries(activity, record, when);
    const double t = Plot->SecondsAt(when);
    newest_ = t;
    const std::optional<double> value = reading.Good ? reading.Number : std::nullopt;
    if (value) {
        Plot->AddGood(t, *value);
        stability_.Good(*value, t);
        Record(CsvLine(when, FormatReading(typeCode_, *value), {}), when);
    } else {
        // A good reply that holds no number (a text register) counts as no reading.
        const QString why = reading.Good ? QStringLiteral("wartość nie jest liczbą") : reason;
        Plot->AddFailure(t, why);
        stability_.Failed();
        Record(CsvLine(when, {}, why.toStdString()), when);
    }
    ShowStats();
    ShowStatus();
}

void TTrendWindow::Gap(Clock::time_point from, Clock::time_point to, const QString& line) {
    to = std::chrono::floor<std::chrono::milliseconds>(to);
    if (setShown_) {
        // Every curve of the set breaks there, and the set's file gets a round
        // without values whose reason is the gap.
        newest_ = Plot->SecondsAt(to);
        Plot->AddGap(Plot->SecondsAt(from), newest_, line);
        TRound gap;
        gap.When = to;
        gap.Readings.resize(set_.size());
        for (TSignalReading& r : gap.Readings) r.Reason = line.toStdString();
        Plot->AddRound(newest_, std::vector<std::optional<double>>(set_.size()), std::vector<QString>(set_.size(), line));
        Record(RoundCsvLine(set_, gap), to);
        return;
    }
    if (fresh_ || activity_ == TActivity::Idle) return;
    newest_ = Plot->SecondsAt(to);
    Plot->AddGap(Plot->SecondsAt(from), newest_, line);
    stability_.Failed();
    Record(CsvLine(to, {}, line.toStdString()), to);
    ShowStats();
    ShowStatus();
}

std::optional<std::u16string> TTrendWindow::CalibrationFinished(const std::vector<std::u16string>& samples,
                                                                const std::vector<TReading>& readings) {
    std::vector<double> values;
    for (const TReading& r : readings)
        if (r.Number) values.push_back(*r.Number);
    const TReadingStats stats = StatsOf(values);
    if (const std::optional<TCalibrationSummary> summary = SummariseCalibration(samples))
        Plot->ShowCalibration(summary->Mean, summary->Err, stats.StdDev);
    if (!ruleValid_ || !stability_.Tolerance() || stats.Count == 0) return std::nullopt;
    // The whole run is judged: every reading of it within the tolerance.
    return VerdictLine(stats, *stability_.Tolerance(), typeCode_);
}

void TTrendWindow::RuleChanged() {
    if (setShown_) {
        SetRules(true);
        ShowSetStats();
        ShowSetStatus();
        return;
    }
    bool ok = false;
    const int n = eN->text().trimmed().toInt(&ok);
    std::optional<TTolerance> tolerance;
    ruleValid_ = ok && n >= 2 && n <= kMaxN;
    if (ruleValid_) {
        try {
            tolerance = ParseTolerance(eTolerance->text().toStdU16String());
        } catch (const Error&) {
            ruleValid_ = false;
        }
    }
    stability_ = TStability(ruleValid_ ? static_cast<size_t>(n) : stability_.N(), tolerance);
    // The series' last N good readings again, the count towards N restarting
    // after the last failure (a failure before them all changes nothing).
    const auto data = Plot->ReadingsData();
    std::vector<std::pair<double, double>> last;  // newest first
    for (auto it = data->constEnd(); it != data->constBegin() && last.size() < stability_.N();) {
        --it;
        if (!std::isnan(it->value)) last.emplace_back(it->key, it->value);
    }
    const double lastFailure = Plot->LastFailureTime().value_or(-1.0);
    bool failureFed = false;
    for (auto it = last.rbegin(); it != last.rend(); ++it) {
        if (!failureFed && it->first > lastFailure) {
            stability_.Failed();
            failureFed = true;
        }
        stability_.Good(it->second, it->first);
    }
    if (!failureFed) stability_.Failed();
    ShowStats();
    ShowStatus();
}

void TTrendWindow::ShowStats() {
    if (setShown_) {
        ShowSetStats();
        return;
    }
    ShowStatsOf(stability_.Stats(), typeCode_);
}

void TTrendWindow::ShowStatusLine(QString text, const QColor& background) {
    if (recorder_) text += QStringLiteral("   nagrywanie: ") + QString::fromStdString(PathToUtf8(recorder_->CurrentFile()));
    if (!recordError_.isEmpty()) text += QStringLiteral("   ") + recordError_;
    stStatus->setText(text);
    QPalette p = stStatus->palette();
    p.setColor(QPalette::Window, background);
    stStatus->setPalette(p);
}

void TTrendWindow::ShowStatsOf(const TReadingStats& s, int typeCode) {
    const int decimals = ValueDecimals(typeCode);
    const bool any = s.Count > 0;
    lbCount->setText(QString::number(s.Count));
    lbMin->setText(any ? Q(FormatLikeRegister(typeCode, s.Min)) : QString());
    lbMax->setText(any ? Q(FormatLikeRegister(typeCode, s.Max)) : QString());
    lbMean->setText(any ? Q(FormatLikeRegister(typeCode, s.Mean)) : QString());
    lbSigma->setText(s.Count > 1 ? Q(FormatSignificant(s.StdDev, decimals)) : QString());
    lbSpread->setText(any ? Q(FormatSignificant(s.Spread(), decimals)) : QString());
}

void TTrendWindow::ShowStatus() {
    if (setShown_) {
        ShowSetStatus();
        return;
    }
    QString text;
    QColor background = palette().color(QPalette::Window);
    const std::optional<TTolerance>& tolerance = stability_.Tolerance();
    const TReadingStats s = stability_.Stats();
    if (!ruleValid_) {
        text = QStringLiteral("N musi być liczbą od 2 do %1, tolerancja liczbą (np. 0,5) lub procentem (np. 1%)")
                   .arg(kMaxN);
        background = QColor(255, 200, 200);
    } else if (!tolerance) {
        text = QStringLiteral("podaj tolerancję, by ocenić stabilność");
    } else if (stability_.Stable()) {
        text = QStringLiteral("stabilny od ") + Duration(newest_ - stability_.StableSince());
        background = QColor(170, 230, 170);
    } else if (stability_.Run() < stability_.N()) {
        text = QStringLiteral("zbieranie odczytów: %1 z %2").arg(stability_.Run()).arg(stability_.N());
        background = QColor(255, 220, 140);
    } else {
        text = QStringLiteral("niestabilny: rozrzut ") + Q(FormatSignificant(s.Spread(), ValueDecimals(typeCode_))) +
               QStringLiteral(" > ") +
               Q(FormatSignificant(tolerance->Allowed(s.Mean), ValueDecimals(typeCode_)));
        background = QColor(255, 220, 140);
    }
    ShowStatusLine(text, background);

    std::optional<TTrendPlot::TBand> band;
    if (ruleValid_ && tolerance && s.Count > 0)
        band = TTrendPlot::TBand{stability_.From(), (s.Min + s.Max) / 2, tolerance->Allowed(s.Mean), stability_.Stable()};
    Plot->SetBand(band);
}

TTrendSettings TTrendWindow::Settings() const {
    TTrendSettings s;
    s.Open = isVisible();
    s.Geometry = placed_ ? geometry() : QRect();
    s.N = eN->text();
    s.Tolerance = eTolerance->text();
    s.SpanS = cbxSpan->currentData().toInt();
    s.ClockTime = cbClock->isChecked();
    s.Period = ePeriod->text();
    s.Signals = Signals->All();
    return s;
}

void TTrendWindow::ApplySettings(const TTrendSettings& s) {
    eN->setText(s.N);
    eTolerance->setText(s.Tolerance);
    const int span = cbxSpan->findData(s.SpanS);
    cbxSpan->setCurrentIndex(span >= 0 ? span : 2);
    Plot->SetSpan(cbxSpan->currentData().toInt());
    cbClock->setChecked(s.ClockTime);
    ePeriod->setText(s.Period);
    Signals->SetAll(s.Signals);
    RuleChanged();
    // Where it was, by the main window's rule: on a screen that still holds its
    // centre and no larger than that screen; else beside the main window when opened.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    const auto onScreen = [&] {
        for (const QRect& screen : screens)
            if (screen.contains(s.Geometry.center())) return true;
        return false;
    };
    if (!s.Geometry.isNull() && onScreen()) {
        setGeometry(PlaceWindow(minimumSize(), s.Geometry, screens, s.Geometry.center()).Geometry);
        placed_ = true;
    }
    if (s.Open) Open();
}

}  // namespace vyx::ui
