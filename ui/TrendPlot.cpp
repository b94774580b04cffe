// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrendPlot.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>


namespace vyx::ui {
namespace {

using Clock = std::chrono::system_clock;

const QColor kReadingColor(0, 0, 128);
const QColor kFailureColor(200, 0, 0);
const QColor kStableColor(40, 170, 60, 60);
const QColor kUnstableColor(240, 170, 0, 70);

// Tick labels as the clock showed them: the series' start plus the tick's seconds.
class TClockTicker : public QCPAxisTicker {
public:
    explicit TClockTicker(qint64 startMs) : startMs_(startMs) {}

protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return QDateTime::fromMSecsSinceEpoch(startMs_ + std::llround(tick * 1000))
            .toString(QStringLiteral("HH:mm:ss"));
    }

private:
    qint64 startMs_;
};

void SetTwoPoints(QCPGraph* graph, double from, double to, double value) {
    graph->data()->clear();
    graph->addData(from, value);
    graph->addData(to, value);
}

}  // namespace

TTrendPlot::TTrendPlot(QWidget* parent) : QCustomPlot(parent) {
    QLocale polish(QLocale::Polish, QLocale::Poland);
    polish.setNumberOptions(QLocale::OmitGroupSeparator);
    setLocale(polish);
    setNoAntialiasingOnDrag(true);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    xAxis->setLabel(QStringLiteral("czas [s]"));

    readings_ = addGraph();
    readings_->setName(QStringLiteral("odczyty"));
    // A cosmetic pen: a wider one goes through the stroker, some 500 times slower
    // with an hour of readings in view.
    readings_->setPen(QPen(kReadingColor, 0));

    // The failure marks sit at the bottom whatever the zoom: on an axis of their own, never shown.
    failAxis_ = axisRect()->addAxis(QCPAxis::atRight);
    failAxis_->setVisible(false);
    failAxis_->setRange(0, 1);
    yAxis2->setTickLabels(true);
    failed_ = addGraph(xAxis, failAxis_);
    failed_->setName(QStringLiteral("nieudany odczyt"));
    failed_->setLineStyle(QCPGraph::lsNone);
    failed_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangle, kFailureColor, kFailureColor, 8));

    bandLow_ = BandGraph();
    bandHigh_ = BandGraph(kUnstableColor, bandLow_);
    bandHigh_->setName(QStringLiteral("tolerancja"));

    sigmaLow_ = BandGraph();
    sigmaHigh_ = BandGraph(QColor(0, 0, 128, 25), sigmaLow_);
    sigmaHigh_->setName(QStringLiteral("± σ odczytów"));
    errLow_ = BandGraph();
    errHigh_ = BandGraph(QColor(200, 0, 120, 70), errLow_);
    errHigh_->setName(QStringLiteral("± niepewność średniej"));
    mean_ = addGraph();
    mean_->setName(QStringLiteral("średnia"));
    mean_->setPen(QPen(QColor(200, 0, 120), 2));

    // Only the graphs a reader needs to name are in the legend.
    legend->setVisible(true);
    legend->setFont(font());
    legend->setBrush(QColor(255, 255, 255, 200));  // the readings show through
    for (QCPGraph* unnamed : {bandLow_, sigmaLow_, errLow_}) unnamed->removeFromLegend();
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);

    for (TMarker& m : markers_) {
        m.Line = new QCPItemStraightLine(this);
        m.Line->setPen(QPen(Qt::black, 0, Qt::DashLine));
        m.Line->setVisible(false);
        m.Label = new QCPItemText(this);
        m.Label->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
        m.Label->position->setAxisRect(axisRect());
        m.Label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        m.Label->setVisible(false);
    }
    markers_[0].Label->setText(QStringLiteral("A"));
    markers_[1].Label->setText(QStringLiteral("B"));

    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) { ClampSpan(range); });
    Begin(Clock::now(), 0);
}

QCPGraph* TTrendPlot::BandGraph(const QColor& color, QCPGraph* lower) {
    QCPGraph* g = addGraph();
    g->setPen(Qt::NoPen);
    // The upper edge fills down to the lower one; the lower fills nothing.
    if (lower) {
        g->setBrush(color);
        g->setChannelFillGraph(lower);
    }
    g->setVisible(false);
    g->setLayer(QStringLiteral("grid"));  // behind the readings
    return g;
}

void TTrendPlot::Begin(Clock::time_point start, int typeCode) {
    start_ = std::chrono::floor<std::chrono::milliseconds>(start);
    typeCode_ = typeCode;
    for (int k = 0; k < graphCount(); ++k) graph(k)->data()->clear();
    for (QCPGraph* g : {bandLow_, bandHigh_, mean_, errLow_, errHigh_, sigmaLow_, sigmaHigh_}) g->setVisible(false);
    for (QCPGraph* g : {mean_, errHigh_, sigmaHigh_}) g->removeFromLegend();
    bandHigh_->removeFromLegend();
    failures_.clear();
    reasons_.clear();
    for (QCPItemRect* gap : std::exchange(gaps_, {})) removeItem(gap);
    goodCount_ = 0;
    RemoveCurves();
    ClearMarkers();
    SetClockTime(xAxis->ticker().dynamicCast<TClockTicker>() != nullptr);
    SetFollowing(true);
    FollowNewest();
    Refresh();
}

double TTrendPlot::SecondsAt(Clock::time_point when) const {
    return std::chrono::duration<double>(when - start_).count();
}

void TTrendPlot::SetSpan(double seconds) {
    span_ = std::clamp(seconds, kMinSpanS, kMaxSpanS);
    if (following_) {
        FollowNewest();
    } else {
        const double middle = xAxis->range().center();
        xAxis->setRange(middle - span_ / 2, middle + span_ / 2);
    }
    Refresh();
}

double TTrendPlot::Span() const { return span_; }

void TTrendPlot::SetFollowing(bool on) {
    if (following_ == on) return;
    following_ = on;
    if (on) {
        FollowNewest();
        Refresh();
    }
    emit FollowingChanged(on);
}

void TTrendPlot::SetClockTime(bool on) {
    if (on)
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TClockTicker(
            std::chrono::duration_cast<std::chrono::milliseconds>(start_.time_since_epoch()).count())));
    else
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    xAxis->setLabel(on ? QStringLiteral("czas") : QStringLiteral("czas [s]"));
    Refresh();
}

void TTrendPlot::SetBand(std::optional<TBand> band) {
    bandLow_->setVisible(band.has_value());
    bandHigh_->setVisible(band.has_value());
    if (!band) {
        bandHigh_->removeFromLegend();
        Refresh();
        return;
    }
    const double newest = readings_->data()->isEmpty() ? band->From : (readings_->data()->constEnd() - 1)->key;
    SetTwoPoints(bandLow_, band->From, newest, band->Middle - band->Allowed / 2);
    SetTwoPoints(bandHigh_, band->From, newest, band->Middle + band->Allowed / 2);
    bandHigh_->setBrush(band->Stable ? kStableColor : kUnstableColor);
    bandHigh_->addToLegend();
    Refresh();
}

void TTrendPlot::ShowCalibration(double mean, double err, double sigma) {
    if (readings_->data()->isEmpty()) return;
    const double from = readings_->data()->constBegin()->key;
    const double to = (readings_->data()->constEnd() - 1)->key;
    SetTwoPoints(mean_, from, to, mean);
    SetTwoPoints(errLow_, from, to, mean - err);
    SetTwoPoints(errHigh_, from, to, mean + err);
    SetTwoPoints(sigmaLow_, from, to, mean - sigma);
    SetTwoPoints(sigmaHigh_, from, to, mean + sigma);
    for (QCPGraph* g : {mean_, errLow_, errHigh_, sigmaLow_, sigmaHigh_}) g->setVisible(true);
    for (QCPGraph* g : {sigmaHigh_, errHigh_, mean_}) g->addToLegend();
    // The whole run in view.
    span_ = std::clamp((to - from) * 1.05 + 0.5, kMinSpanS, kMaxSpanS);
    FollowNewest();
    Refresh();
}

void TTrendPlot::FollowNewest() {
    if (!following_) return;
    double newest = 0;
    if (!readings_->data()->isEmpty()) newest = (readings_->data()->constEnd() - 1)->key;
    if (!failures_.empty()) newest = std::max(newest, failures_.back().T);
    newest = std::max(newest, NewestCurveTime());
    const double from = std::max(0.0, newest - span_);
    xAxis->setRange(from, from + span_);
    FitValues();
}

void TTrendPlot::ShowPointsWhenFew(const QCPRange& range) {
    // Each reading a dot only where the dots stand apart: drawing thousands of
    // them would cost a second a frame.
    const auto dots = [&](QCPGraph* line) {
        const auto data = line->data();
        const int inView = static_cast<int>(data->findEnd(range.upper) - data->findBegin(range.lower));
        const bool few = inView <= std::max(axisRect()->width(), 200) / 4;
        if (few != (line->scatterStyle().shape() != QCPScatterStyle::ssNone))
            line->setScatterStyle(few ? QCPScatterStyle(QCPScatterStyle::ssDisc, 4) : QCPScatterStyle());
    };
    dots(readings_);
    for (const TCurve& curve : curves_) dots(curve.Line);
}

void TTrendPlot::ClampSpan(const QCPRange& range) {
    ShowPointsWhenFew(range);
    if (!following_) FitValues();
    if (clamping_) return;
    const double size = std::clamp(range.size(), kMinSpanS, kMaxSpanS);
    if (size == range.size()) {
        span_ = size;
        return;
    }
    clamping_ = true;
    const double middle = range.center();
    xAxis->setRange(middle - size / 2, middle + size / 2);
    span_ = size;
    clamping_ = false;
    ShowPointsWhenFew(xAxis->range());
}

void TTrendPlot::Refresh() {
    if (isVisible()) replot(rpQueuedReplot);
}

void TTrendPlot::wheelEvent(QWheelEvent* event) {
    SetFollowing(false);
    QCustomPlot::wheelEvent(event);
}

void TTrendPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier)) {
        // Markers A and B in turn; the view stays where it is.
        SetMarker(nextMarker_, xAxis->pixelToCoord(event->position().x()));
        nextMarker_ ^= 1;
        event->accept();
        return;
    }
    SetFollowing(false);
    QCustomPlot::mousePressEvent(event);
}

void TTrendPlot::showEvent(QShowEvent* event) {
    QCustomPlot::showEvent(event);
    FollowNewest();
    replot(rpQueuedReplot);
}

}  // namespace vyx::ui
