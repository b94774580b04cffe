// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/Restore.h"

#include "registers/RegData.h"
#include "base/Text.h"

namespace vyx::service {
namespace {

TNode* FindNode(const TRegisterTree& tree, const TSnapshotRegister& r) {
    for (TNode* node : TreeRegisters(tree))
        if (ToUtf8(node->Record.Name) == r.Name && ToUtf8(node->Record.Address) == r.Address) return node;
    return nullptr;
}

bool Writable(std::u16string_view access) {
    const int code = GetAccessCode(access);
    return code == kAccessRW || code == kAccessRP;
}

}  // namespace

TRestorePlan PlanRestore(const std::vector<TDifference>& differences, const TRegisterTree& tree,
                         const std::string& deviceName) {
    TRestorePlan plan;
    for (const TDifference& d : differences) {
        if (!d.A || !d.A->Read()) continue;
        const TSnapshotRegister& r = *d.A;
        TNode* node = FindNode(tree, r);
        std::string why;
        if (!node)
            why = "not in " + deviceName;
        else if (!Writable(node->Record.Access) || !Writable(FromUtf8(r.Access)))
            why = "access " + ToUtf8(node->Record.Access);
        else if (StrToInt(node->Record.Length) != static_cast<int32_t>(r.Words.size()))
            why = "its length in " + deviceName + " is " + ToUtf8(node->Record.Length);
        if (why.empty())
            plan.Writes.push_back({&r, node});
        else
            plan.Skipped.push_back({&r, why});
    }
    return plan;
}

void WriteSaved(TSession& s, const TRestoreWrite& w) {
    // The record carries the shown value, which the result line reports as written.
    TRegData record = w.Node->Record;
    record.Value = FromUtf8(w.Saved->Value);
    s.Transaction.PrepareWriteWords(record, s.Slave, w.Saved->Words);
    s.Transaction.Transact();
}

}  // namespace vyx::service
