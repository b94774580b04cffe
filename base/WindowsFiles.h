// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files on Windows: every name goes to the system as UTF-16 (the ANSI functions
// would turn letters outside the code page into '?'), and bytes are read and
// written as they are, never in text mode. Saving is SaveFileBytes (SafeSave.h).
#ifdef _WIN32
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/FileError.h"

namespace vyx::win {

// The whole contents of a plain file of at most `limit` bytes. Failures are a
// FileError of TFileAction::Open with the system's reason.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path, uint64_t limit = UINT64_MAX);

// The path in full as UTF-8, for messages.
std::string FullText(const std::filesystem::path& path);

// The FileError of `action` on `path` for a system error code.
FileError Fail(TFileAction action, const std::filesystem::path& path, unsigned long error);

// The system's text for an error code, in UTF-8, without the closing period.
std::string ErrorText(unsigned long error);

}  // namespace vyx::win
#endif
