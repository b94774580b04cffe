// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window's set of signals: its rounds on the bus, their curves, the
// stability of each signal.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>

#include "base/Error.h"
#include "base/Text.h"
#include "ui/CutLabel.h"
#include "ui/FormSupport.h"
#include "ui/SignalList.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {
namespace {

using Clock = std::chrono::system_clock;

TSignal SignalOf(const TTrendSignal& s) {
    TSignal signal;
    signal.Slave = static_cast<uint8_t>(s.Slave);
    signal.DeviceFile = s.File.toStdString();
    signal.Record = {s.Name.toStdU16String(), s.Note.toStdU16String(), s.Address.toStdU16String(),
                     s.DataType.toStdU16String(), s.Length.toStdU16String(), u"RO", u""};
    return signal;
}

// A curve's name in the legend and the title: "R0 @247", with the note when it
// is a unit of measure ("Prąd [mA] @247"); a long note describes rather than measures.
QString LegendName(const std::vector<TSignal>& set, size_t k) {
    const TRegData& r = set[k].Record;
    QString name = Q(r.Name);
    if (!r.Note.empty() && r.Note.size() <= 8) name += QStringLiteral(" [") + Q(r.Note) + u']';
    return name + QStringLiteral(" @%1").arg(set[k].Slave);
}

}  // namespace

void TTrendWindow::UseBus(TBus& bus, std::function<TLineSettings()> line) {
    bus_ = &bus;
    line_ = std::move(line);
}

std::vector<TSignal> TTrendWindow::SignalSet() const {
    std::vector<TSignal> set;
    for (const TTrendSignal& s : Signals->Signals()) set.push_back(SignalOf(s));
    return set;
}

void TTrendWindow::ShowPort(const QString& port) {
    if (port == Signals->Port()) return;
    StopSet();
    Signals->ShowPort(port);
}

bool TTrendWindow::AddSignal(const TTrendSignal& signal) {
    if (Signals->Port().isEmpty()) {
        stStatus->setText(QStringLiteral("Dodaj do wykresu: najpierw wybierz port"));
        return false;
    }
    if (!Signals->Add(signal)) {
        stStatus->setText(QStringLiteral("%1 @%2 jest już na wykresie").arg(signal.Name).arg(signal.Slave));
        return false;
    }
    return true;
}

bool TTrendWindow::StartSet() {
    StopSet();
    bool ok = false;
    const int period = ePeriod->text().trimmed().toInt(&ok);
    const auto refuse = [this](const QString& why) {
        stStatus->setText(why);
        btStart->setChecked(false);
        return false;
    };
    if (Signals->Signals().isEmpty())
        return refuse(QStringLiteral("brak sygnałów: „Dodaj do wykresu” (Ctrl+D) w drzewie rejestrów"));
    if (!ok || period < kMinimumPeriodMs || period > 86400000)
        return refuse(QStringLiteral("okres musi być liczbą ms od %1 do 86400000").arg(kMinimumPeriodMs));
    if (!bus_) return refuse(QStringLiteral("brak połączenia z magistralą"));
    periodMs_ = period;
    set_ = SignalSet();
    ++setGeneration_;
    setRunning_ = true;
    setShown_ = true;
    roundS_ = RoundLineSeconds(set_, line_ ? line_().Mode : std::string());
    const Clock::time_point now = std::chrono::floor<std::chrono::milliseconds>(Clock::now());
    Plot->BeginSet(now, {});
    RestylePlot();
    SetRules(false);
    QString title;
    for (size_t k = 0; k < set_.size(); ++k) title += (k == 0 ? QString() : QStringLiteral(", ")) + LegendName(set_, k);
    lbTitle->setText(title);
    setWindowTitle(QStringLiteral("Wykres: zestaw sygnałów – vyx-cfg"));
    if (recorder_) {
        recorder_ = std::make_unique<TCsvRecorder>(recordFolder_, FilePrefix().toStdString(), recordBytes_);
        recorder_->SetHeader(RoundCsvHeader(set_));
    }
    btStart->setChecked(true);
    btStart->setText(QStringLiteral("Stop"));
    roundTimer_->start(period);
    PostRound();
    ShowSetStats();
    ShowSetStatus();
    return true;
}

void TTrendWindow::StopSet() {
    roundTimer_->stop();
    if (!setRunning_) return;
    setRunning_ = false;
    ++setGeneration_;  // a round still out is not drawn
    roundOut_ = false;
    btStart->setChecked(false);
    btStart->setText(QStringLiteral("Start"));
    ShowSetStatus();
}

void TTrendWindow::HoldSet() { roundTimer_->stop(); }

void TTrendWindow::ResumeSet() {
    if (!setRunning_) return;
    roundTimer_->start(periodMs_);
    PostRound();
}

void TTrendWindow::PostRound() {
    if (!setRunning_ || roundOut_ || !bus_) return;
    roundOut_ = true;
    const TLineOptions line = line_ ? line_().Line : TLineOptions{};
    TBus* bus = bus_;
    bus->Post([this, bus, set = set_, line, generation = setGeneration_](TPort& port, TWire& wire) {
        auto round = std::make_shared<TRound>(ReadRound(port, wire, line, set));
        bus->Deliver([this, round, generation] {
            if (generation != setGeneration_) return;
            roundOut_ = false;
            RoundRead(*round);
        });
    });
}

void TTrendWindow::RoundRead(const TRound& round) {
    bool sent = false, heard = false;
    for (const TSignalReading& got : round.Readings) {
        sent = sent || got.Sent;
        heard = heard || got.Heard;
    }
    emit RoundExchanged(round.Lines, sent, heard);
    if (!setShown_ || round.Readings.size() != set_.size()) return;
    const Clock::time_point when = std::chrono::floor<std::chrono::milliseconds>(round.When);
    const double t = Plot->SecondsAt(when);
    newest_ = t;
    roundS_ = round.Seconds;
    std::vector<std::optional<double>> values;
    std::vector<QString> reasons;
    for (size_t k = 0; k < set_.size(); ++k) {
        const TSignalReading& got = round.Readings[k];
        values.push_back(got.Reading.Number);
        reasons.push_back(got.Reading.Number ? QString()
                          : got.Reading.Good ? QStringLiteral("wartość nie jest liczbą")
                                             : QString::fromStdString(got.Reason));
        if (got.Reading.Number)
            setStability_[k].Good(*got.Reading.Number, t);
        else
            setStability_[k].Failed();
    }
    Plot->AddRound(t, values, reasons);
    TRound stamped = round;
    stamped.When = when;
    Record(RoundCsvLine(set_, stamped), when);
    ShowSetStats();
    ShowSetStatus();
    ShowMarkers();
}

void TTrendWindow::SetChanged() {
    if (setShown_ && SignalSet() != set_) {
        // Another set: a new series (and, while recording, a new file with its header).
        if (setRunning_) {
            StartSet();
        } else {
            // The curves shown are of another set: the next reading begins a series of its own.
            setShown_ = false;
            fresh_ = true;
        }
        return;
    }
    if (!setShown_) return;
    RestylePlot();
    SetRules(true);
    ShowSetStats();
    ShowSetStatus();
}

void TTrendWindow::RestylePlot() {
    std::vector<TTrendPlot::TCurveLook> looks;
    const std::vector<TSignal> set = SignalSet();
    for (size_t k = 0; k < set.size(); ++k) {
        const TTrendSignal& s = Signals->Signals()[static_cast<qsizetype>(k)];
        looks.push_back({LegendName(set, k), TSignalList::ColourOf(static_cast<int>(k)), s.Right, s.Hidden,
                         GetTypeCode(set[k].Record.DataType)});
    }
    if (Plot->CurveCount() != static_cast<int>(looks.size()))
        Plot->BeginSet(Plot->Start(), looks);
    else
        Plot->Restyle(looks);
}

bool TTrendWindow::SetRules(bool keepReadings) {
    setRuleError_.clear();
    bool ok = false;
    const int n = eN->text().trimmed().toInt(&ok);
    if (!ok || n < 2 || n > 100000) setRuleError_ = QStringLiteral("N musi być liczbą od 2 do 100000");
    std::vector<TStability> rules;
    const QList<TTrendSignal>& list = Signals->Signals();
    for (int k = 0; k < list.size(); ++k) {
        std::optional<TTolerance> tolerance;
        const QString text = list[k].Tolerance.isEmpty() ? eTolerance->text() : list[k].Tolerance;
        try {
            tolerance = ParseTolerance(text.toStdU16String());
        } catch (const Error&) {
            setRuleError_ = QStringLiteral("tolerancja %1: liczba (np. 0,5) lub procent (np. 1%)").arg(list[k].Name);
        }
        TStability rule(setRuleError_.isEmpty() ? static_cast<size_t>(n) : 20, tolerance);
        if (keepReadings && k < Plot->CurveCount()) {
            // The curve's last N readings again, the count restarting after its last failure.
            const auto data = Plot->CurveData(k);
            std::vector<std::pair<double, double>> last;  // newest first
            for (auto it = data->constEnd(); it != data->constBegin() && last.size() < rule.N();) {
                --it;
                if (std::isnan(it->value)) break;
                last.emplace_back(it->key, it->value);
            }
            for (auto it = last.rbegin(); it != last.rend(); ++it) rule.Good(it->second, it->first);
        }
        rules.push_back(std::move(rule));
    }
    setStability_ = std::move(rules);
    return setRuleError_.isEmpty();
}

void TTrendWindow::ShowSetStats() {
    const int row = std::max(0, Signals->CurrentRow());
    if (row >= static_cast<int>(setStability_.size())) return;
    gbStats->setTitle(QStringLiteral(" Ostatnie N odczytów: ") + Q(set_[static_cast<size_t>(row)].Record.Name) + u' ');
    ShowStatsOf(setStability_[static_cast<size_t>(row)].Stats(),
                GetTypeCode(set_[static_cast<size_t>(row)].Record.DataType));
}

void TTrendWindow::ShowSetStatus() {
    QString text;
    QColor background = palette().color(QPalette::Window);
    QStringList unstable;
    bool judged = false;
    for (size_t k = 0; k < setStability_.size() && k < set_.size(); ++k) {
        if (!setStability_[k].Tolerance()) continue;
        judged = true;
        if (!setStability_[k].Stable()) unstable << Q(SignalShortName(set_, k));
    }
    if (!setRuleError_.isEmpty()) {
        text = setRuleError_;
        background = QColor(255, 200, 200);
    } else if (!judged) {
        text = QStringLiteral("podaj tolerancję, by ocenić stabilność");
    } else if (unstable.isEmpty()) {
        text = QStringLiteral("wszystkie stabilne");
        background = QColor(170, 230, 170);
    } else {
        text = QStringLiteral("niestabilne: ") + unstable.join(QStringLiteral(", "));
        background = QColor(255, 220, 140);
    }
    if (!setRunning_) text = QStringLiteral("zatrzymano; ") + text;
    // A round that takes longer than the period: the next one follows at once.
    if (setRunning_ && roundS_ * 1000 > periodMs_)
        text += QStringLiteral("   okres krótszy niż runda odczytów (%1 ms): odczyty co %1 ms")
                    .arg(std::lround(std::ceil(roundS_ * 1000)));
    ShowStatusLine(text, background);
    Plot->SetBand(std::nullopt);
}

}  // namespace vyx::ui
