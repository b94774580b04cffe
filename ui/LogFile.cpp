// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LogFile.h"

#include "registers/Error.h"
#include "registers/SafeSave.h"
#include "registers/Text.h"
#include "ui/Journal.h"

namespace vyx::ui {
namespace fs = std::filesystem;

std::string LogBytes(const std::vector<std::u16string>& lines) {
    std::string out;
    for (const std::u16string& line : lines) out += ToCp1250(line) + "\r\n";
    return out;
}

fs::path LogFilePath(const fs::path& program) {
    fs::path log = program;
    log.replace_extension(".log");
    return log;
}

fs::path StateLogPath(const fs::path& program) { return StateFolder() / LogFilePath(program).filename(); }

TLogSave SaveLog(const fs::path& program, const std::string& bytes) {
    TLogSave result;
    const fs::path beside = LogFilePath(program);
    std::string first;
    try {
        SaveFileBytes(beside, bytes);
        result.Saved = true;
        result.Where = beside;
        return result;
    } catch (const Error& e) {
        first = e.what();
    }
    const fs::path fallback = StateLogPath(program);
    try {
        std::error_code ec;
        fs::create_directories(fallback.parent_path(), ec);
        SaveFileBytes(fallback, bytes);
        result.Saved = true;
        result.Where = fallback;
        result.Message = first + "\r\nLog zapisano w pliku \"" + PathToUtf8(fallback) + "\"";
    } catch (const Error& e) {
        result.Message = first + "\r\n" + e.what() + "\r\nLog nie został zapisany";
    }
    return result;
}

}  // namespace vyx::ui
