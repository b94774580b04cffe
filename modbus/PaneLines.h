// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lines of the panes, laid out in their columns: a register's line (its
// number, name and value), the name a write's line gives, and the result line
// of a good reply, as every view shows them.
#include <string>
#include <string_view>

#include "modbus/Transaction.h"

namespace vyx {

// `line` with `text` placed at character position `column`, counted from 1:
// a short line is padded to `column` characters and `text` inserted before its
// last one; a long enough line has as many characters overwritten as `text`
// has; column 0 puts `text` in front of the whole line.
std::u16string PlaceAtColumn(std::u16string_view text, std::u16string line, size_t column);

// The request line, built from its three texts: address at column 1, name at
// column 8, value at column 20, trailing spaces removed. With a value, the name
// is cut to 11 characters, so column 19 is always a space and no name runs into
// its value; without one, the whole name stays. An address longer than 6
// characters is never cut: one space follows it, and the line is that much wider.
std::u16string RequestLine(std::u16string_view address, std::u16string_view name, std::u16string_view value);
// The name of a write's line: the register's name cut to 10 characters, then ":".
std::u16string WriteLineName(std::u16string_view name);

// The result line of a good reply: while monitoring, the time of day
// (hh:mm:ss) and the value, two spaces apart; otherwise the request line of
// the log's three texts.
std::u16string ResultLine(const TLog& log, bool monitoring, std::u16string_view timeOfDay);

// The local time of day as hh:mm:ss on the 24-hour clock.
std::u16string TimeOfDay();

}  // namespace vyx
