// SPDX-License-Identifier: GPL-3.0-or-later
// The journal's names and its recovery, whatever the system (JournalPosix.cpp,
// JournalWin.cpp hold each system's side).
#include "ui/Journal.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <system_error>

#include "base/FileError.h"
#include "base/LocalTime.h"
#include "base/Text.h"
#include "ui/JournalFiles.h"

namespace vyx::ui {
namespace fs = std::filesystem;
namespace journal {

std::string Stamp(std::time_t t, const char* format) {
    const std::tm tm = LocalTime(t);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &tm));
}

// vyx-cfg-PID-YYYYMMDD-HHMMSS.journal, then -2, -3, ...
fs::path JournalName(unsigned long pid, std::time_t now, int n) {
    std::string name = "vyx-cfg-" + std::to_string(pid) + "-" + Stamp(now, "%Y%m%d-%H%M%S");
    if (n > 1) name += "-" + std::to_string(n);
    return name + ".journal";
}

// The name of a journal before it is locked: never one RecoverJournals looks at.
fs::path TempName(unsigned long pid) {
    static std::atomic<unsigned> made{0};
    return ".vyx-cfg-" + std::to_string(pid) + "-" + std::to_string(made++) + ".journal-new";
}

// vyx-cfg-odzyskane-YYYY-MM-DD_HH-MM-SS.log, then " (2)", " (3)", ...
fs::path RecoveredName(std::time_t changed, int n) {
    std::string name = "vyx-cfg-odzyskane-" + Stamp(changed, "%Y-%m-%d_%H-%M-%S");
    if (n > 1) name += " (" + std::to_string(n) + ")";
    return name + ".log";
}

// The journals of the folder, listed before any is renamed, so the listing
// never sees its own changes.
std::vector<fs::path> JournalsIn(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".journal") found.push_back(it->path());
    return found;
}

fs::path Absolute(const fs::path& path) {
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    return ec ? path : full;
}

void CreateFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw FileError(TFileAction::CreateFolder, PathToUtf8(folder), ec);
}

}  // namespace journal

TJournal::~TJournal() { Close(); }

namespace {

// Cuts off a last line without its CR LF (the machine stopped in the middle of
// writing it): a torn value is never read back as a result. False when no whole
// line is left, and the file is removed.
bool CutTornLine(const fs::path& log) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(log, ec);
    if (ec) return true;
    std::ifstream in(log, std::ios::binary);
    // `end` becomes the length up to and with the last LF, read backwards in chunks.
    uintmax_t end = size;
    char chunk[4096];
    for (bool found = false; end > 0 && !found;) {
        const auto n = std::min<uintmax_t>(end, sizeof chunk);
        in.seekg(static_cast<std::streamoff>(end - n));
        if (!in.read(chunk, static_cast<std::streamsize>(n))) return true;  // unreadable: kept as it is
        uintmax_t i = n;
        while (i > 0 && chunk[i - 1] != '\n') --i;
        found = i > 0;
        end -= n - i;
    }
    in.close();
    if (end == size) return true;
    if (end == 0) {
        fs::remove(log, ec);
        return false;
    }
    fs::resize_file(log, end, ec);
    return true;
}

}  // namespace

std::vector<fs::path> RecoverJournals(const fs::path& folder) {
    std::vector<fs::path> logs;
    for (const fs::path& journal : journal::JournalsIn(folder))
        if (auto log = journal::Recover(journal); log && CutTornLine(*log)) logs.push_back(std::move(*log));
    if (!logs.empty()) journal::SyncFolder(folder);
    std::sort(logs.begin(), logs.end());
    return logs;
}

}  // namespace vyx::ui
