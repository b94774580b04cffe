// SPDX-License-Identifier: GPL-3.0-or-later
#ifdef _WIN32
#include "base/WindowsFiles.h"

#include <windows.h>

#include "base/FileError.h"
#include "base/Text.h"

namespace vyx::win {

namespace fs = std::filesystem;

std::string FullText(const fs::path& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return PathToUtf8(ec ? path : full);
}

FileError Fail(TFileAction action, const fs::path& path, unsigned long error) {
    return FileError(action, FullText(path), std::error_code(static_cast<int>(error), std::system_category()));
}

std::string ErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (n > 0 && buffer != nullptr) text.assign(reinterpret_cast<const char16_t*>(buffer), n);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                             text.back() == u'.'))
        text.pop_back();
    if (text.empty()) return "Windows error " + std::to_string(error);
    return ToUtf8(text);
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path, uint64_t limit) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw Fail(TFileAction::Open, path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        CloseHandle(h);
        throw FileError(TFileAction::Open, FullText(path),
                        folder ? TFileReason{"Is a directory", "to jest folder"} : NotRegularFile());
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            throw Fail(TFileAction::Open, path, error);
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > limit) {
            CloseHandle(h);
            throw FileError(TFileAction::Open, FullText(path), TooLargeFile(limit));
        }
    }
    CloseHandle(h);
    return bytes;
}

}  // namespace vyx::win
#endif
