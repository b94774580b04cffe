// SPDX-License-Identifier: GPL-3.0-or-later
// Windows side of SafeSave.h: UTF-16 names, a temporary file moved over the
// target with MoveFileExW, devices written in place.
#ifdef _WIN32
#include <windows.h>

#include <atomic>

#include "base/Error.h"
#include "base/SafeSave.h"
#include "base/WindowsFiles.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;
using win::Fail;

// All bytes into the open handle; 0 or the error.
DWORD WriteAll(HANDLE h, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &put, nullptr)) return GetLastError();
        if (put == 0) return ERROR_WRITE_FAULT;
        done += put;
    }
    return 0;
}

void WriteInPlace(const fs::path& name, const fs::path& shown, std::span<const uint8_t> bytes) {
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw Fail(TFileAction::Write, shown, GetLastError());
    DWORD error = WriteAll(h, bytes);
    if (error == 0 && GetFileType(h) == FILE_TYPE_DISK && !SetEndOfFile(h)) error = GetLastError();
    CloseHandle(h);
    if (error != 0) throw Fail(TFileAction::Write, shown, error);
}

}  // namespace

void SaveFileBytes(const fs::path& path, std::span<const uint8_t> bytes) {
    static std::atomic<unsigned> counter{0};
    if (path.empty() || !path.has_filename()) throw Fail(TFileAction::Create, path, ERROR_PATH_NOT_FOUND);

    std::error_code ec;
    fs::path name = fs::absolute(path, ec);
    if (ec) name = path;
    // A link is followed, so it stays a link and its target gets the bytes.
    for (int hops = 0; fs::is_symlink(name, ec) && hops < 40; ++hops) {
        const fs::path target = fs::read_symlink(name, ec);
        if (ec) throw Fail(TFileAction::Create, path, ERROR_CANT_RESOLVE_FILENAME);
        name = target.is_absolute() ? target : name.parent_path() / target;
    }

    // Something that is not a plain file on a disk (a device such as NUL or a
    // port) is written in place; the system gives devices no file attributes.
    HANDLE probe = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(probe);
        CloseHandle(probe);
        if (type != FILE_TYPE_DISK) return WriteInPlace(name, path, bytes);
    }
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw Fail(TFileAction::Create, path, ERROR_DIRECTORY);

    fs::path temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = name.parent_path() / (L"." + name.filename().wstring() + L".tmp" +
                                     std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++));
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && attempt < 100) continue;
        // A folder that takes no new files may still hold a file we can write.
        if (attributes != INVALID_FILE_ATTRIBUTES && error == ERROR_ACCESS_DENIED)
            return WriteInPlace(name, path, bytes);
        throw Fail(TFileAction::Create, path, error);
    }
    auto abandon = [&](DWORD error) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        DeleteFileW(temp.c_str());
        return Fail(TFileAction::Write, path, error);
    };
    if (const DWORD error = WriteAll(h, bytes)) throw abandon(error);
    if (!FlushFileBuffers(h)) throw abandon(GetLastError());
    const BOOL closed = CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
    if (!closed) throw abandon(GetLastError());
    if (!MoveFileExW(temp.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw abandon(GetLastError());
}

}  // namespace vyx
#endif
