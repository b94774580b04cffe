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
#include <QRect>
#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registers/RegData.h"
#include "sequences/Readings.h"
#include "sequences/Sequences.h"
#include "ui/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vyx::ui {

class TBoxes;
class TCutLabel;
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
    // Starts recording into `folder` (the one asked for when empty), or stops it.
    void SetRecording(bool on, const QString& folder = {});

    TTrendSettings Settings() const;
    void ApplySettings(const TTrendSettings& settings);

private:
    // The controls, their layout and their connections (TrendLayout.cpp).
    void BuildControls();
    void BeginSeries(TActivity activity, const TRegData& record, std::chrono::system_clock::time_point when);
    void RuleChanged();
    void ShowStats();
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
};

}  // namespace vyx::ui
