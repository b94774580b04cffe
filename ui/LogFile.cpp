// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LogFile.h"

#include <chrono>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "ui/Journal.h"
#include "ui/JournalFiles.h"

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

// Local time as the journal names its files.
using journal::Stamp;

fs::path ResultsFilePath(const fs::path& program, std::time_t when) {
    const fs::path folder = InstalledUnderUsr(program) ? StateLogPath(program).parent_path() : program.parent_path();
    return folder / ("wyniki-" + Stamp(when, "%Y-%m-%d_%H-%M-%S") + ".txt");
}

std::u16string SessionLine(std::time_t when) {
    return FromUtf8("--- " + Stamp(when, "%Y-%m-%d %H:%M:%S") + " ---");
}

fs::path KeptLogPath(const fs::path& path, std::time_t written) {
    const std::string stem = PathToUtf8(path.stem()) + "-" + Stamp(written, "%Y-%m-%d_%H-%M-%S");
    fs::path kept = path.parent_path() / PathFromUtf8(stem + ".log");
    std::error_code ec;
    for (int k = 2; fs::exists(kept, ec); ++k)
        kept = path.parent_path() / PathFromUtf8(stem + " (" + std::to_string(k) + ").log");
    return kept;
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

// Moves the log at `path`, if there is one, to its kept name; throws Error when it cannot.
void KeepEarlier(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return;
    const auto written = fs::last_write_time(path, ec);
    const std::time_t when =
        ec ? std::time(nullptr)
           : std::chrono::system_clock::to_time_t(
                 std::chrono::time_point_cast<std::chrono::system_clock::duration>(fs::file_time_type::clock::to_sys(written)));
    const fs::path kept = KeptLogPath(path, when);
    fs::rename(path, kept, ec);
    if (ec) throw FileError(TFileAction::Rename, PathToUtf8(path), ec);
}

void SaveKeeping(const fs::path& path, const std::string& bytes, bool keepEarlier) {
    if (keepEarlier) KeepEarlier(path);
    SaveFileBytes(path, bytes);
}

// The log in the state folder, the folder made when missing.
void SaveInStateFolder(const fs::path& program, const std::string& bytes, bool keepEarlier, TLogSave& result) {
    const fs::path path = StateLogPath(program);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    SaveKeeping(path, bytes, keepEarlier);
    result.Saved = true;
    result.Where = path;
}

}  // namespace

TLogSave SaveLog(const fs::path& program, const std::string& bytes, bool keepEarlier) {
    TLogSave result;
    if (InstalledUnderUsr(program)) {
        try {
            SaveInStateFolder(program, bytes, keepEarlier, result);
        } catch (const Error& e) {
            result.Message = PolishText(e) + "\r\nLog nie został zapisany";
        }
        return result;
    }
    const fs::path beside = LogFilePath(program);
    std::string first;
    try {
        SaveKeeping(beside, bytes, keepEarlier);
        result.Saved = true;
        result.Where = beside;
        return result;
    } catch (const Error& e) {
        first = PolishText(e);
    }
    try {
        SaveInStateFolder(program, bytes, keepEarlier, result);
        result.Message = first + "\r\nLog zapisano w pliku \"" + PathToUtf8(result.Where) + "\"";
    } catch (const Error& e) {
        result.Message = first + "\r\n" + PolishText(e) + "\r\nLog nie został zapisany";
    }
    return result;
}

}  // namespace vyx::ui
