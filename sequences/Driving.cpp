// SPDX-License-Identifier: GPL-3.0-or-later
// How a sequence runs: its steps driven one after another by their results,
// its pauses, its end, and the exchange out abandoned when it is stopped.
#include <utility>

#include "sequences/Sequences.h"

namespace vyx {

// A sequence runs step by step: Drive starts each step's exchange and, when its
// result is handled at once (an inline bus), goes on with the next in a loop,
// so any run length keeps a constant stack depth. On a worker bus Drive returns
// once the exchange has left, and the result's arrival (StepEnded) drives on;
// a pause the view takes later (Pause false) is ended by PauseOver.
void TSequences::Run(TStep step, TAfter after, bool quietFirst) {
    running_ = true;
    quietStep_ = quietFirst;
    stopRequested_ = false;
    lastCompleted_ = false;
    after_ = std::move(after);
    Drive(step);
}

void TSequences::Drive(TStep step) {
    inDrive_ = true;
    try {
        for (;;) {
            if (step.Kind == TStepKind::None) {
                End();
                break;
            }
            if (step.PauseMs > 0 && !window_.Pause(step.PauseMs)) {
                pausing_ = true;
                paused_ = step;
                paused_.PauseMs = 0;
                break;
            }
            if (stopRequested_) {
                End();
                break;
            }
            next_ = {};
            t_.SetQuietWhenUnsent(quietStep_);
            quietStep_ = true;
            RunStep(step);
            if (t_.InFlight()) break;  // its result drives on
            if (!AfterStep()) break;
            step = next_;
        }
    } catch (...) {
        inDrive_ = false;
        End(true);
        throw;
    }
    inDrive_ = false;
}

bool TSequences::AfterStep() {
    lastCompleted_ = completed_;
    // A port closed under a running walk or calibration ends it too.
    if (!completed_ && t_.Outcome() == TOutcome::PortClosed && (walkMode_ || calibrationActive_)) Interrupted();
    if (!completed_ || stopRequested_ || next_.Kind == TStepKind::None) {
        End();
        return false;
    }
    return true;
}

void TSequences::StepEnded(const std::exception_ptr& error) {
    // Inside Drive's loop (an inline bus), the loop goes on by itself.
    if (inDrive_ || !running_) {
        if (error) std::rethrow_exception(error);
        return;
    }
    if (error) {
        End(true);
        std::rethrow_exception(error);
    }
    if (AfterStep()) Drive(next_);
}

void TSequences::Abandon() {
    // A sequence waiting for an exchange's result (or for its pause) on a worker
    // bus ends now; the exchange's bytes are shown when they come, and nothing
    // else of it.
    if (!running_ || inDrive_) return;
    t_.Abandon();
    End();
}

void TSequences::PauseOver() {
    if (!running_ || inDrive_ || !pausing_) return;
    pausing_ = false;
    Drive(paused_);
}

void TSequences::End(bool threw) {
    pausing_ = false;
    EndSequence();
    if (TAfter after = std::exchange(after_, nullptr)) after(lastCompleted_, threw);
}

// Whatever ran is over: its flags are cleared, the controls come back.
void TSequences::EndSequence() {
    running_ = false;
    t_.SetQuietWhenUnsent(false);
    stopRequested_ = false;
    next_ = {};
    stepKind_ = TStepKind::None;
    walkMode_ = false;
    walkRoot_ = nullptr;
    calibrationActive_ = false;
    samplesLeft_ = 0;
    calibrationNode_ = nullptr;
    verifying_ = false;
    sequence_ = TActivity::Idle;
    ReportActivity();
}

}  // namespace vyx
