// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/ConsoleView.h"

#include <ctime>

#include "base/Text.h"

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

std::u16string TConsoleView::TimeOfDay() const {
    const std::time_t now = std::time(nullptr);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", std::localtime(&now));
    return FromUtf8(buf);
}

}  // namespace vyx::tool
