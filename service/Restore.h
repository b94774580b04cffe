// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Putting a snapshot back onto a device: which of its registers are written,
// and the writing of each by the snapshot's exact words, so that nothing is lost
// to formatting on the way back.
#include <string>
#include <vector>

#include "registers/RegisterTree.h"
#include "service/Session.h"
#include "service/Snapshot.h"

namespace vyx::service {

// A register to write: the snapshot's, through the device file's node of the
// same name and address.
struct TRestoreWrite {
    const TSnapshotRegister* Saved = nullptr;
    TNode* Node = nullptr;

    // True when a read back of the register shows the saved words.
    bool Took(const TRegisterRead& back) const { return back.Ok && back.Words == Saved->Words; }
};

// A register that differs but is not written, and why: "not in VXT-20F.dat",
// "access RO", "its length in VXT-20F.dat is 1".
struct TRestoreSkip {
    const TSnapshotRegister* Saved = nullptr;
    std::string Why;
};

struct TRestorePlan {
    std::vector<TRestoreWrite> Writes;
    std::vector<TRestoreSkip> Skipped;
};

// From the comparison of a snapshot (A) with the device (B): the registers the
// snapshot holds and the device holds otherwise, written only when the device
// file (`tree`, whose file name is `deviceName`) has them as RW or RP, the
// snapshot too, and of the snapshot's length; RO registers are never written.
// Registers the snapshot could not read are in neither list.
TRestorePlan PlanRestore(const std::vector<TDifference>& differences, const TRegisterTree& tree,
                         const std::string& deviceName);

// Writes the saved words (function 6 for one register, 16 for more) with the
// result line of a write of the saved value. Throws vyx::Error when the frame
// cannot be built, and then sends nothing; otherwise the transaction's Outcome
// tells how the write ended.
void WriteSaved(TSession& session, const TRestoreWrite& write);

}  // namespace vyx::service
