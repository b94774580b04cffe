// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The result pane as a file: the log written when the window closes (beside the
// program, or in the state folder for an installed one), and "Zapisz do pliku". Nothing here knows the toolkit; files are
// written by the program's one safe save (base/SafeSave.h), which overwrites
// without asking and never leaves half a file.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace vyx::ui {

// The lines as the file holds them: each in Windows-1250 (a character the code
// page lacks becomes "?"), each followed by CR LF, the last one included.
std::string LogBytes(const std::vector<std::u16string>& lines);

// The log file of the program: its path with the extension replaced by ".log".
std::filesystem::path LogFilePath(const std::filesystem::path& program);
// Where the log goes when the program's folder refuses it: NAME.log in the
// program's state folder (StateFolder, ui/Journal.h).
std::filesystem::path StateLogPath(const std::filesystem::path& program);

// A program installed by the system's package manager: its folder is /usr/bin or
// lies elsewhere under /usr/, or is the usr/bin of a package unpacked into
// another root (dpkg-deb -x). It cannot write beside itself, and its log
// belongs to the user anyway. Always false on Windows.
bool InstalledUnderUsr(const std::filesystem::path& program);

// What "Zapisz do pliku" proposes: wyniki-2026-12-09_00-31-05.txt (local time)
// in the folder the log goes to first (StateLogPath's for an installed program).
std::filesystem::path ResultsFilePath(const std::filesystem::path& program, std::time_t when);
// The line that opens a session's results: "--- 2026-12-09 00:31:05 ---", local time.
std::u16string SessionLine(std::time_t when);
// The name an earlier log at `path` is kept under, after the time it was written
// (local): NAME-2026-12-09_00-31-05.log, or with " (2)", " (3)" ... while that
// name is taken.
std::filesystem::path KeptLogPath(const std::filesystem::path& path, std::time_t written);

struct TLogSave {
    bool Saved = false;
    std::filesystem::path Where;  // the file written
    std::string Message;          // empty when the log went where it belongs
};
// Saves the log beside the program, else in the state folder; with
// `keepEarlier` a log already there (the previous session's) is first kept
// under KeptLogPath, and a place where it cannot be kept counts as refused, so
// no session's log is ever overwritten.
// The message says
// what failed and where the log went, or that it was not saved. An installed
// program (InstalledUnderUsr) saves straight to the state folder, and the
// message is empty unless that fails.
TLogSave SaveLog(const std::filesystem::path& program, const std::string& bytes, bool keepEarlier = true);

}  // namespace vyx::ui
