// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/Session.h"

#include <algorithm>

#include "base/Error.h"
#include "base/Text.h"

namespace vyx::service {

TSession::TSession(TTransactionView& view)
    : TSession(view, [](TPort& port) { return std::make_unique<TInlineBus>(port); }) {}

TSession::TSession(TTransactionView& view, const TBusMaker& makeBus)
    : Bus(makeBus(Port)), Transaction(*Bus, Frame, view) {}

void TSession::Open(const std::string& portName, const TLineSettings& line) {
    if (portName.empty()) throw Error("no port named");
    Bus->Call([&](TPort&, TWire& wire) {
        wire.Forget();
        Opened = Port.Open(portName, line);
    });
    Line = line;
    const std::string& path = Opened.Path;
    if (Opened.TimeoutsRefused) throw Error("cannot set the time-outs of " + path);
    if (!Opened.Opened) {
        const std::string why = OpenFaultText(Opened.Fault, Opened.Error);
        if (Opened.Network) throw Error("cannot connect to " + path + ": " + why);
        throw Error("cannot open " + path + " with " + line.Mode + ": " + why);
    }
    Transaction.SetLine(line.Line);
}

std::string FailureText(const TTransaction& t) {
    std::string reason = t.Reason(TLanguage::English);
    if (t.Outcome() == TOutcome::Exception) return ToUtf8(t.Rslt().ErrorText) + " (" + reason + ")";
    return reason;
}

TRegisterRead ReadWords(TSession& s, TNode& node) { return ReadWords(s.Transaction, s.Frame, s.Slave, node); }

TRegisterRead ReadWords(TTransaction& t, const TFrame& frame, const TSlave& slave, TNode& node) {
    TRegisterRead r;
    const uint64_t sent = t.RequestsSent();
    try {
        t.ReadRegister(node, slave);
    } catch (const Error& e) {
        // A refused build sent nothing, and the outcome is still the last
        // transaction's; a failure after the reply leaves this one's below.
        if (t.RequestsSent() == sent) {
            r.Error = e.what();
            return r;
        }
    }
    return ReadOutcome(t, frame, node);
}

TRegisterRead ReadOutcome(const TTransaction& t, const TFrame& frame, const TNode& node) {
    TRegisterRead r;
    r.Outcome = t.Outcome();
    if (t.Outcome() != TOutcome::Good) {
        r.Error = FailureText(t);
        return r;
    }
    // A good outcome is a reply that answers the read: its byte count is the
    // registers' asked, which must also be the register's length (a length the
    // request cannot carry was cut to its low byte).
    r.Words = t.ReplyWords();
    const int32_t length = StrToInt(node.Record.Length);
    if (r.Words.empty() || r.Words.size() != frame.RegisterCount || static_cast<int32_t>(r.Words.size()) != length) {
        r.Error = "reply of " + std::to_string(2 * r.Words.size()) + " data bytes for " + std::to_string(length) +
                  " registers";
        r.Words.clear();
        return r;
    }
    r.Value = t.Rslt().ValueText;
    r.Ok = true;
    return r;
}

std::vector<TNode*> TreeRegisters(const TRegisterTree& tree) {
    std::vector<TNode*> registers;
    // Depth first without recursion: a group is entered, a register never.
    TNode* node = tree.First();
    while (node) {
        const bool group = GetAccessCode(node->Record.Access) == kAccessGroup;
        if (!group) registers.push_back(node);
        if (group && node->Record.DataType.empty() && node->ChildCount() > 0) {
            node = node->FirstChild();
            continue;
        }
        // The next sibling, or that of the nearest ancestor that has one.
        while (node) {
            TNode* parent = node->Parent();
            const size_t next = node->Index() + 1;
            if (next < (parent ? parent->ChildCount() : tree.TopLevelCount())) {
                node = parent ? parent->Child(next) : tree.TopLevel(next);
                break;
            }
            node = parent;
        }
    }
    return registers;
}

}  // namespace vyx::service
