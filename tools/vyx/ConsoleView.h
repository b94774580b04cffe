// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The faces of a transaction on a terminal, for every command that talks to a
// device: the lines the window's panes would show go to one output (standard
// output, or standard error when standard output carries a document), message
// boxes to standard error; indicators, timers and the tree have no face here.
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "modbus/Transaction.h"

namespace vyx::tool {

class TConsoleView : public TTransactionView {
public:
    std::FILE* Out = stdout;
    bool Hex = false;               // the request and reply frames ("< ", "> ")
    bool Results = true;            // the result lines
    bool Monitor = false;           // readings are shown with their time, as monitoring does
    int Messages = 0;               // message boxes shown
    std::function<void()> NextStep; // OnNextStep, for a running sequence

    void ShowMessage(std::u16string_view text) override;
    void AppendCommLine(std::u16string_view line) override;
    void AppendResultLine(std::u16string_view line) override;
    void SetLed(TLed, TColor) override {}
    void SetLedTimerInterval(TLed, int) override {}
    void EnableLedTimer(TLed, bool) override {}
    void StartHighlightTimer() override {}
    void StopHighlightTimer() override {}
    void ReplyShown() override;
    bool MonitorTicked() const override { return Monitor; }
    std::u16string TimeOfDay() const override;
    void BeginTreeUpdate() override {}
    void EndTreeUpdate() override {}
    void RepaintTree() override {}
    void OnNextStep() override {
        if (NextStep) NextStep();
    }
};

}  // namespace vyx::tool
