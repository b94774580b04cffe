#pragma once
// Files on Windows: every name goes to the system as UTF-16 (the ANSI functions
// would turn letters outside the code page into '?'), and bytes are read and
// written as they are, never in text mode.
#ifdef _WIN32
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vyx::win {

// The whole contents of a plain file. Failures are a vyx::Error
// "Cannot open file "PATH". REASON" with the system's reason.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Saves the bytes as the POSIX build does: a plain file (or a new name) gets
// them through a temporary file beside it, flushed and moved over it with
// MoveFileExW, so it holds either its old or its complete new contents and no
// temporary file is left; a symbolic link is followed; a device ("NUL", a port)
// is written in place. Failures are a vyx::Error "Cannot create file "PATH".
// REASON" or "Cannot write file "PATH". REASON".
void SaveFileBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// The system's text for an error code, in UTF-8, without the closing period.
std::string ErrorText(unsigned long error);

}  // namespace vyx::win
#endif
