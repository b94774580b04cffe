// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/ConsoleView.h"

#include "base/Text.h"
#include "modbus/PaneLines.h"

namespace vyx::tool {

void TConsoleView::ShowMessage(std::u16string_view text) {
    ++Messages;
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
}

void TConsoleView::AppendCommLine(std::u16string_view line) {
    if (Hex) std::fprintf(Out, "%s\n", ToUtf8(line).c_str());
}

void TConsoleView::AppendResultLine(std::u16string_view line) {
    if (Results) std::fprintf(Out, "%s\n", ToUtf8(line).c_str());
}

// Each line is out before the next request: a pipe sees the run as it goes.
void TConsoleView::ReplyShown() { std::fflush(Out); }

void TConsoleView::ShowResult(const TLog& log) { AppendResultLine(ResultLine(log, Monitor, TimeOfDay())); }

}  // namespace vyx::tool
