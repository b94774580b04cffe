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

bool InstalledUnderUsr(const fs::path& program) {
#ifdef _WIN32
    (void)program;
    return false;
#else
    const fs::path folder = program.parent_path().lexically_normal();
    if (!folder.is_absolute()) return false;
    if (folder.filename() == "bin" && folder.parent_path().filename() == "usr") return true;
    const fs::path inside = folder.lexically_relative("/usr");  // "local/bin"; ".", "../opt"
    return !inside.empty() && inside != "." && *inside.begin() != "..";
#endif
}

namespace {

// The log in the state folder, the folder made when missing.
void SaveInStateFolder(const fs::path& program, const std::string& bytes, TLogSave& result) {
    const fs::path path = StateLogPath(program);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    SaveFileBytes(path, bytes);
    result.Saved = true;
    result.Where = path;
}

}  // namespace

TLogSave SaveLog(const fs::path& program, const std::string& bytes) {
    TLogSave result;
    if (InstalledUnderUsr(program)) {
        try {
            SaveInStateFolder(program, bytes, result);
        } catch (const Error& e) {
            result.Message = std::string(e.what()) + "\r\nLog nie został zapisany";
        }
        return result;
    }
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
    try {
        SaveInStateFolder(program, bytes, result);
        result.Message = first + "\r\nLog zapisano w pliku \"" + PathToUtf8(result.Where) + "\"";
    } catch (const Error& e) {
        result.Message = first + "\r\n" + e.what() + "\r\nLog nie został zapisany";
    }
    return result;
}

}  // namespace vyx::ui
