// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file operation the system refused. Its text (what()) is the English one the
// command-line tool prints, "Cannot write file "PATH". No space left on device";
// it also keeps the same fault in Polish for the window, "Nie można zapisać pliku
// "PATH": brak miejsca na dysku". The common reasons (a full disk, no
// permission, a read-only disk, a missing folder, a name too long, ...) have
// Polish texts of their own; any other says the system's text after "błąd
// systemu: ".
#include <cstdint>
#include <exception>
#include <string>
#include <system_error>

#include "base/Error.h"

namespace vyx {

enum class TFileAction { Open, Read, Create, Write, Delete, CreateFolder, Rename };

// Why, in both languages.
struct TFileReason {
    std::string English, Polish;
};

// The system's reason: an errno value (the generic category, or the system
// category on POSIX), or on Windows a system error code (the system category).
TFileReason SystemFileReason(std::error_code code);
inline TFileReason ErrnoReason(int error) { return SystemFileReason({error, std::generic_category()}); }

// Faults the system does not report: a name that is no plain file (a device,
// a FIFO), and a register description file larger than any is.
TFileReason NotRegularFile();
TFileReason TooLargeFile(uint64_t limit);

class FileError : public Error {
public:
    // `path` as it is shown, in full, UTF-8.
    FileError(TFileAction action, const std::string& path, const TFileReason& reason);
    FileError(TFileAction action, const std::string& path, std::error_code code)
        : FileError(action, path, SystemFileReason(code)) {}

    const std::string& Polish() const { return polish_; }
    const TFileReason& Reason() const { return reason_; }

private:
    TFileReason reason_;
    std::string polish_;
};

// The text the window shows for an error: a file's fault in Polish, any other
// error's own text.
std::string PolishText(const std::exception& e);

}  // namespace vyx
