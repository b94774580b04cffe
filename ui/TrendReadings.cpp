// SPDX-License-Identifier: GPL-3.0-or-later
// The single series' readings, failures and gaps as they come in, and what
// leaves the plot of them: its CSV lines and the picture of the whole series.
#include <algorithm>
#include <cmath>
#include <limits>

#include "sequences/Readings.h"
#include "ui/TrendPlot.h"

namespace vyx::ui {

void TTrendPlot::AddGood(double t, double value) {
    readings_->addData(t, value);
    ++goodCount_;
    if (!following_) ShowPointsWhenFew(xAxis->range());
    if (readings_->data()->size() > kMaxPlotReadings) {
        // Drops a tenth at a time, so a full plot does not move its data every reading.
        const auto cut = readings_->data()->constBegin() + kMaxPlotReadings / 10;
        for (auto it = readings_->data()->constBegin(); it != cut; ++it) goodCount_ -= !std::isnan(it->value);
        readings_->data()->removeBefore(cut->key);
        const double oldest = readings_->data()->constBegin()->key;
        failures_.erase(failures_.begin(), std::lower_bound(failures_.begin(), failures_.end(), oldest,
                                                            [](const TFailure& f, double key) { return f.T < key; }));
        failed_->data()->removeBefore(oldest);
    }
    FollowNewest();
    Refresh();
}

void TTrendPlot::AddFailure(double t, const QString& reason) {
    int index = static_cast<int>(reasons_.indexOf(reason));
    if (index < 0) {
        index = static_cast<int>(reasons_.size());
        reasons_ << reason;
    }
    failures_.push_back({t, static_cast<uint16_t>(std::min(index, 0xFFFF))});
    failed_->addData(t, 0.03);
    // The line breaks here: no value joins the readings either side of a failure.
    if (!readings_->data()->isEmpty() && !std::isnan((readings_->data()->constEnd() - 1)->value))
        readings_->addData(t, std::numeric_limits<double>::quiet_NaN());
    FollowNewest();
    Refresh();
}

void TTrendPlot::AddGap(double from, double to, const QString& reason) {
    auto* gap = new QCPItemRect(this);
    gap->setClipToAxisRect(true);
    gap->setLayer(QStringLiteral("background"));
    gap->setPen(Qt::NoPen);
    gap->setBrush(QColor(128, 128, 128, 50));
    // From the top to the bottom of the plot, whatever the value axis shows.
    for (QCPItemPosition* corner : {gap->topLeft, gap->bottomRight}) {
        corner->setTypeX(QCPItemPosition::ptPlotCoords);
        corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    gap->topLeft->setCoords(from, 0);
    gap->bottomRight->setCoords(to, 1);
    gaps_.push_back(gap);
    // A set's curves are broken by their own rounds; the single series by its failure.
    if (curves_.empty()) AddFailure(to, reason);
}

void TTrendPlot::ForEachCsvLine(const std::function<void(const std::string&)>& line) const {
    const auto at = [this](double t) { return start_ + std::chrono::milliseconds(std::llround(t * 1000)); };
    auto good = readings_->data()->constBegin();
    const auto goodEnd = readings_->data()->constEnd();
    auto bad = failures_.begin();
    while (good != goodEnd || bad != failures_.end()) {
        if (good != goodEnd && std::isnan(good->value)) {
            ++good;  // the break after a failure
        } else if (bad == failures_.end() || (good != goodEnd && good->key <= bad->T)) {
            line(CsvLine(at(good->key), FormatReading(typeCode_, good->value), {}));
            ++good;
        } else {
            line(CsvLine(at(bad->T), {}, reasons_.value(bad->Reason).toStdString()));
            ++bad;
        }
    }
}

QPixmap TTrendPlot::SeriesPixmap(int width, int height) {
    double first = 0, last = 0;
    bool any = false;
    const auto take = [&](double t) {
        first = any ? std::min(first, t) : t;
        last = any ? std::max(last, t) : t;
        any = true;
    };
    if (!readings_->data()->isEmpty()) {
        take(readings_->data()->constBegin()->key);
        take((readings_->data()->constEnd() - 1)->key);
    }
    for (const TFailure& f : failures_) take(f.T);
    if (!any) return toPixmap(width, height);
    const QCPRange shown = xAxis->range(), values = yAxis->range();
    const double pad = std::max((last - first) * 0.03, 0.05);
    clamping_ = true;  // the least span does not hold for a picture
    xAxis->setRange(first - pad, last + pad);
    FitValues();
    // The legend stands in the upper left corner: the series keeps below it.
    const QCPRange fitted = yAxis->range();
    yAxis->setRange(fitted.lower, fitted.upper + fitted.size() * 0.6);
    QPixmap pixmap = toPixmap(width, height);
    xAxis->setRange(shown);
    yAxis->setRange(values);
    clamping_ = false;
    ShowPointsWhenFew(shown);
    return pixmap;
}

}  // namespace vyx::ui
