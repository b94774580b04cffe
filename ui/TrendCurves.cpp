// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's value axes fitted to the readings in view, the curves of a set of
// signals on two value axes, and the two markers.
#include <algorithm>
#include <cmath>
#include <limits>

#include "sequences/Readings.h"
#include "ui/TrendPlot.h"

namespace vyx::ui {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

void TTrendPlot::RemoveCurves() {
    for (const TCurve& curve : curves_) {
        removeGraph(curve.Line);
        removeGraph(curve.Failed);
    }
    curves_.clear();
    roundTimes_.clear();
    yAxis2->setVisible(false);
    readings_->setVisible(true);
    failed_->setVisible(true);
    readings_->addToLegend();
    failed_->addToLegend();
}

void TTrendPlot::BeginSet(std::chrono::system_clock::time_point start, const std::vector<TCurveLook>& looks) {
    Begin(start, looks.empty() ? 0 : looks.front().TypeCode);
    // The single register's graphs stand aside while the set is drawn.
    readings_->setVisible(false);
    failed_->setVisible(false);
    readings_->removeFromLegend();
    failed_->removeFromLegend();
    for (size_t k = 0; k < looks.size(); ++k) {
        TCurve curve{addGraph(), addGraph(xAxis, failAxis_), {}, looks[k].TypeCode, false};
        curve.Failed->setLineStyle(QCPGraph::lsNone);
        curve.Failed->removeFromLegend();
        curves_.push_back(curve);
    }
    Restyle(looks);
}

void TTrendPlot::Restyle(const std::vector<TCurveLook>& looks) {
    bool right = false;
    for (size_t k = 0; k < curves_.size() && k < looks.size(); ++k) {
        TCurve& curve = curves_[k];
        const TCurveLook& look = looks[k];
        // A cosmetic pen, as the single register's: a wider one costs far more to draw.
        curve.Line->setPen(QPen(look.Colour, 0));
        curve.Line->setName(look.Name);
        curve.Line->setValueAxis(look.Right ? yAxis2 : yAxis);
        curve.Failed->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangle, look.Colour, look.Colour, 8));
        curve.Hidden = look.Hidden;
        curve.Line->setVisible(!look.Hidden);
        curve.Failed->setVisible(!look.Hidden);
        if (look.Hidden)
            curve.Line->removeFromLegend();
        else
            curve.Line->addToLegend();
        right = right || (look.Right && !look.Hidden);
    }
    yAxis2->setVisible(right);
    FitValues();
    Refresh();
}

void TTrendPlot::AddRound(double t, const std::vector<std::optional<double>>& values,
                          const std::vector<QString>& reasons) {
    roundTimes_.push_back(t);
    for (size_t k = 0; k < curves_.size(); ++k) {
        TCurve& curve = curves_[k];
        const std::optional<double> value = k < values.size() ? values[k] : std::nullopt;
        if (value) {
            curve.Line->addData(t, *value);
            continue;
        }
        int index = static_cast<int>(reasons_.indexOf(k < reasons.size() ? reasons[k] : QString()));
        if (index < 0) {
            index = static_cast<int>(reasons_.size());
            reasons_ << (k < reasons.size() ? reasons[k] : QString());
        }
        curve.Failures.push_back({t, static_cast<uint16_t>(std::min(index, 0xFFFF))});
        // Each curve's marks a little above the one before, so that none hides another.
        curve.Failed->addData(t, 0.03 + 0.025 * static_cast<double>(k % 8));
        const auto data = curve.Line->data();
        if (!data->isEmpty() && !std::isnan((data->constEnd() - 1)->value)) curve.Line->addData(t, kNaN);
    }
    if (roundTimes_.size() * std::max<size_t>(curves_.size(), 1) > static_cast<size_t>(kMaxPlotReadings)) {
        // The oldest tenth goes, of every curve at once.
        const double cut = roundTimes_[roundTimes_.size() / 10];
        roundTimes_.erase(roundTimes_.begin(), std::lower_bound(roundTimes_.begin(), roundTimes_.end(), cut));
        for (TCurve& curve : curves_) {
            curve.Line->data()->removeBefore(cut);
            curve.Failed->data()->removeBefore(cut);
            curve.Failures.erase(curve.Failures.begin(),
                                 std::lower_bound(curve.Failures.begin(), curve.Failures.end(), cut,
                                                  [](const TFailure& f, double key) { return f.T < key; }));
        }
    }
    if (!following_) ShowPointsWhenFew(xAxis->range());
    FollowNewest();
    Refresh();
}

QSharedPointer<QCPGraphDataContainer> TTrendPlot::CurveData(int curve) const {
    if (curve < 0 || curve >= CurveCount()) return readings_->data();
    return curves_[static_cast<size_t>(curve)].Line->data();
}

void TTrendPlot::ForEachRound(const std::function<void(double, const std::vector<std::optional<double>>&,
                                                       const std::vector<QString>&)>& round) const {
    std::vector<QCPGraphDataContainer::const_iterator> at;
    std::vector<std::vector<TFailure>::const_iterator> failed;
    for (const TCurve& curve : curves_) {
        at.push_back(curve.Line->data()->constBegin());
        failed.push_back(curve.Failures.begin());
    }
    std::vector<std::optional<double>> values(curves_.size());
    std::vector<QString> reasons(curves_.size());
    for (const double t : roundTimes_) {
        for (size_t k = 0; k < curves_.size(); ++k) {
            const auto end = curves_[k].Line->data()->constEnd();
            while (at[k] != end && at[k]->key < t) ++at[k];
            values[k].reset();
            reasons[k].clear();
            if (at[k] != end && at[k]->key == t && !std::isnan(at[k]->value)) {
                values[k] = at[k]->value;
                continue;
            }
            while (failed[k] != curves_[k].Failures.end() && failed[k]->T < t) ++failed[k];
            if (failed[k] != curves_[k].Failures.end() && failed[k]->T == t)
                reasons[k] = reasons_.value(failed[k]->Reason);
        }
        round(t, values, reasons);
    }
}

double TTrendPlot::NewestCurveTime() const { return roundTimes_.empty() ? 0 : roundTimes_.back(); }

void TTrendPlot::FitValues() {
    if (valuesFixed_) return;
    const QCPRange view = xAxis->range();
    if (!curves_.empty()) {
        FitCurves(view);
        return;
    }
    // The values in view fill the height, with a margin; a flat signal gets one
    // unit of its last decimal either side.
    bool found = false;
    QCPRange values = readings_->data()->valueRange(found, QCP::sdBoth, view);
    if (!found) return;
    if (mean_->visible()) {
        values.expand(sigmaLow_->data()->constBegin()->value);
        values.expand(sigmaHigh_->data()->constBegin()->value);
    }
    if (bandLow_->visible()) {
        values.expand(bandLow_->data()->constBegin()->value);
        values.expand(bandHigh_->data()->constBegin()->value);
    }
    double margin = values.size() * 0.08;
    if (margin <= 0) margin = std::pow(10.0, -ValueDecimals(typeCode_));
    yAxis->setRange(values.lower - margin, values.upper + margin);
}

void TTrendPlot::FitCurves(const QCPRange& view) {
    for (QCPAxis* axis : {yAxis, yAxis2}) {
        bool any = false;
        QCPRange values;
        int decimals = 0;
        for (const TCurve& curve : curves_) {
            if (curve.Hidden || curve.Line->valueAxis() != axis) continue;
            bool found = false;
            const QCPRange r = curve.Line->data()->valueRange(found, QCP::sdBoth, view);
            if (!found) continue;
            values = any ? QCPRange(std::min(values.lower, r.lower), std::max(values.upper, r.upper)) : r;
            any = true;
            decimals = std::max(decimals, ValueDecimals(curve.TypeCode));
        }
        if (!any) continue;
        // A flat curve gets a thousandth of its value either side, at least a
        // unit of its last decimal: the ticks then stay apart in their labels.
        double margin = values.size() * 0.08;
        if (margin <= 0) margin = std::max(std::pow(10.0, -decimals), std::abs(values.center()) * 1e-3);
        axis->setRange(values.lower - margin, values.upper + margin);
    }
}

void TTrendPlot::SetValuesFixed(bool on) {
    valuesFixed_ = on;
    // Fixed, the wheel and the mouse move the value axes with time; else time only.
    const Qt::Orientations both = Qt::Horizontal | Qt::Vertical;
    axisRect()->setRangeDrag(on ? both : Qt::Horizontal);
    axisRect()->setRangeZoom(on ? both : Qt::Horizontal);
    axisRect()->setRangeDragAxes({xAxis}, {yAxis, yAxis2});
    axisRect()->setRangeZoomAxes({xAxis}, {yAxis, yAxis2});
    if (!on) FitValues();
    Refresh();
}

void TTrendPlot::SetMarker(int which, double t) {
    TMarker& m = markers_[which & 1];
    m.T = t;
    m.Line->point1->setCoords(t, 0);
    m.Line->point2->setCoords(t, 1);
    m.Line->setVisible(true);
    m.Label->position->setCoords(t, 0.01);
    m.Label->setVisible(true);
    Refresh();
    emit MarkersChanged();
}

void TTrendPlot::ClearMarkers() {
    for (TMarker& m : markers_) {
        m.T.reset();
        m.Line->setVisible(false);
        m.Label->setVisible(false);
    }
    nextMarker_ = 0;
    emit MarkersChanged();
}

}  // namespace vyx::ui
