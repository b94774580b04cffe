// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saving a file without ever destroying what stands in its place.
//
// A plain file (or a name that does not exist yet) gets its new contents through
// a temporary file beside it, flushed to the disk and renamed over it, so a crash
// leaves either the old or the complete new contents; a replaced file keeps its
// permissions. A symbolic link is followed and its target saved the same way, so
// the link stays a link. A device, FIFO or socket is written in place, never
// replaced. A folder that refuses new files but holds a writable target gets the
// target written in place.
//
// Every failure is a vyx::Error naming the file in full and the system's reason,
// "Cannot create file "PATH". REASON" or "Cannot write file "PATH". REASON"; a
// failed save leaves no temporary file behind.
//
// On Windows (SafeSaveWin.cpp) the name goes to the system as UTF-16, the
// temporary file is moved over the target with MoveFileExW, and a device (NUL,
// a port) is written in place; the reasons are the system's texts.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace vyx {

void SaveFileBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// The same for bytes held in a string (a text already in its file encoding).
inline void SaveFileBytes(const std::filesystem::path& path, std::string_view bytes) {
    SaveFileBytes(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace vyx
