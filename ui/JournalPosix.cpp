// SPDX-License-Identifier: GPL-3.0-or-later
// The journal on POSIX systems: a file locked with flock, written with write(2)
// and synced with fsync.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/Text.h"
#include "ui/Journal.h"
#include "ui/JournalFiles.h"

namespace vyx::ui {
namespace fs = std::filesystem;
using namespace journal;

namespace {

FileError Fail(TFileAction action, const fs::path& path, int error) {
    return FileError(action, PathToUtf8(path), ErrnoReason(error));
}

// All bytes, or the errno of the failure.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return 0;
}

// Gives the file at `from` the name `to` unless that name is taken, so no file
// is ever replaced: 0, EEXIST, or the errno of the failure.
int MoveNoReplace(const fs::path& from, const fs::path& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return 0;
        const int error = errno;
        ::unlink(to.c_str());
        return error;
    }
    if (errno == EEXIST) return EEXIST;
    // A file system without hard links: a rename once the name is seen free.
    struct stat st{};
    if (::lstat(to.c_str(), &st) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Makes the folder's names durable; a failure loses no data already written.
}  // namespace

void journal::SyncFolder(const fs::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    (void)::fsync(dir);
    ::close(dir);
}

// One journal: its log's path when it was renamed to one.
std::optional<fs::path> journal::Recover(const fs::path& journal) {
    // Only a plain file is opened: a FIFO or a device is never touched.
    struct stat st{};
    if (::lstat(journal.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int fd = ::open(journal.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<fs::path> log;
    struct stat held{};
    // Locked: a window still writes it. Another file at the name since it was
    // opened: the one opened is not the one that would be renamed.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::stat(journal.c_str(), &st) == 0 && st.st_dev == held.st_dev && st.st_ino == held.st_ino) {
        if (held.st_size == 0) {
            ::unlink(journal.c_str());
        } else {
            for (int n = 1; n <= kMaxNames; ++n) {
                const fs::path target = journal.parent_path() / RecoveredName(held.st_mtime, n);
                const int error = MoveNoReplace(journal, target);
                if (error == 0) log = target;
                if (error != EEXIST) break;
            }
        }
    }
    ::close(fd);
    return log;
}


fs::path StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state != nullptr && *state != '\0') return fs::path(state) / "vyx-cfg";
    if (home != nullptr && *home != '\0') return fs::path(home) / ".local" / "state" / "vyx-cfg";
    return "/tmp/vyx-cfg-" + std::to_string(::getuid());
}

TJournal::TJournal(fs::path folder) {
    folder = Absolute(folder);
    CreateFolder(folder);
    const auto pid = static_cast<unsigned long>(::getpid());
    const std::time_t now = std::time(nullptr);

    fs::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder / TempName(pid);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const int error = errno;
        if (fd < 0 && (error != EEXIST || attempt >= kMaxNames))
            throw Fail(TFileAction::Create, folder / JournalName(pid, now, 1), error);
    }
    auto abandon = [&](const fs::path& name, int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Fail(TFileAction::Create, name, error);
    };
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        throw abandon(folder / JournalName(pid, now, 1), error);
    }
    // The lock belongs to the file, not the name, so it holds under the new name.
    for (int n = 1;; ++n) {
        path_ = folder / JournalName(pid, now, n);
        const int error = MoveNoReplace(temp, path_);
        if (error == 0) break;
        if (error != EEXIST || n >= kMaxNames) throw abandon(path_, error);
    }
    file_ = fd;
    SyncFolder(folder);
}

bool TJournal::Append(std::u16string_view line) {
    if (file_ < 0) return false;
    unsynced_ = true;
    const std::string bytes = ToCp1250(line) + "\r\n";
    if (const int error = WriteAll(static_cast<int>(file_), bytes)) {
        failure_ = Fail(TFileAction::Write, path_, error);
        CutBack();
        return false;
    }
    size_ += bytes.size();
    failure_.reset();
    return true;
}

void TJournal::CutBack() {
    // Shrinking needs no free space; the next line goes where the torn one began.
    (void)::ftruncate(static_cast<int>(file_), static_cast<off_t>(size_));
    (void)::lseek(static_cast<int>(file_), static_cast<off_t>(size_), SEEK_SET);
}

bool TJournal::Sync() {
    if (file_ < 0) return false;
    if (!unsynced_) return true;
    if (::fsync(static_cast<int>(file_)) != 0) {
        failure_ = Fail(TFileAction::Write, path_, errno);
        return false;
    }
    unsynced_ = false;
    failure_.reset();
    return true;
}

void TJournal::Discard() {
    if (file_ < 0) return;
    if (::unlink(path_.c_str()) != 0) failure_ = Fail(TFileAction::Delete, path_, errno);
    Close();
}

void TJournal::Close() {
    if (file_ < 0) return;
    ::close(static_cast<int>(file_));
    file_ = -1;
}

}  // namespace vyx::ui
