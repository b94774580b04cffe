// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/PaneLines.h"

#include <algorithm>
#include <ctime>

#include "base/LocalTime.h"
#include "base/Text.h"

namespace vyx {
namespace {

constexpr size_t kNameColumn = 8;
constexpr size_t kValueColumn = 20;

std::u16string TrimRight(std::u16string s) {
    const size_t end = s.find_last_not_of(u' ');
    s.erase(end == std::u16string::npos ? 0 : end + 1);
    return s;
}

}  // namespace

std::u16string PlaceAtColumn(std::u16string_view text, std::u16string line, size_t column) {
    if (column == 0) return std::u16string(text) + line;
    if (line.size() < column) {
        line.resize(column, u' ');
        line.insert(column - 1, text);
        return line;
    }
    line.erase(column - 1, text.size());
    line.insert(column - 1, text);
    return line;
}

std::u16string RequestLine(std::u16string_view address, std::u16string_view name, std::u16string_view value) {
    std::u16string line(address);
    const size_t nameAt = std::max(kNameColumn - 1, line.size() + 1);
    line.resize(nameAt, u' ');
    if (value.empty()) {
        line += name;
    } else {
        line += name.substr(0, kValueColumn - kNameColumn - 1);
        line.resize(nameAt + (kValueColumn - kNameColumn), u' ');
        line += value;
    }
    return TrimRight(std::move(line));
}

std::u16string WriteLineName(std::u16string_view name) {
    return std::u16string(name.substr(0, kValueColumn - kNameColumn - 2)) + u":";
}

std::u16string ResultLine(const TLog& log, bool monitoring, std::u16string_view timeOfDay) {
    if (monitoring) return std::u16string(timeOfDay) + u"  " + log.LineValue;
    return RequestLine(log.LineAddress, log.LineName, log.LineValue);
}

std::u16string TimeOfDay() {
    const std::tm local = LocalTime(std::time(nullptr));
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
    return FromUtf8(buf);
}

}  // namespace vyx
