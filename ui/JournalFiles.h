// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both systems' sides of the journal share: its names, the folder it lives
// in, and the two steps each side does its own way.
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vyx::ui::journal {
namespace fs = std::filesystem;

inline constexpr int kMaxNames = 1000;  // numbered names tried before a name counts as unobtainable

std::string Stamp(std::time_t t, const char* format);
// vyx-cfg-PID-YYYYMMDD-HHMMSS.journal, then -2, -3, ...
fs::path JournalName(unsigned long pid, std::time_t now, int n);
// The name of a journal before it is locked: never one RecoverJournals looks at.
fs::path TempName(unsigned long pid);
// vyx-cfg-odzyskane-YYYY-MM-DD_HH-MM-SS.log, then " (2)", " (3)", ...
fs::path RecoveredName(std::time_t changed, int n);
// The journals of the folder, listed before any is renamed, so the listing
// never sees its own changes.
std::vector<fs::path> JournalsIn(const fs::path& folder);
fs::path Absolute(const fs::path& path);
void CreateFolder(const fs::path& folder);

// Each system's side: makes the folder's new names last; keeps an unlocked
// journal under its recovered name (none for an empty one, which is removed).
void SyncFolder(const fs::path& folder);
std::optional<fs::path> Recover(const fs::path& journal);

}  // namespace vyx::ui::journal
