// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1's overrides of TSequenceView (SequenceView.cpp, ServiceMenu.cpp), read
// inside TForm1's declaration in ui/MainWindow.h and nowhere else, hence no
// guard: what the sequences ask of the window (the controls a running activity
// disables, monitoring's timer, the mean, a pause, an interruption's line, a run held while its adapter is away, a
// calibration's record and verdict, every reading, the question before a write).
    void ActivityChanged(TActivity now) override;
    void MonitoringStarted(int periodMs) override;
    void MonitoringStopped() override;
    void ShowMean(std::u16string_view text) override;
    bool Pause(int ms) override;
    void SequenceInterrupted(std::u16string_view line) override;
    bool HoldsRunWhilePortAway() override;
    void CalibrationRecorded(const service::TCalibrationRun& run, bool sameRun) override;
    void Reading(TActivity activity, const TNode& node, const TReading& reading) override;
    void CalibrationStarted() override;
    std::optional<std::u16string> CalibrationVerdict(const std::vector<TReading>& readings) override;
    bool AsksBeforeWriting() const override { return true; }
    bool ConfirmWrite(const TWriteQuestion& question) override;
