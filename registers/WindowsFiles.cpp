#ifdef _WIN32
#include "registers/WindowsFiles.h"

#include <windows.h>

#include <atomic>

#include "registers/Error.h"
#include "registers/Text.h"

namespace vyx::win {
namespace {

namespace fs = std::filesystem;

std::string FullText(const fs::path& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return PathToUtf8(ec ? path : full);
}

Error Fail(const char* what, const fs::path& path, DWORD error) {
    return Error(std::string(what) + " \"" + FullText(path) + "\". " + ErrorText(error));
}

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
    if (h == INVALID_HANDLE_VALUE) throw Fail("Cannot write file", shown, GetLastError());
    DWORD error = WriteAll(h, bytes);
    if (error == 0 && GetFileType(h) == FILE_TYPE_DISK && !SetEndOfFile(h)) error = GetLastError();
    CloseHandle(h);
    if (error != 0) throw Fail("Cannot write file", shown, error);
}

}  // namespace

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

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw Fail("Cannot open file", path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        CloseHandle(h);
        throw Error("Cannot open file \"" + FullText(path) + "\". " +
                    (folder ? std::string("Is a directory") : std::string("Not a regular file")));
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            throw Fail("Cannot open file", path, error);
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    CloseHandle(h);
    return bytes;
}

void SaveFileBytes(const fs::path& path, std::span<const uint8_t> bytes) {
    static std::atomic<unsigned> counter{0};
    if (path.empty() || !path.has_filename()) throw Fail("Cannot create file", path, ERROR_PATH_NOT_FOUND);

    std::error_code ec;
    fs::path name = fs::absolute(path, ec);
    if (ec) name = path;
    // A link is followed, so it stays a link and its target gets the bytes.
    for (int hops = 0; fs::is_symlink(name, ec) && hops < 40; ++hops) {
        const fs::path target = fs::read_symlink(name, ec);
        if (ec) throw Fail("Cannot create file", path, ERROR_CANT_RESOLVE_FILENAME);
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
        throw Fail("Cannot create file", path, ERROR_DIRECTORY);

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
        throw Fail("Cannot create file", path, error);
    }
    auto abandon = [&](DWORD error) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        DeleteFileW(temp.c_str());
        return Fail("Cannot write file", path, error);
    };
    if (const DWORD error = WriteAll(h, bytes)) throw abandon(error);
    if (!FlushFileBuffers(h)) throw abandon(GetLastError());
    const BOOL closed = CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
    if (!closed) throw abandon(GetLastError());
    if (!MoveFileExW(temp.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw abandon(GetLastError());
}

}  // namespace vyx::win
#endif
