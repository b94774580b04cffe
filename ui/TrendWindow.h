// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot window ("Wykres", F6): a window of its own beside the main one, with
// the trend plot of the register being monitored or calibrated, the statistics
// over the last N good readings, the stability signal, and the ways to keep what
// it shows: "Zapisz CSV", "Zapisz obraz", and recording straight to dated CSV
// files while monitoring runs.
//
// The main window hands it every monitoring and calibration reading. A reading of
// another register, or of another activity, begins a new series; monitoring the
// same register again continues its series. Its status line is its own (the main
// status bar is emptied every few seconds).
//
// Or it follows a set of signals (TrendSet.cpp): registers of the units on the
// port's line, listed below the plot. While the set runs ("Start"), a round
// reads each signal once per period, one after another, as one job on the
// main window's bus; the plot draws a curve per signal, each judged by the
// stability rule with its own tolerance, and the recording takes one CSV line
// per round. Monitoring readings then stay out of the plot.
#include <QRect>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modbus/Bus.h"
#include "registers/RegData.h"
#include "sequences/Readings.h"
#include "sequences/Sequences.h"
#include "sequences/Signals.h"
#include "ui/Settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace vyx::ui {

class TBoxes;
class TCutLabel;
class TSignalList;
class TTrendPlot;

class TTrendWindow : public QWidget {
    Q_OBJECT
public:
    TTrendWindow(TBoxes& boxes, QWidget* mainWindow);
    ~TTrendWindow() override;

signals:
    // Recording stopped on an error: the text that says why. It never opens a
    // box, as it comes inside a reading and monitoring goes on. An empty text
    // once the recording is switched on or off again.
    void RecordingStopped(const QString& why);
    // The communication pane's lines of a round's exchanges; `sent`: a request
    // went out, `heard`: something came back to one.
    void RoundExchanged(const std::vector<std::u16string>& lines, bool sent, bool heard);

public:

    TTrendPlot* Plot;
    TCutLabel* lbTitle;  // the register, its unit text, cut to the width
    QComboBox* cbxSpan;
    QCheckBox* cbAuto;
    QCheckBox* cbClock;
    QLineEdit* eN;
    QLineEdit* eTolerance;
    QLabel* lbCount;
    QLabel* lbMin;
    QLabel* lbMax;
    QLabel* lbMean;
    QLabel* lbSigma;
    QLabel* lbSpread;
    QPushButton* btCsv;
    QPushButton* btImage;
    QPushButton* btRecord;  // checkable: recording to files runs while it is down
    QLineEdit* eFileMb;     // a new file every N MB; empty: every day only
    QLabel* stStatus;
    QGroupBox* gbStats;
    // The set of signals, its period and "Start"/"Stop"; the value axes fixed or fitted.
    TSignalList* Signals;
    QLineEdit* ePeriod;
    QPushButton* btStart;  // checkable: the set runs while it is down
    QCheckBox* cbFixed;
    // The markers: Δt, and per curve the values at A and B, Δ, min, max and mean between.
    QLabel* lbMarkers;
    QTreeWidget* twMarkers;

    // Shows the window (beside the main one the first time) and brings it up.
    void Open();

    // A monitoring or calibration reading of `record`, taken at `when`; `reason`
    // says why a failed one failed.
    void Reading(TActivity activity, const TRegData& record, std::chrono::system_clock::time_point when,
                 const TReading& reading, const QString& reason);
    // The connection was away from `from` to `to` (`line` says so, as the result
    // pane does): the series shows the gap, and a recording gets a line with
    // `line` as its reason. Nothing without a series.
    void Gap(std::chrono::system_clock::time_point from, std::chrono::system_clock::time_point to,
             const QString& line);
    // The next calibration reading begins a new series.
    void CalibrationBegins() { fresh_ = true; }
    // A calibration ended with these samples (the value texts) and readings:
    // the plot shows its mean, ± err and ± σ; with a tolerance set, the line
    // that says whether it was stable.
    std::optional<std::u16string> CalibrationFinished(const std::vector<std::u16string>& samples,
                                                      const std::vector<TReading>& readings);

    // The statistics and the stability rule over the readings of the series.
    const TStability& Stability() const { return stability_; }
    bool Recording() const { return recorder_ != nullptr; }
    const TCsvRecorder* Recorder() const { return recorder_.get(); }

    // The buttons' work; the file or folder comes from the boxes.
    void SaveCsv();
    void SaveImage();
    // The plot as it stands, as a PNG image at least 640 × 400, with a title line
    // (the register and the date) when `titled`; empty when it cannot be drawn.
    std::string PlotPng(bool titled = false);
    // The whole series (a calibration run as a report shows it) as such an
    // image, without a title.
    std::string SeriesPng();
    // Starts recording into `folder` (the one asked for when empty), or stops it.
    void SetRecording(bool on, const QString& folder = {});

    TTrendSettings Settings() const;
    void ApplySettings(const TTrendSettings& settings);

    // The bus the set's rounds go out on, and the line they go out with.
    void UseBus(TBus& bus, std::function<TLineSettings()> line);
    // The signals of `port` (a port path) are listed; a running set stops.
    void ShowPort(const QString& port);
    // "Dodaj do wykresu": adds a signal to the port's list; false when it is
    // listed already or no port is chosen (the status line says so).
    bool AddSignal(const TTrendSignal& signal);
    // "Start" and "Stop" of the set: false when it cannot start (the status line says why).
    bool StartSet();
    void StopSet();
    bool SetRunning() const { return setRunning_; }
    // While the adapter is away the rounds wait, the set still running; they go
    // on at once when it is back.
    void HoldSet();
    void ResumeSet();
    // The set's signals and the stability of each, in the list's order.
    std::vector<TSignal> SignalSet() const;
    const std::vector<TStability>& SetStability() const { return setStability_; }
    // One round of the set read: into the plot, the statistics and the recording.
    void RoundRead(const TRound& round);

private:
    // The controls, their layout and their connections (TrendLayout.cpp).
    void BuildControls();
    // The job of one round on the bus; none while the last one is out.
    void PostRound();
    void SetChanged();
    // The list's colours, names, axes and ticks onto the plot's curves.
    void RestylePlot();
    // Each signal's rule: N of the window, its tolerance or the window's; false when one does not hold.
    bool SetRules(bool keepReadings);
    void ShowSetStats();
    void ShowSetStatus();
    void ShowMarkers();
    std::string SetCsvLine(double t, const std::vector<std::optional<double>>& values,
                           const std::vector<QString>& reasons) const;
    void BeginSeries(TActivity activity, const TRegData& record, std::chrono::system_clock::time_point when);
    void RuleChanged();
    void ShowStats();
    // The statistics fields for readings of a register of this type.
    void ShowStatsOf(const TReadingStats& stats, int typeCode);
    // The status line: `text`, then the recording's file and its error, on `background`.
    void ShowStatusLine(QString text, const QColor& background);
    void ShowStatus();
    void Record(const std::string& line, std::chrono::system_clock::time_point when);
    QString SuggestedName(const QString& extension) const;
    // The register's name as part of a file name: letters and digits, the rest "_".
    QString FilePrefix() const;

    TBoxes& boxes_;
    TStability stability_;
    bool ruleValid_ = true;
    bool fresh_ = true;
    TActivity activity_ = TActivity::Idle;
    TRegData record_;
    int typeCode_ = 0;
    double newest_ = 0;  // seconds of the newest reading
    bool placed_ = false;
    QString saveFolder_;
    std::unique_ptr<TCsvRecorder> recorder_;
    std::filesystem::path recordFolder_;
    uint64_t recordBytes_ = 0;
    QString recordError_;

    TBus* bus_ = nullptr;
    std::function<TLineSettings()> line_;
    QTimer* roundTimer_ = nullptr;
    bool setRunning_ = false;
    bool setShown_ = false;     // the plot shows the set's curves
    bool roundOut_ = false;     // a round is on the bus
    uint64_t setGeneration_ = 0;  // counts starts and stops: a round of an older run is not drawn
    int periodMs_ = 1000;
    double roundS_ = 0;         // how long the last round took
    std::vector<TSignal> set_;  // of the set running or shown
    std::vector<TStability> setStability_;
    QString setRuleError_;
};

}  // namespace vyx::ui
