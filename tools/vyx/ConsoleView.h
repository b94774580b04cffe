// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The faces of a transaction on a terminal, for every command that talks to a
// device: the lines the window's panes would show go to one output (standard
// output, or standard error when standard output carries a document), message
// boxes to standard error. It shows only what it has a face for.
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
    // The result line as the window's pane shows it.
    void ShowResult(const TLog& log) override;
    void ReplyShown() override;
    void OnNextStep() override {
        if (NextStep) NextStep();
    }
};

}  // namespace vyx::tool
