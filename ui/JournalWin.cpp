// SPDX-License-Identifier: GPL-3.0-or-later
// The journal on Windows: a file locked with LockFileEx, renamed and deleted
// through its own handle, synced with FlushFileBuffers.
#include <windows.h>

#include <optional>
#include <system_error>

#include "base/Error.h"
#include "base/Text.h"
#include "base/WindowsFiles.h"
#include "ui/Journal.h"
#include "ui/JournalFiles.h"

namespace vyx::ui {
namespace fs = std::filesystem;
using namespace journal;

using win::Fail;

namespace {

// The handle kept in file_, as CreateFileW gave it.
// NOLINTNEXTLINE(performance-no-int-to-ptr): a handle value, never dereferenced
HANDLE Handle(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }


// The whole range, so the lock stands whatever the file's length.
bool LockAll(HANDLE h) {
    OVERLAPPED at{};
    return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// NTFS keeps its names durable in its own log.

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

}  // namespace

// Folders need no sync of their own here.
void journal::SyncFolder(const fs::path&) {}

std::optional<fs::path> journal::Recover(const fs::path& journal) {
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
            throw Fail(TFileAction::Create, folder / JournalName(pid, now, 1), error);
    }
    auto abandon = [&](const fs::path& name, DWORD error) {
        (void)DeleteOnClose(h);
        CloseHandle(h);
        return Fail(TFileAction::Create, name, error);
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

bool TJournal::Append(std::u16string_view line) {
    if (file_ == -1) return false;
    unsynced_ = true;
    const std::string text = ToCp1250(line) + "\r\n";
    for (std::string_view bytes = text; !bytes.empty();) {
        DWORD put = 0;
        const bool written = WriteFile(Handle(file_), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        if (!written || put == 0) {
            failure_ = Fail(TFileAction::Write, path_, written ? ERROR_WRITE_FAULT : GetLastError());
            CutBack();
            return false;
        }
        bytes.remove_prefix(put);
    }
    size_ += text.size();
    failure_.reset();
    return true;
}

void TJournal::CutBack() {
    // Shrinking needs no free space; the next line goes where the torn one began.
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size_);
    if (SetFilePointerEx(Handle(file_), at, nullptr, FILE_BEGIN)) (void)SetEndOfFile(Handle(file_));
}

bool TJournal::Sync() {
    if (file_ == -1) return false;
    if (!unsynced_) return true;
    if (!FlushFileBuffers(Handle(file_))) {
        failure_ = Fail(TFileAction::Write, path_, GetLastError());
        return false;
    }
    unsynced_ = false;
    failure_.reset();
    return true;
}

void TJournal::Discard() {
    if (file_ == -1) return;
    if (const DWORD error = DeleteOnClose(Handle(file_)); error != 0) failure_ = Fail(TFileAction::Delete, path_, error);
    Close();
}

void TJournal::Close() {
    if (file_ == -1) return;
    CloseHandle(Handle(file_));
    file_ = -1;
}

}  // namespace vyx::ui
