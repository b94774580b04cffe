// The journal: names and times first, then the POSIX and the Windows side.
#include "ui/Journal.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "registers/WindowsFiles.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "registers/Error.h"
#include "registers/Text.h"

namespace vyx::ui {
namespace fs = std::filesystem;
namespace {

constexpr int kMaxNames = 1000;  // numbered names tried before a name counts as unobtainable

std::string Stamp(std::time_t t, const char* format) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
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
    if (ec) throw Error("Cannot create folder \"" + PathToUtf8(folder) + "\". " + ec.message());
}

}  // namespace

#ifndef _WIN32
namespace {

std::string FailText(const char* what, const fs::path& path, int error) {
    return std::string(what) + " \"" + PathToUtf8(path) + "\". " + std::strerror(error);
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
void SyncFolder(const fs::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    (void)::fsync(dir);
    ::close(dir);
}

// One journal: its log's path when it was renamed to one.
std::optional<fs::path> Recover(const fs::path& journal) {
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

}  // namespace

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
            throw Error(FailText("Cannot create file", folder / JournalName(pid, now, 1), error));
    }
    auto abandon = [&](const fs::path& name, int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Error(FailText("Cannot create file", name, error));
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

void TJournal::Append(std::u16string_view line) {
    if (file_ < 0 || Failed()) return;
    unsynced_ = true;
    if (const int error = WriteAll(static_cast<int>(file_), ToCp1250(line) + "\r\n"))
        failure_ = FailText("Cannot write file", path_, error);
}

void TJournal::Sync() {
    if (file_ < 0 || Failed() || !unsynced_) return;
    unsynced_ = false;
    if (::fsync(static_cast<int>(file_)) != 0) failure_ = FailText("Cannot write file", path_, errno);
}

void TJournal::Discard() {
    if (file_ < 0) return;
    if (::unlink(path_.c_str()) != 0 && !Failed()) failure_ = FailText("Cannot delete file", path_, errno);
    Close();
}

void TJournal::Close() {
    if (file_ < 0) return;
    ::close(static_cast<int>(file_));
    file_ = -1;
}

#else  // _WIN32
namespace {

HANDLE Handle(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

std::string FailText(const char* what, const fs::path& path, DWORD error) {
    return win::Fail(what, path, error).what();
}

// The whole range, so the lock stands whatever the file's length.
bool LockAll(HANDLE h) {
    OVERLAPPED at{};
    return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// NTFS keeps its names durable in its own log.
void SyncFolder(const fs::path&) {}

bool Taken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// Renames the open file, never over another one: 0 or the system's error. The
// handle does it, as nobody else may rename a file held without FILE_SHARE_DELETE.
DWORD RenameOpen(HANDLE h, const fs::path& to) {
    const std::wstring name = to.wstring();
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::copy(name.begin(), name.end(), info->FileName);
    if (!SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
        return GetLastError();
    return 0;
}

// Marks the open file to go when it is closed: 0 or the system's error.
DWORD DeleteOnClose(HANDLE h) {
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) ? 0 : GetLastError();
}

std::time_t UnixTime(const FILETIME& t) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<std::time_t>(ticks / 10000000ULL) - 11644473600LL;
}

std::optional<fs::path> Recover(const fs::path& journal) {
    const DWORD attributes = GetFileAttributesW(journal.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
        return std::nullopt;
    // A running window holds its journal for writing and deletion, shared with
    // nobody: this open or the lock fails on it.
    HANDLE h = CreateFileW(journal.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<fs::path> log;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) == FILE_TYPE_DISK && LockAll(h) && GetFileInformationByHandle(h, &info)) {
        if (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0) {
            (void)DeleteOnClose(h);
        } else {
            for (int n = 1; n <= kMaxNames; ++n) {
                const fs::path target = journal.parent_path() / RecoveredName(UnixTime(info.ftLastWriteTime), n);
                const DWORD error = RenameOpen(h, target);
                if (error == 0) log = target;
                if (!Taken(error)) break;
            }
        }
    }
    CloseHandle(h);
    return log;
}

}  // namespace

fs::path StateFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local != nullptr && *local != L'\0') return fs::path(local) / "vyx-cfg";
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return (ec ? fs::path(".") : temp) / "vyx-cfg";
}

TJournal::TJournal(fs::path folder) {
    folder = Absolute(folder);
    CreateFolder(folder);
    const unsigned long pid = GetCurrentProcessId();
    const std::time_t now = std::time(nullptr);

    fs::path temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder / TempName(pid);
        h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        if (h == INVALID_HANDLE_VALUE && (!Taken(error) || attempt >= kMaxNames))
            throw Error(FailText("Cannot create file", folder / JournalName(pid, now, 1), error));
    }
    auto abandon = [&](const fs::path& name, DWORD error) {
        (void)DeleteOnClose(h);
        CloseHandle(h);
        return Error(FailText("Cannot create file", name, error));
    };
    if (!LockAll(h)) {
        const DWORD error = GetLastError();
        throw abandon(folder / JournalName(pid, now, 1), error);
    }
    for (int n = 1;; ++n) {
        path_ = folder / JournalName(pid, now, n);
        const DWORD error = RenameOpen(h, path_);
        if (error == 0) break;
        if (!Taken(error) || n >= kMaxNames) throw abandon(path_, error);
    }
    file_ = reinterpret_cast<std::intptr_t>(h);
}

void TJournal::Append(std::u16string_view line) {
    if (file_ == -1 || Failed()) return;
    unsynced_ = true;
    const std::string text = ToCp1250(line) + "\r\n";
    for (std::string_view bytes = text; !bytes.empty();) {
        DWORD put = 0;
        const bool written = WriteFile(Handle(file_), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        if (!written || put == 0) {
            failure_ = FailText("Cannot write file", path_, written ? ERROR_WRITE_FAULT : GetLastError());
            return;
        }
        bytes.remove_prefix(put);
    }
}

void TJournal::Sync() {
    if (file_ == -1 || Failed() || !unsynced_) return;
    unsynced_ = false;
    if (!FlushFileBuffers(Handle(file_))) failure_ = FailText("Cannot write file", path_, GetLastError());
}

void TJournal::Discard() {
    if (file_ == -1) return;
    if (const DWORD error = DeleteOnClose(Handle(file_)); error != 0 && !Failed())
        failure_ = FailText("Cannot delete file", path_, error);
    Close();
}

void TJournal::Close() {
    if (file_ == -1) return;
    CloseHandle(Handle(file_));
    file_ = -1;
}

#endif

TJournal::~TJournal() { Close(); }

std::vector<fs::path> RecoverJournals(const fs::path& folder) {
    std::vector<fs::path> logs;
    for (const fs::path& journal : JournalsIn(folder))
        if (auto log = Recover(journal)) logs.push_back(std::move(*log));
    if (!logs.empty()) SyncFolder(folder);
    std::sort(logs.begin(), logs.end());
    return logs;
}

}  // namespace vyx::ui
