// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequences/Sequences.h"

#include "modbus/Builders.h"
#include "modbus/PaneLines.h"
#include "base/Error.h"
#include "base/Text.h"

namespace vyx {
namespace {

bool IsGroup(const TNode* node) { return node->Record.DataType.empty() && AccessCodeOf(node) == kAccessGroup; }

// Builds the read into a frame of its own: it raises what the real build would,
// and changes nothing.
void CheckRead(const TNode& node, const TSlave& slave) {
    TFrame scratch;
    BuildRead(scratch, slave.Address(), node.Record);
}

void CheckWrite(const TRegData& record, const TSlave& slave) {
    TFrame scratch;
    if (StrToInt(record.Length) == 1)
        BuildWriteSingle(scratch, slave.Address(), record);
    else
        BuildWriteMultiple(scratch, slave.Address(), record);
}

// The words a write of `record` carries, as the builders encode its value.
std::vector<uint16_t> WrittenWords(const TRegData& record, const TSlave& slave) {
    TFrame scratch;
    std::vector<uint16_t> words;
    if (StrToInt(record.Length) == 1) {
        BuildWriteSingle(scratch, slave.Address(), record);
        words.push_back(static_cast<uint16_t>(scratch.TxBuf[kOffQuantity] << 8 | scratch.TxBuf[kOffQuantity + 1]));
    } else {
        BuildWriteMultiple(scratch, slave.Address(), record);
        for (size_t i = 0; i < scratch.RegisterCount; ++i)
            words.push_back(
                static_cast<uint16_t>(scratch.TxBuf[kOffData + 2 * i] << 8 | scratch.TxBuf[kOffData + 2 * i + 1]));
    }
    return words;
}

bool WillBeWritten(const TNode& node) {
    const int access = AccessCodeOf(&node);
    return (access == kAccessRW || access == kAccessRP) && GetTypeCode(node.Record.DataType) != kTypeNone;
}

}  // namespace

TEnabledControls EnabledControlsFor(TActivity activity) {
    switch (activity) {
        case TActivity::Idle:
            return {true, true, true, true, true, true, true, true, true};
        case TActivity::Walk:
        case TActivity::Calibration:
            return {false, false, false, false, false, false, false, false, false};
        case TActivity::Monitoring:
            // No write or reset line may pass for a time-stamped sample.
            return {false, false, false, false, true, true, true, true, true};
    }
    return {};
}

int AccessCodeOf(const TNode* node) { return node ? GetAccessCode(node->Record.Access) : -1; }

TSequences::TSequences(TTransaction& transaction, TTransactionView& panes, TSequenceView& window)
    : t_(transaction), panes_(panes), window_(window) {}

TActivity TSequences::Activity() const {
    if (sequence_ != TActivity::Idle) return sequence_;
    return monitoring_ ? TActivity::Monitoring : TActivity::Idle;
}

void TSequences::ReportActivity() {
    const TActivity now = Activity();
    if (now == reported_) return;
    reported_ = now;
    window_.ActivityChanged(now);
}

TNode* TSequences::FindRegisterByName(std::u16string_view name) const {
    return tree_ ? tree_->FindRegisterByName(name) : nullptr;
}

void TSequences::RunStep(const TStep& step) {
    completed_ = false;
    stepKind_ = step.Kind;
    const auto start = [this] { t_.Start([this](const std::exception_ptr& error) { StepEnded(error); }); };
    switch (step.Kind) {
        case TStepKind::Read:
            current_ = step.Node;  // what the sequence reads, whatever a click did meanwhile
            t_.PrepareRead(*step.Node, slave_);
            start();
            break;
        case TStepKind::Write:
            if (t_.PrepareWrite(*step.Node, slave_)) start();
            break;
        case TStepKind::WriteIfWritable:
            if (WillBeWritten(*step.Node) && t_.PrepareWrite(*step.Node, slave_)) start();
            break;
        case TStepKind::Reset:
            if (t_.PrepareReset(slave_)) start();
            break;
        case TStepKind::VerifyBefore:
        case TStepKind::VerifyAfter:
            // The register the technician points at stays: "Zapisz" is no walk.
            verifyStep_ = step.Kind;
            t_.PrepareRead(*step.Node, slave_);
            start();
            break;
        case TStepKind::VerifyWrite:
            verifyStep_ = step.Kind;
            // The value goes into the record only now: the read before replaced it.
            step.Node->Record.Value = verifyValue_;
            written_.Sent = t_.PrepareWrite(*step.Node, slave_);
            if (written_.Sent) start();
            break;
        case TStepKind::None:
            break;
    }
}

// The node after `node` in the walk of walkRoot_: a group is entered when
// `enter` is set, a register never; null after the walk's last node.
TNode* TSequences::NextInWalk(TNode* node, bool enter) const {
    if (enter && IsGroup(node) && node->ChildCount() > 0) return node->FirstChild();
    while (node != walkRoot_) {
        TNode* parent = node->Parent();
        if (!parent) return nullptr;  // not inside the walk
        if (node->Index() + 1 < parent->ChildCount()) return parent->Child(node->Index() + 1);
        node = parent;
    }
    return nullptr;
}

// `node` or the first register after it in the walk.
TNode* TSequences::FirstRegisterFrom(TNode* node) const {
    while (node && AccessCodeOf(node) <= 0) node = NextInWalk(node, true);
    return node;
}

// Advances CurrentNode to the next register of the walk: the next sibling, or
// the first register of the next child group, or those after the group.
bool TSequences::StepToNextSibling() {
    TNode* next = current_ ? FirstRegisterFrom(NextInWalk(current_, false)) : nullptr;
    current_ = next;
    return next != nullptr;
}

void TSequences::OnNextStep() {
    completed_ = true;
    if (!running_ || stopRequested_) return;
    if (samplesLeft_ > 0 && calibrationActive_) {
        const TReading reading = LastReading();
        if (calibrationNode_) window_.Reading(TActivity::Calibration, *calibrationNode_, reading);
        if (!t_.Rslt().Ok) {
            // A failed reading has no number: the run ends here, without a summary.
            Interrupted();
            calibrationActive_ = false;
            samplesLeft_ = 0;
            return;
        }
        samples_.push_back(t_.Node() ? t_.Node()->Record.Value : std::u16string());
        readings_.push_back(reading);
        --samplesLeft_;
        if (samplesLeft_ == 0) {
            calibrationActive_ = false;
            FinishCalibration();
        } else {
            next_ = {TStepKind::Read, calibrationNode_, kCalibrationPauseMs};
        }
    } else if (verifying_) {
        VerifiedStepDone();
    } else if (walkMode_) {
        switch (stepKind_) {
            case TStepKind::Read:
                // A failed read (CRC error, exception reply, time-out) ends the
                // walk; CurrentNode stays on the register that failed.
                if (!t_.Rslt().Ok) Interrupted();
                walkMode_ = t_.Rslt().Ok && StepToNextSibling();
                if (walkMode_) next_ = {TStepKind::Read, current_};
                break;
            case TStepKind::Write:
            case TStepKind::WriteIfWritable:
                walkMode_ = StepToNextSibling();
                if (walkMode_) next_ = {TStepKind::WriteIfWritable, current_};
                break;
            default:
                break;
        }
    }
}

TReading TSequences::LastReading() const {
    if (!t_.Rslt().Ok) return {};
    return {true, t_.Rslt().Number, t_.ReplyWords()};
}

void TSequences::Interrupted() {
    // A walk names the register it stopped at.
    std::u16string line = u"przerwano";
    if (walkMode_ && current_) line += u" przy " + current_->Record.Address + u" " + current_->Record.Name;
    line += u": " + FromUtf8(t_.Reason(TLanguage::Polish));
    if (calibrationActive_)
        line += u" (odczyt " + FromUtf8(std::to_string(samples_.size() + 1)) + u" z " +
                FromUtf8(std::to_string(samplesWanted_)) + u")";
    window_.SequenceInterrupted(line);
}

void TSequences::FinishCalibration() {
    const std::optional<TCalibrationSummary> s = SummariseCalibration(samples_);
    if (!s) return;
    window_.ShowMean(FromUtf8(std::to_string(s->Mean)));
    panes_.AppendResultLine(s->MeanLine);
    panes_.AppendResultLine(s->ErrLine);
    const std::optional<std::u16string> verdict = window_.CalibrationVerdict(readings_);
    if (verdict) panes_.AppendResultLine(*verdict);
    panes_.AppendResultLine(u"");
    if (!keepRecord_) return;
    service::TCalibrationRun run;
    run.Time = service::LocalTimeText();
    run.Device = recordDevice_;
    run.Slave = slave_.Address();
    run.Point = ToUtf8(calibrationPoint_);
    for (const std::u16string& sample : samples_) run.Readings.push_back(ToUtf8(sample));
    run.Mean = std::to_string(s->Mean);
    run.Err = ToUtf8(FormatErr(s->Err));
    if (verdict) run.Verdict = ToUtf8(*verdict);
    run_ = std::move(run);
    window_.CalibrationRecorded(*run_, false);
}

// Why the step that just ended failed, as the result pane says it.
std::string TSequences::FailureReason() const {
    if (t_.Outcome() == TOutcome::Good) return "odpowiedź innej długości niż rejestr";
    if (t_.Outcome() == TOutcome::None) return "nie wysłano";
    return t_.Reason(TLanguage::Polish);
}

// A step of a recorded write completed: what it found goes into written_, and
// the next step follows only after a good one.
void TSequences::VerifiedStepDone() {
    const auto value = [this] {
        service::TRecordedValue v;
        v.Words = t_.ReplyWords();
        if (t_.Rslt().Ok && !v.Words.empty())
            v.Value = t_.Node() ? ToUtf8(t_.Node()->Record.Value) : std::string();
        else
            v.Error = FailureReason(), v.Words.clear();
        return v;
    };
    switch (stepKind_) {
        case TStepKind::VerifyBefore:
            written_.Before = value();
            // Without a view that asks, a failed read before writes nothing.
            if (asking_ ? Confirmed() : written_.Before.Read()) next_ = {TStepKind::VerifyWrite, t_.Node()};
            break;
        case TStepKind::VerifyWrite:
            if (t_.Outcome() == TOutcome::Good)
                next_ = {TStepKind::VerifyAfter, t_.Node()};
            else
                written_.WriteError = FailureReason();
            break;
        case TStepKind::VerifyAfter:
            written_.After = value();
            break;
        default:
            break;
    }
}

bool TSequences::Confirmed() {
    TWriteQuestion question;
    question.Node = t_.Node();
    question.Point = verifyPoint_;
    question.Value = verifyValue_;
    if (written_.Before.Read())
        question.DeviceValue = t_.Node() ? t_.Node()->Record.Value : std::u16string();
    else
        question.Unread = written_.Before.Error;
    const bool yes = window_.ConfirmWrite(question);
    // Stopped while the view asked (the window closed): the write has ended already.
    if (!running_ || stopRequested_) return false;
    written_.Declined = !yes;
    return yes;
}

// The recorded write has ended, however far it came: its result line, and the
// run that holds it to the view.
void TSequences::FinishVerifiedWrite(TNode& node, std::u16string_view point) {
    service::TCalibrationWrite& w = written_;
    // A step that never completed failed with the outcome (the port closed under
    // it), or was stopped after a good one.
    const std::string why = t_.Outcome() == TOutcome::Good ? "przerwano" : FailureReason();
    if (!w.Sent && w.Before.Read() && w.Before.Words.empty()) w.Before.Error = why;
    if (w.Sent && w.WriteError.empty() && !w.After) {
        if (verifyStep_ == TStepKind::VerifyAfter)
            w.After = service::TRecordedValue{"", {}, why};
        else
            w.WriteError = why;
    }
    panes_.AppendResultLine(node.Record.Name + u": " + FromUtf8(w.Verification()));
    if (!keepRecord_) {
        written_ = {};
        return;
    }
    // A declined write leaves its run to the next "Zapisz" of the point.
    const bool sameRun = run_ && (!run_->Write || run_->Write->Declined) && run_->Point == ToUtf8(point);
    if (!sameRun) {
        service::TCalibrationRun run;
        run.Time = service::LocalTimeText();
        run.Device = recordDevice_;
        run.Slave = slave_.Address();
        run.Point = ToUtf8(point);
        run_ = std::move(run);
    }
    run_->Write = std::move(w);
    written_ = {};
    window_.CalibrationRecorded(*run_, sameRun);
}

void TSequences::KeepRecord(bool on, std::string device) {
    keepRecord_ = on;
    recordDevice_ = std::move(device);
}

void TSequences::StartRead(TNode* node, const TSlave& slave) {
    if (!node || !Idle()) return;
    TNode* first = node;
    const bool group = AccessCodeOf(node) == kAccessGroup;
    if (group) {
        if (!IsGroup(node)) return;  // a bit child is never read
        walkRoot_ = node;
        first = FirstRegisterFrom(NextInWalk(node, true));
        if (!first) {
            walkRoot_ = nullptr;
            return;
        }
    }
    try {
        CheckRead(*first, slave);
    } catch (...) {
        walkRoot_ = nullptr;
        throw;
    }
    slave_ = slave;
    current_ = first;
    if (group) {
        walkMode_ = true;
        sequence_ = TActivity::Walk;
        ReportActivity();
    }
    Run({TStepKind::Read, first});
}

void TSequences::Write(TNode* node, const TSlave& slave) {
    if (!Idle() || AccessCodeOf(node) <= 0) return;
    current_ = node;
    slave_ = slave;
    Run({TStepKind::Write, node});
}

bool TSequences::Reset(const TSlave& slave) {
    if (!Idle()) return false;
    slave_ = slave;
    if (!t_.PrepareReset(slave)) return false;
    Run({TStepKind::Reset});
    return true;
}

void TSequences::CloseMonitoringRun() {
    if (monitorFailures_ > 0)
        panes_.AppendResultLine(u"nieudane odczyty: " + FromUtf8(std::to_string(monitorFailures_)) + u" z " +
                                FromUtf8(std::to_string(monitorReadings_)));
    panes_.AppendResultLine(u"");
}

void TSequences::StopMonitoring() {
    if (monitoring_) CloseMonitoringRun();
    EndMonitoring();
    Abandon();  // a reading still out
}

void TSequences::StartMonitoring(TNode* node, int32_t periodMs, const TSlave& slave) {
    if (!Idle()) {
        if (!monitoring_) window_.MonitoringStopped();
        return;
    }
    try {
        if (periodMs < kMinimumPeriodMs || AccessCodeOf(node) <= 0) {
            window_.MonitoringStopped();
            return;
        }
        CheckRead(*node, slave);
    } catch (...) {
        window_.MonitoringStopped();
        throw;
    }
    monitoring_ = true;
    monitorReadings_ = monitorFailures_ = 0;
    monitorNode_ = node;
    monitorSlave_ = slave;
    window_.MonitoringStarted(periodMs);
    panes_.AppendResultLine(u"");
    ReportActivity();
    // The heading names the register whose readings follow.
    panes_.AppendResultLine(node->Record.Address + u"  " + node->Record.Name + u":");
    Tick();
}

void TSequences::MonitorTick() {
    if (!monitoring_ || Busy()) return;
    Tick();
}

void TSequences::Tick() {
    slave_ = monitorSlave_;
    current_ = monitorNode_;
    const bool quiet = monitorReadings_ > 0;
    Run({TStepKind::Read, monitorNode_}, [this](bool completed, bool threw) {
        // An error is shown once, not on every tick. A reading that could not be
        // sent (the connection is gone) ends the run as unticking would, and says why.
        if (threw || !completed) {
            if (!monitoring_) return;
            if (!threw && t_.Outcome() == TOutcome::PortClosed && window_.HoldsRunWhilePortAway()) return;
            if (!threw) {
                window_.SequenceInterrupted(u"przerwano: " + FromUtf8(t_.Reason(TLanguage::Polish)));
                CloseMonitoringRun();
            }
            EndMonitoring();
            return;
        }
        if (!monitoring_) return;  // stopped while the reading ran
        ++monitorReadings_;
        monitorFailures_ += !t_.Rslt().Ok;
        if (monitorNode_) window_.Reading(TActivity::Monitoring, *monitorNode_, LastReading());
    }, quiet);
}

void TSequences::EndMonitoring() {
    monitoring_ = false;
    monitorNode_ = nullptr;
    window_.MonitoringStopped();
    ReportActivity();
}

void TSequences::StartCalibration(std::u16string_view point, int32_t count, const TSlave& slave) {
    if (!Idle()) return;
    TNode* r0 = FindRegisterByName(u"R0");
    if (!r0) {
        panes_.ShowMessage(u"brak rejestru R0");
        return;
    }
    CheckRead(*r0, slave);

    panes_.AppendResultLine(u"");
    panes_.AppendResultLine(u"kalibracja " + std::u16string(point) + u" ... ");
    samples_.clear();
    readings_.clear();
    calibrationActive_ = true;
    samplesLeft_ = count;
    samplesWanted_ = count;
    calibrationPoint_ = point;
    calibrationNode_ = r0;
    slave_ = slave;
    current_ = r0;
    sequence_ = TActivity::Calibration;
    ReportActivity();
    window_.CalibrationStarted();
    // A count of 0 or less makes one read; the run then ends with nothing printed.
    Run({TStepKind::Read, r0});
}

std::u16string TSequences::WriteMean(std::u16string_view point, std::u16string_view mean, const TSlave& slave) {
    if (!Idle()) return u"trwa inna operacja";
    const char16_t* name = point == u"100R" ? u"N100" : point == u"400R" ? u"N400" : nullptr;
    if (!name) return u"wybierz wielkość 100R lub 400R";
    TNode* node = FindRegisterByName(name);
    if (!node) return u"brak rejestru " + std::u16string(name) + u" w pliku urządzenia";
    if (!WillBeWritten(*node)) {
        const bool typed = GetTypeCode(node->Record.DataType) != kTypeNone;
        return u"rejestru " + node->Record.Address + u" " + node->Record.Name + u" nie można zapisać (" +
               (typed ? u"dostęp " + node->Record.Access : u"typ " + node->Record.DataType) + u")";
    }
    TRegData written = node->Record;
    written.Value = mean;
    CheckWrite(written, slave);
    const bool asks = window_.AsksBeforeWriting();
    if (!keepRecord_ && !asks) {
        node->Record.Value = mean;
        slave_ = slave;
        Run({TStepKind::WriteIfWritable, node});
        return {};
    }
    CheckRead(*node, slave);
    written_ = {};
    verifyStep_ = TStepKind::None;
    written_.Name = ToUtf8(node->Record.Name);
    written_.Address = ToUtf8(node->Record.Address);
    written_.Written = ToUtf8(mean);
    written_.WrittenWords = WrittenWords(written, slave);
    verifyValue_ = mean;
    verifyPoint_ = point;
    asking_ = asks;
    slave_ = slave;
    verifying_ = true;
    Run({TStepKind::VerifyBefore, node}, [this, node, point = std::u16string(point)](bool, bool threw) {
        if (threw)
            written_ = {};
        else
            FinishVerifiedWrite(*node, point);
    });
    return {};
}

void TSequences::Stop() {
    if (running_) stopRequested_ = true;
    next_ = {};
    walkMode_ = false;
    calibrationActive_ = false;
    samplesLeft_ = 0;
    if (monitoring_) EndMonitoring();
    Abandon();
    if (!running_) {
        sequence_ = TActivity::Idle;
        ReportActivity();
    }
}

}  // namespace vyx
