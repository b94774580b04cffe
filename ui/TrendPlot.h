// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trend plot: the good readings of one register against time, failed
// readings as marks on the time axis, the stability band over the last N
// readings, and a calibration's mean with the uncertainty of the mean and the
// readings' ± σ band. The readings live in the plot's own data, 16 bytes each
// (time and value), which is also what "Zapisz CSV" writes: nothing is kept
// twice.
//
// Or the curves of a set of signals (BeginSet): one per signal in its colour, on
// the left or the right value axis, a failed reading marked in its colour on the
// time axis. Two markers (Ctrl+click, then Ctrl+click) stand across every curve.
//
// Time runs in seconds from the start of the series; the axis shows either those
// seconds or the clock time. While following, the visible span ends at the newest
// reading; dragging or zooming with the mouse stops following (Following() turns
// false and FollowingChanged is emitted). The span stays between 10 s and 1 h.
// The value axes fit the readings in view, unless fixed (SetValuesFixed): then
// the wheel and the mouse move them too.
#include <qcustomplot.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vyx::ui {

inline constexpr double kMinSpanS = 10;
inline constexpr double kMaxSpanS = 3600;
// More readings than this (some 55 hours at 100 ms) drop the oldest.
inline constexpr int kMaxPlotReadings = 2'000'000;

class TTrendPlot : public QCustomPlot {
    Q_OBJECT
public:
    explicit TTrendPlot(QWidget* parent = nullptr);

    // Empties the plot for a new series starting now; `typeCode` formats the values.
    void Begin(std::chrono::system_clock::time_point start, int typeCode);
    std::chrono::system_clock::time_point Start() const { return start_; }
    int TypeCode() const { return typeCode_; }

    // Seconds since the start of the series.
    double SecondsAt(std::chrono::system_clock::time_point when) const;
    void AddGood(double t, double value);
    void AddFailure(double t, const QString& reason);
    // The connection was away from `from` to `to`: the span shaded, the line
    // broken, and a mark at its end that `reason` explains.
    void AddGap(double from, double to, const QString& reason);
    int GapCount() const { return static_cast<int>(gaps_.size()); }
    int GoodCount() const { return goodCount_; }
    int FailureCount() const { return static_cast<int>(failures_.size()); }
    // The good readings, and a NaN value after each failure that breaks the line.
    QSharedPointer<QCPGraphDataContainer> ReadingsData() const { return readings_->data(); }
    std::optional<double> LastFailureTime() const {
        return failures_.empty() ? std::nullopt : std::optional<double>(failures_.back().T);
    }

    // The visible span in seconds (clamped to 10 s .. 1 h) and following the newest.
    void SetSpan(double seconds);
    double Span() const;
    void SetFollowing(bool on);
    bool Following() const { return following_; }
    // The axis in clock time (HH:mm:ss) or in seconds from the start.
    void SetClockTime(bool on);

    // The band of the stability rule: `allowed` wide around the middle of the last
    // readings' range, from `from` to the newest reading; green when stable,
    // amber when not. None hides it.
    struct TBand {
        double From, Middle, Allowed;
        bool Stable;
    };
    void SetBand(std::optional<TBand> band);
    // The band's upper edge, which carries its fill.
    const QCPGraph* Band() const { return bandHigh_; }

    // A finished calibration: its mean, ± err (the uncertainty of the mean) and
    // ± σ of its readings, across the readings' time.
    void ShowCalibration(double mean, double err, double sigma);

    // Every reading the plot holds, in time order, as CSV lines (no line ends).
    void ForEachCsvLine(const std::function<void(const std::string&)>& line) const;

    // The set's curves (TrendCurves.cpp). BeginSet empties the plot for a new
    // series of the set; Restyle changes colours, axes and hiding, keeping the data.
    struct TCurveLook {
        QString Name;
        QColor Colour;
        bool Right = false;
        bool Hidden = false;
        int TypeCode = 0;
    };
    void BeginSet(std::chrono::system_clock::time_point start, const std::vector<TCurveLook>& looks);
    void Restyle(const std::vector<TCurveLook>& looks);
    int CurveCount() const { return static_cast<int>(curves_.size()); }
    // One round at `t`: each curve's value, none where the reading failed (and why).
    void AddRound(double t, const std::vector<std::optional<double>>& values, const std::vector<QString>& reasons);
    // A curve's readings, and a NaN value after each failure; curve -1 is the single register's.
    QSharedPointer<QCPGraphDataContainer> CurveData(int curve) const;
    // Every round the plot holds, in time order: its time, each curve's value or
    // none, and the reasons of the failed ones.
    void ForEachRound(const std::function<void(double t, const std::vector<std::optional<double>>&,
                                               const std::vector<QString>&)>& round) const;
    // Keeps the value axes as they are (the mouse moves them), or fits them to the view.
    void SetValuesFixed(bool on);

    // The two markers, 0 and 1 (A and B), at a time in seconds; none until set.
    void SetMarker(int which, double t);
    std::optional<double> Marker(int which) const { return markers_[which & 1].T; }
    void ClearMarkers();

    // Draws after a change: coalesced into one replot per pass of the event loop,
    // and none while hidden.
    void Refresh();
    // The series from its first point to its last filling the width, however
    // short (a run of a second is narrower than the least span), with room above
    // it for the legend; the view stays as it was. As in view without points.
    QPixmap SeriesPixmap(int width, int height);

signals:
    void FollowingChanged(bool on);
    void MarkersChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FollowNewest();
    // The value axes to the readings in view, unless fixed.
    void FitValues();
    void FitCurves(const QCPRange& view);
    double NewestCurveTime() const;
    void RemoveCurves();
    void ClampSpan(const QCPRange& range);
    void ShowPointsWhenFew(const QCPRange& range);
    QCPGraph* BandGraph(const QColor& color = {}, QCPGraph* lower = nullptr);

    std::chrono::system_clock::time_point start_{};
    int typeCode_ = 0;
    QCPGraph* readings_;
    QCPGraph* failed_;  // on the hidden right axis, so the marks sit at the bottom whatever the zoom
    QCPGraph* bandLow_;
    QCPGraph* bandHigh_;
    QCPGraph* mean_;
    QCPGraph* errLow_;
    QCPGraph* errHigh_;
    QCPGraph* sigmaLow_;
    QCPGraph* sigmaHigh_;
    struct TFailure {
        double T;
        uint16_t Reason;
    };
    std::vector<TFailure> failures_;
    QStringList reasons_;  // the few distinct reasons, by index
    std::vector<QCPItemRect*> gaps_;
    int goodCount_ = 0;
    struct TCurve {
        QCPGraph* Line;
        QCPGraph* Failed;
        std::vector<TFailure> Failures;
        int TypeCode;
        bool Hidden;
    };
    std::vector<TCurve> curves_;
    std::vector<double> roundTimes_;
    QCPAxis* failAxis_;  // hidden, 0 to 1: the failure marks of the set's curves
    struct TMarker {
        std::optional<double> T;
        QCPItemStraightLine* Line = nullptr;
        QCPItemText* Label = nullptr;
    };
    TMarker markers_[2];
    int nextMarker_ = 0;
    bool valuesFixed_ = false;
    double span_ = 60;
    bool following_ = true;
    bool clamping_ = false;
};

}  // namespace vyx::ui
