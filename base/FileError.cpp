// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FileError.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "base/WindowsFiles.h"
#endif

namespace vyx {
namespace {

// What was being done, in both languages.
TFileReason ActionText(TFileAction action) {
    switch (action) {
        case TFileAction::Open: return {"Cannot open file", "Nie można otworzyć pliku"};
        case TFileAction::Read: return {"Cannot read file", "Nie można odczytać pliku"};
        case TFileAction::Create: return {"Cannot create file", "Nie można utworzyć pliku"};
        case TFileAction::Write: return {"Cannot write file", "Nie można zapisać pliku"};
        case TFileAction::Delete: return {"Cannot delete file", "Nie można usunąć pliku"};
        case TFileAction::CreateFolder: return {"Cannot create folder", "Nie można utworzyć folderu"};
        case TFileAction::Rename: return {"Cannot rename file", "Nie można zmienić nazwy pliku"};
    }
    return {"Cannot use file", "Nie można użyć pliku"};
}

const char* PolishErrno(int error) {
    switch (error) {
        case ENOSPC: return "brak miejsca na dysku";
#ifdef EDQUOT
        case EDQUOT: return "przekroczony przydział miejsca na dysku";
#endif
        case EFBIG: return "plik za duży";
        case EROFS: return "dysk tylko do odczytu";
        case EACCES:
        case EPERM: return "brak uprawnień";
        case ENOENT: return "nie ma takiego pliku ani folderu";
        case ENOTDIR: return "część ścieżki nie jest folderem";
        case EISDIR: return "to jest folder";
        case ENAMETOOLONG: return "nazwa za długa";
        case ELOOP: return "za dużo dowiązań symbolicznych";
        case EIO: return "błąd wejścia-wyjścia";
        case EEXIST: return "plik już istnieje";
        case EBUSY:
#ifdef ETXTBSY
        case ETXTBSY:
#endif
            return "plik jest zajęty";
        case EMFILE:
        case ENFILE: return "za dużo otwartych plików";
        case ENXIO:
        case ENODEV: return "brak urządzenia";
        default: return nullptr;
    }
}

#ifdef _WIN32
const char* PolishWindows(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "nie ma takiego pliku ani folderu";
        case ERROR_ACCESS_DENIED: return "brak uprawnień";
        case ERROR_WRITE_PROTECT: return "dysk chroniony przed zapisem";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "plik jest używany przez inny program";
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL: return "brak miejsca na dysku";
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return "plik już istnieje";
        case ERROR_INVALID_NAME: return "nieprawidłowa nazwa";
        case ERROR_FILENAME_EXCED_RANGE: return "nazwa za długa";
        case ERROR_DIRECTORY: return "to jest folder";
        case ERROR_WRITE_FAULT: return "błąd zapisu";
        case ERROR_NOT_READY: return "urządzenie nie jest gotowe";
        case ERROR_CANT_RESOLVE_FILENAME: return "za dużo dowiązań symbolicznych";
        default: return nullptr;
    }
}
#endif

}  // namespace

TFileReason SystemFileReason(std::error_code code) {
    TFileReason reason;
    const char* polish = nullptr;
#ifdef _WIN32
    if (code.category() == std::system_category()) {
        const auto error = static_cast<unsigned long>(code.value());
        reason.English = win::ErrorText(error);
        polish = PolishWindows(error);
    } else {
        reason.English = std::strerror(code.value());
        polish = PolishErrno(code.value());
    }
#else
    reason.English = std::strerror(code.value());
    polish = PolishErrno(code.value());
#endif
    reason.Polish = polish != nullptr ? polish : "błąd systemu: " + reason.English;
    return reason;
}

TFileReason NotRegularFile() { return {"Not a regular file", "to nie jest zwykły plik"}; }

TFileReason TooLargeFile(uint64_t limit) {
    const std::string mib = std::to_string(limit >> 20);
    return {"Larger than " + mib + " MiB: no register description file is that large",
            "większy niż " + mib + " MiB: żaden plik opisu rejestrów nie jest tak duży"};
}

FileError::FileError(TFileAction action, const std::string& path, const TFileReason& reason)
    : Error(ActionText(action).English + " \"" + path + "\". " + reason.English),
      reason_(reason),
      polish_(ActionText(action).Polish + " \"" + path + "\": " + reason.Polish) {}

std::string PolishText(const std::exception& e) {
    if (const auto* file = dynamic_cast<const FileError*>(&e)) return file->Polish();
    return e.what();
}

}  // namespace vyx
