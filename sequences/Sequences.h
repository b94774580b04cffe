// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register operations of the window and the sequences that repeat them: a
// read of one register or the walk of a group, a write, monitoring one register
// at a fixed period, and the calibration, which averages repeated readings of
// "R0" and writes the mean into "N100" or "N400". Nothing here knows a toolkit:
// the window and `vyx walk`, `vyx monitor`, `vyx calibrate` each own one
// TSequences, hand it their controls' texts, and show what it asks for.
//
// Steps driven by results. Every step is one exchange; its completion ends in
// OnNextStep, which only records the step that follows. On an inline bus (`vyx`)
// the result is handled before the exchange returns, and the sequence runs its
// recorded steps one after another in a loop, at a constant stack depth. On a
// worker bus (the window) the exchange returns at once; its result, handled
// later in the window's thread, drives the next step. The order of reads,
// writes, result lines and samples is the same either way.
//
// One exchange at a time. While a sequence runs or an exchange is out (Busy()),
// the handlers below refuse to start anything, and the window leaves the tree's
// clicks, double-clicks, edits and ticks alone. While a walk or a calibration
// runs, or monitoring, the window disables the controls that EnabledControlsFor
// gives for that activity. Stop() ends a sequence at once; an exchange still
// out is shown when its result comes and drives nothing.
//
// Keeping a record (KeepRecord). Each completed calibration becomes a run of
// service/CalibrationRecord.h, handed to the view; "Zapisz" then reads the
// register just before the write, writes, reads it back and compares the words
// read with the words written: three steps of the same loop, and nothing else
// is sent to the device. Without a record, "Zapisz" sends its one write, unless
// the view asks before writing (the window): then it takes the same three steps,
// with the view's answer between the read and the write.
//
// Build first, then arm. Every handler builds what it sends (to the slave,
// the register, "R0") before it changes any state or prints anything:
// a refused request raises vyx::Error and leaves nothing half-started. Errors
// come out of the handlers as vyx::Error, after the running sequence has ended
// and its flags are cleared; the window shows them in its error box.
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/Transaction.h"
#include "registers/RegisterTree.h"
#include "sequences/Readings.h"
#include "service/CalibrationRecord.h"

namespace vyx {

// What runs now; a walk and a calibration never run beside monitoring.
enum class TActivity { Idle, Walk, Calibration, Monitoring };

// The controls the window leaves enabled while an activity runs (true: enabled).
// Tree stands for every input the register tree takes (mouse, keys, edits).
// The others: the calibration's start and the writing of its mean, the
// restart, monitoring, and the choice of device file, port, speed and parity.
struct TEnabledControls {
    bool Tree, Calibrate, WriteMean, Reset, Monitor, DeviceFile, Port, Speed, Parity;
    bool operator==(const TEnabledControls&) const = default;
};
TEnabledControls EnabledControlsFor(TActivity activity);

// What a view that asks before "Zapisz" writes is told: the register, the
// point chosen, the value text to write, and the register's value in the
// device read just before, or why that read failed.
struct TWriteQuestion {
    const TNode* Node = nullptr;
    std::u16string Point;   // "100R" or "400R"
    std::u16string Value;   // to be written
    std::optional<std::u16string> DeviceValue;  // none when the read failed
    std::string Unread;     // why it failed, as the result pane says it
};

// What the sequences need of the window beyond the panes and message boxes of
// TTransactionView.
class TSequenceView {
public:
    virtual ~TSequenceView() = default;
    // The activity changed: enable the controls of EnabledControlsFor(now).
    virtual void ActivityChanged(TActivity now) = 0;
    // Monitoring runs: the view's timer gets the period and starts, and calls
    // MonitorTick at each.
    virtual void MonitoringStarted(int periodMs) = 0;
    // Monitoring ended or was refused: the timer stops and the monitoring box
    // is unticked (without starting or stopping anything).
    virtual void MonitoringStopped() = 0;
    // The calibration's mean, into the field StartCalibration's mean is written from.
    virtual void ShowMean(std::u16string_view text) = 0;
    // The pause between two calibration readings: true when it is over on
    // return; false when the view calls TSequences::PauseOver once it is.
    virtual bool Pause(int ms) = 0;
    // A failed reading ended a walk or a calibration, or a reading that could not
    // be sent ended monitoring: the line that says why and where, "przerwano:
    // REASON" (a walk "przerwano przy 40003 N400: REASON", a calibration adds
    // " (odczyt K z N)"). The window adds it to the result pane; `vyx` says the
    // reason its own way.
    virtual void SequenceInterrupted(std::u16string_view) {}
    // A monitoring reading could not be sent because the port has gone away (an
    // adapter pulled out): true when the view waits for the adapter and resumes
    // the run itself (MonitorTick again once the port is back); the run then stays,
    // paused. False ends it with "przerwano: REASON". A walk or a calibration
    // never waits: its results would mix two connections.
    virtual bool HoldsRunWhilePortAway() { return false; }
    // A monitoring or calibration reading of `node` completed: good, with the
    // value text in the node's record and its number in the reading, or failed
    // (the transaction's outcome says why).
    virtual void Reading(TActivity, const TNode& /*node*/, const TReading& /*reading*/) {}
    // A calibration begins: its readings follow through Reading.
    virtual void CalibrationStarted() {}
    // After a calibration's err line: a line on whether its readings were
    // stable, or none to leave the summary as it is.
    virtual std::optional<std::u16string> CalibrationVerdict(const std::vector<TReading>& /*readings*/) {
        return std::nullopt;
    }
    // While a record is kept: a calibration completed, or "Zapisz" ended (its
    // result line shown). `sameRun` is true when the run is the one handed over
    // last, now with its write; false for a new run (one without readings when
    // "Zapisz" did not follow a run of its point, or followed one already written).
    virtual void CalibrationRecorded(const service::TCalibrationRun& /*run*/, bool /*sameRun*/) {}
    // True: "Zapisz" reads the register, asks ConfirmWrite (after a failed read
    // too), and writes only on true, then reads it back, whether a record is kept
    // or not. ConfirmWrite is asked while the sequence is Busy(), inside the read's
    // result; false writes nothing and ends with "nie zapisano: nie potwierdzono".
    virtual bool AsksBeforeWriting() const { return false; }
    virtual bool ConfirmWrite(const TWriteQuestion& /*question*/) { return true; }
};

// -1 without a node, otherwise the access code of its Access keyword
// (RO 1, RW 16, RP 17; 0 for a group, a bit child or an unknown keyword).
int AccessCodeOf(const TNode* node);

// The calibration summary of the sample texts. The mean is the sum (with the
// rounding term n div 2) divided by n, rounded toward minus infinity, in 64-bit
// whole numbers: half up for negative readings too. err is the root of the sum
// of squared deviations (formed in double precision) divided by n, stored in
// single precision. Empty without samples; a sample that is not a whole number
// (an empty one after a failed read) raises the integer conversion's error.
struct TCalibrationSummary {
    int32_t Mean;
    float Err;
    std::u16string MeanLine;  // "========", spaces, the mean at column 20, one space
    std::u16string ErrLine;   // "err: ", spaces, err at column 20, one space
};
std::optional<TCalibrationSummary> SummariseCalibration(const std::vector<std::u16string>& samples);

// err with 3 decimals and the decimal comma; with more than 8 digits before the
// comma, 8 significant digits in exponent form: "1,5000000E+09".
std::u16string FormatErr(float err);

inline constexpr int kCalibrationPauseMs = 200;
inline constexpr int kMinimumPeriodMs = 100;

// The window owns one, beside its TTransaction, and:
// - forwards TTransactionView::OnNextStep to OnNextStep;
// - calls the operations below from its controls, with the numbers of its
//   fields (the slave address, the period, the count) parsed at its edge, and
//   MonitorTick from its monitoring timer;
// - while Busy(), ignores clicks, double-clicks, edits and ticks in the tree and
//   the choice of another device file (the nodes of a running step must live);
// - calls Stop() when it closes and before it loads another device file.
class TSequences {
public:
    // `panes` is the view of `transaction`: result lines and message boxes.
    TSequences(TTransaction& transaction, TTransactionView& panes, TSequenceView& window);

    // The tree whose registers the calibration finds by name.
    void UseTree(const TRegisterTree* tree) { tree_ = tree; }
    // The register the technician points at (a click in the tree); a walk
    // moves it along the registers it reads, and leaves it on the last one.
    TNode* CurrentNode() const { return current_; }
    void Select(TNode* node) { current_ = node; }

    // The window forwards TTransactionView::OnNextStep here.
    void OnNextStep();

    // A sequence runs or an exchange is out: nothing may start another.
    bool Busy() const { return running_ || t_.InFlight(); }
    TActivity Activity() const;
    bool Monitoring() const { return monitoring_; }
    bool WalkMode() const { return walkMode_; }
    bool CalibrationActive() const { return calibrationActive_; }
    int32_t SamplesLeft() const { return samplesLeft_; }
    const std::vector<std::u16string>& CalibrationSamples() const { return samples_; }
    // The point of the calibration started last ("100R", ...); once it has
    // completed, CalibrationSamples holds its readings.
    const std::u16string& CalibrationPoint() const { return calibrationPoint_; }

    // The first node in tree order named exactly `name`; none without a tree.
    TNode* FindRegisterByName(std::u16string_view name) const;

    // Double-click on a name: reads a register, or walks a group (its registers
    // in tree order, into child groups, never below a register). Nothing for
    // none, a bit child or a group without registers.
    void StartRead(TNode* node, const TSlave& slave);
    // After an edit or a tick: writes `node` when it is RW or RP, and makes it current.
    void Write(TNode* node, const TSlave& slave);
    // "Reset": the restart diagnostic; false when nothing goes out (something
    // runs, or the broadcast address).
    bool Reset(const TSlave& slave);

    // Starts monitoring `node` every `periodMs`: an empty line, the heading, the
    // first read; refused (the view's box unticked) for a period below 100,
    // while busy, for none, a group or a bit child.
    void StartMonitoring(TNode* node, int32_t periodMs, const TSlave& slave);
    // Stops it, after "nieudane odczyty: F z N" when F of the N readings failed.
    void StopMonitoring();
    // One monitoring read; skipped while the last one is still out. A read that
    // cannot be sent stops monitoring, with "przerwano: REASON" and, once the
    // run has read, no box; unless the port went away and the view holds the run
    // until it is back (HoldsRunWhilePortAway).
    void MonitorTick();
    // "Start": the calibration at `point` ("100R", "400R", ...), `count`
    // readings of "R0", then the summary. A failed reading ends it at once,
    // without a summary.
    void StartCalibration(std::u16string_view point, int32_t count, const TSlave& slave);
    // "Zapisz": at "100R" or "400R", the mean (its text) into "N100" or
    // "N400", when that register is RW or RP and typed. Empty when it started;
    // otherwise why nothing was sent ("wybierz wielkość 100R lub 400R", ...),
    // and nothing changes.
    std::u16string WriteMean(std::u16string_view point, std::u16string_view mean, const TSlave& slave);

    // Keeps a record of each calibration and verifies each "Zapisz" (see the
    // top of this file); `device` is the device file's name the runs carry.
    void KeepRecord(bool on, std::string device = {});
    bool KeepingRecord() const { return keepRecord_; }
    // The run handed to the view last; none before the first.
    const std::optional<service::TCalibrationRun>& LastRun() const { return run_; }

    // Ends monitoring and any walk or calibration, clearing their flags;
    // forgets the nodes they held. An exchange still out ends on its own.
    void Stop();
    // The view's pause (Pause returned false) is over: the sequence goes on.
    void PauseOver();

private:
    // VerifyBefore, VerifyWrite and VerifyAfter: the reads around a recorded write.
    enum class TStepKind { None, Read, Write, WriteIfWritable, Reset, VerifyBefore, VerifyWrite, VerifyAfter };
    struct TStep {
        TStepKind Kind = TStepKind::None;
        TNode* Node = nullptr;
        int PauseMs = 0;  // waited before the step
    };

    // Runs the sequence that begins with `step`; `after` is called when it has
    // ended: whether its last step completed, and whether it ended on an error.
    // No box opens in the middle of a sequence: every step after the first, and
    // the first too when `quietFirst`, says a port gone in the sequence's line.
    using TAfter = std::function<void(bool completed, bool threw)>;
    void Run(TStep step, TAfter after = nullptr, bool quietFirst = false);
    void Drive(TStep step);
    // Starts the step's exchange (nothing when the step sends nothing).
    void RunStep(const TStep& step);
    // The step's result was handled: false when the sequence has ended.
    bool AfterStep();
    // The result of an exchange this sequence started was handled (on a worker bus).
    void StepEnded(const std::exception_ptr& error);
    void End(bool threw = false);
    // Ends a sequence whose exchange is out, abandoning it.
    void Abandon();
    void EndSequence();
    bool StepToNextSibling();
    void FinishCalibration();
    void VerifiedStepDone();
    // The view's answer before an asked write; false when it declined
    // or the sequence ended meanwhile.
    bool Confirmed();
    void FinishVerifiedWrite(TNode& node, std::u16string_view point);
    std::string FailureReason() const;
    TNode* NextInWalk(TNode* node, bool enter) const;
    TNode* FirstRegisterFrom(TNode* node) const;
    void Tick();
    void EndMonitoring();
    // The lines that close a monitoring run: its failed readings, when any, and an empty line.
    void CloseMonitoringRun();
    void Interrupted();
    // The reading the last transaction gave, its number and words from the reply.
    TReading LastReading() const;
    void ReportActivity();
    bool Idle() const { return !Busy() && !monitoring_; }

    TTransaction& t_;
    TTransactionView& panes_;
    TSequenceView& window_;
    const TRegisterTree* tree_ = nullptr;
    TNode* current_ = nullptr;

    bool running_ = false;         // a sequence runs (its exchange may be out)
    bool inDrive_ = false;         // Drive is on the stack
    bool quietStep_ = false;       // the next step shows no box when it cannot be sent
    bool stopRequested_ = false;
    bool completed_ = false;       // the step in progress reached OnNextStep
    bool lastCompleted_ = false;   // the last step that ended reached it
    TAfter after_;
    TStep paused_;                 // the step the view's pause holds back
    bool pausing_ = false;         // the view's pause runs
    TStepKind stepKind_ = TStepKind::None;
    TStep next_;
    TSlave slave_;                 // of the running sequence
    TActivity sequence_ = TActivity::Idle;  // Walk or Calibration while one runs
    TActivity reported_ = TActivity::Idle;

    bool walkMode_ = false;
    TNode* walkRoot_ = nullptr;

    bool calibrationActive_ = false;
    int32_t samplesLeft_ = 0;
    int32_t samplesWanted_ = 0;
    std::vector<std::u16string> samples_;  // the value texts, for the summary's whole-number arithmetic
    std::vector<TReading> readings_;       // the same readings with their numbers
    TNode* calibrationNode_ = nullptr;

    bool keepRecord_ = false;
    std::string recordDevice_;
    std::u16string calibrationPoint_;
    std::optional<service::TCalibrationRun> run_;
    bool verifying_ = false;              // a recorded write's steps run
    std::u16string verifyValue_;          // the value text to write
    std::u16string verifyPoint_;          // the point it is written for
    bool asking_ = false;                 // the view answers before the write
    TStepKind verifyStep_ = TStepKind::None;  // the step of the recorded write begun last
    service::TCalibrationWrite written_;  // what the recorded write found so far

    bool monitoring_ = false;
    TNode* monitorNode_ = nullptr;
    TSlave monitorSlave_;
    uint64_t monitorReadings_ = 0;
    uint64_t monitorFailures_ = 0;
};

}  // namespace vyx
