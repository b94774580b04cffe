// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The result pane kept on disk while the window runs, so that a crash or a power
// cut loses none of the day's results. Each line reaches the file the moment it
// is appended, written as the log writes it (Windows-1250, CR LF), so a journal
// left behind is a log. Nothing here knows the toolkit.
//
// A journal is locked for as long as its window lives; one found unlocked at
// start belongs to a window that ended without closing, and RecoverJournals keeps
// it as a dated log, without a last line cut short by the crash. Locks: flock on POSIX, LockFileEx on Windows, where the
// journal is also opened without sharing writes or deletion.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileError.h"

namespace vyx::ui {

// The program's own folder for what it keeps between runs:
// $XDG_STATE_HOME/vyx-cfg, else ~/.local/state/vyx-cfg, else /tmp/vyx-cfg-UID;
// on Windows %LOCALAPPDATA%\vyx-cfg, else vyx-cfg in the temporary folder.
std::filesystem::path StateFolder();

class TJournal {
public:
    // Creates the folder when missing and a new journal in it,
    // vyx-cfg-PID-YYYYMMDD-HHMMSS.journal (-2, -3, ... added when taken), locked
    // before it ever carries that name. Throws vyx::FileError naming the path
    // and the system's reason.
    explicit TJournal(std::filesystem::path folder);
    // Closes and unlocks; the file stays, as a crash leaves it.
    ~TJournal();
    TJournal(const TJournal&) = delete;
    TJournal& operator=(const TJournal&) = delete;

    // The line and CR LF, handed to the system at once (nothing is held back in
    // the program), whole or not at all: a write that fails is cut back to the
    // last whole line. False on a failure, which Failure() then holds; never
    // thrown, so the window's output goes on. Each call tries again.
    bool Append(std::u16string_view line);
    // Flushes to the disk what was appended since the last flush; cheap when
    // nothing was. False on a failure, as for Append.
    bool Sync();
    // The clean close: the file is removed while still locked, then closed.
    // Append and Sync do nothing afterwards.
    void Discard();

    // The last call's failure; none after a call that succeeded.
    const std::optional<FileError>& Failure() const { return failure_; }
    bool Failed() const { return failure_.has_value(); }
    // "Cannot write file "PATH". REASON", or empty.
    std::string FailureText() const { return failure_ ? failure_->what() : std::string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    void Close();
    // Cuts a failed write's bytes off: the file ends after its last whole line.
    void CutBack();

    std::filesystem::path path_;
    std::intptr_t file_ = -1;  // descriptor, or HANDLE on Windows; -1 when closed
    uint64_t size_ = 0;        // the bytes of the whole lines written
    bool unsynced_ = false;
    std::optional<FileError> failure_;
};

// At start: every unlocked *.journal in the folder (a window that crashed or lost
// power) is renamed in place to vyx-cfg-odzyskane-YYYY-MM-DD_HH-MM-SS.log, the
// time of its last change (" (2)", " (3)", ... added when taken); the new paths
// are returned, sorted. An unlocked empty journal is removed. Locked journals
// (windows still running) and anything that is not a plain file are left alone.
// A missing or unreadable folder gives an empty list; nothing here waits or throws.
std::vector<std::filesystem::path> RecoverJournals(const std::filesystem::path& folder);

}  // namespace vyx::ui
