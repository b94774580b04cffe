// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Register description files (*.dat): the chunked binary form of a register
// tree, one file per device type.
//
// Loading clears the tree and rebuilds it from the file; every failure is a
// vyx::Error with a fixed text. When the file cannot be opened or read the tree
// is left as it was; any later failure leaves the nodes read so far (including
// the node being read, with what it had received).
//
// The reader takes files of versions 0, 1 and 2 in every variant they occur in,
// and keeps its work and memory proportional to the file's size on damaged or
// hostile input. The writer always writes version 2, each text in its shortest
// form, and never leaves a half-written file behind.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "registers/RegisterTree.h"

namespace vyx {

// Deepest nesting a file may have (a top-level node is level 1).
inline constexpr size_t kMaxNesting = 1000;

// Clears `tree` and loads the file into it. Returns the file's version (0, 1 or 2).
int LoadRegisterFile(TRegisterTree& tree, const std::filesystem::path& path);

// The largest file read as a register file, far above any real map: a link to
// /dev/zero or a huge file by mistake is refused before it exhausts the memory.
inline constexpr uint64_t kMaxRegisterFileBytes = 64u << 20;

// The bytes of a register file. Only a regular file is read, and never blocks: a
// folder, a FIFO or a device is refused at once, as is a file over the limit,
// each with "Cannot open file "PATH". REASON".
std::vector<uint8_t> ReadRegisterFileBytes(const std::filesystem::path& path);

// The same from bytes already in memory (the whole file's contents).
int LoadRegisterBytes(TRegisterTree& tree, std::span<const uint8_t> bytes);

// Writes the whole tree as a version 2 file through SaveFileBytes (SafeSave.h):
// a plain file holds either its old or its complete new contents; a link, device
// or FIFO in the target's place is never replaced.
void SaveRegisterFile(const TRegisterTree& tree, const std::filesystem::path& path);

// The bytes SaveRegisterFile writes.
std::vector<uint8_t> SaveRegisterBytes(const TRegisterTree& tree);

// The states word as the writer stores it: marked initialized, transient bits cleared.
inline constexpr uint16_t kSavedStatesMask = 0xDDE9;
inline constexpr uint16_t SavedStates(uint16_t states) {
    return static_cast<uint16_t>((states | kStateInitialized) & kSavedStatesMask);
}

}  // namespace vyx
