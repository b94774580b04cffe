// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A service visit in the window ("Serwis"): the as-found and as-left snapshots,
// the calibration runs recorded since the as-found one, and what the report
// dialog remembers for the next visit; and a snapshot being read.
#include <QPointer>
#include <QProgressDialog>
#include <functional>
#include <optional>
#include <vector>

#include "base/Text.h"
#include "registers/RegisterTree.h"

#include "service/CalibrationRecord.h"
#include "service/Snapshot.h"
#include "ui/Settings.h"

namespace vyx::ui {

struct TServiceVisit {
    std::optional<service::TSnapshot> AsFound, AsLeft;
    std::vector<service::TCalibrationRun> Runs;
    std::vector<std::string> Plots;  // each run's plot as the plot window drew it (PNG); empty for a write alone
    // While a snapshot is read. The dialog deletes itself when closed, whichever
    // way: the pointer then reads null.
    QPointer<QProgressDialog> Progress;
    TReportSettings Report;

    // Another device file: its snapshots and record no longer apply.
    void Forget() {
        AsFound.reset();
        AsLeft.reset();
        Runs.clear();
        Plots.clear();
    }
};

// A snapshot being read: one register at a time, each read started when the
// one before has been shown, so the window stays with the user throughout.
struct TSnapshotRead {
    service::TSnapshot Snapshot;
    std::vector<TNode*> Registers;
    size_t Next = 0;
    std::function<void(service::TSnapshot)> Done;
    bool Cancelled = false;
    // A line for each register not read: "nieodczytany 40003 N400: REASON".
    std::vector<std::u16string> Unread;

    // Records the register that was not read, and why.
    void NotRead(const TNode& node, const std::string& reason) {
        Unread.push_back(u"nieodczytany " + node.Record.Address + u" " + node.Record.Name + u": " + FromUtf8(reason));
    }
};

}  // namespace vyx::ui
