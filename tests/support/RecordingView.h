// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's faces of a transaction, recorded: every call becomes one line of
// text in order (the indicators' as the window sets them: "tx green", "rx
// interval 1000", ...), so a test can check what was shown and in which order.
#include <functional>
#include <string>
#include <vector>

#include "modbus/PaneLines.h"
#include "modbus/Transaction.h"
#include "base/Text.h"

namespace vyx::test {

class TRecordingView : public TTransactionView {
public:
    std::vector<std::string> Events;
    std::vector<std::string> CommLines;
    std::vector<std::string> ResultLines;
    std::vector<std::string> Messages;
    bool Monitor = false;
    std::function<void()> NextStep;  // what a running sequence does on OnNextStep
    std::function<void()> Pending;   // what the user does once a good reply is shown

    void ShowMessage(std::u16string_view text) override {
        Messages.push_back(ToUtf8(text));
        Events.push_back("message " + ToUtf8(text));
    }
    void AppendCommLine(std::u16string_view line) override {
        CommLines.push_back(ToUtf8(line));
        Events.push_back("comm " + ToUtf8(line).substr(0, 1));
    }
    void AppendResultLine(std::u16string_view line) override {
        ResultLines.push_back(ToUtf8(line));
        Events.push_back("result");
    }
    // A good reply's line, as the window's result pane lays it out at 12:34:56.
    void ShowResult(const TLog& log) override {
        ResultLines.push_back(ToUtf8(ResultLine(log, Monitor, u"12:34:56")));
        Events.push_back("result");
        Events.push_back("highlight");
    }
    void RequestSent() override {
        Events.push_back("tx green");
        Events.push_back("tx timer on");
    }
    void ExchangeEnded(bool heard) override {
        Events.push_back(heard ? "rx green" : "rx red");
        Events.push_back(heard ? "rx interval 100" : "rx interval 1000");
        Events.push_back("rx timer on");
    }
    void ReplyShown() override {
        Events.push_back("events");
        if (Pending) Pending();
    }
    void StoringValue(const TNode&) override { Events.push_back("begin update"); }
    void ValueStored(const TNode&) override { Events.push_back("end update"); }
    void OnNextStep() override {
        Events.push_back("next step");
        if (NextStep) NextStep();
    }

    bool Has(const std::string& event) const {
        for (const auto& e : Events)
            if (e == event) return true;
        return false;
    }
};

}  // namespace vyx::test
