// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's faces of a transaction, recorded: every call becomes one line of
// text in order, so a test can check what was shown and in which order.
#include <functional>
#include <string>
#include <vector>

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
    void SetLed(TLed led, TColor c) override { Events.push_back(Name(led) + " " + ColorName(c)); }
    void SetLedTimerInterval(TLed led, int ms) override {
        Events.push_back(Name(led) + " interval " + std::to_string(ms));
    }
    void EnableLedTimer(TLed led, bool on) override { Events.push_back(Name(led) + (on ? " timer on" : " timer off")); }
    void StartHighlightTimer() override { Events.push_back("highlight"); }
    void StopHighlightTimer() override { Events.push_back("highlight stop"); }
    void ReplyShown() override {
        Events.push_back("events");
        if (Pending) Pending();
    }
    bool MonitorTicked() const override { return Monitor; }
    std::u16string TimeOfDay() const override { return u"12:34:56"; }
    void BeginTreeUpdate() override { Events.push_back("begin update"); }
    void EndTreeUpdate() override { Events.push_back("end update"); }
    void RepaintTree() override { Events.push_back("repaint"); }
    void OnNextStep() override {
        Events.push_back("next step");
        if (NextStep) NextStep();
    }

    bool Has(const std::string& event) const {
        for (const auto& e : Events)
            if (e == event) return true;
        return false;
    }

private:
    static std::string Name(TLed led) { return led == TLed::Tx ? "tx" : "rx"; }
    static std::string ColorName(TColor c) {
        if (c == kGreen) return "green";
        if (c == kRed) return "red";
        if (c == kIdleGrey) return "grey";
        return "other";
    }
};

}  // namespace vyx::test
