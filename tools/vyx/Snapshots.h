// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What vyx backup, vyx diff and vyx restore share: their line options, the
// device file a snapshot names, the line they open, a whole device read with
// its progress, and the wrapper that turns their errors into statuses.
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/Text.h"
#include "registers/RegisterTree.h"
#include "service/Snapshot.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

namespace vyx::tool {

// The options of the line, for each usage text.
extern const std::string kLineOptions;
// The line's echo taken from a snapshot, and how to leave it off.
extern const char kNoEchoOption[];

// "1 register", "3 registers".
std::string Registers(size_t n);

struct TDevice {
    std::filesystem::path Path;
    TRegisterTree Tree;
    std::string Name() const { return PathToUtf8(Path.filename()); }
};

// The device file named by --file, else the snapshot's device file from the
// device folders (base/DeviceFolders.h).
TDevice LoadDevice(const cli::Options& o, const std::string& snapshotDevice);

// Whether --port names the network port a snapshot was taken on (the default
// port of its kind filled in). A snapshot of a serial line keeps no port name
// and matches any.
bool SnapshotPortMatches(const service::TSnapshot& snapshot, const std::string& given);

// Opens the line; the reads of a backup or comparison print no result lines.
service::TSession& OpenLine(TConsoleSession& c, const cli::Options& o, const service::TSnapshot* snapshot);

// Reads the whole device, saying on standard error how far it is.
service::TSnapshot ReadDevice(service::TSession& s, const TDevice& d);

// Prints the differences side by side with their shown values (and their
// words where the values look alike); returns their count.
size_t PrintDifferences(const std::vector<service::TDifference>& differences, const std::string& nameA,
                        const std::string& nameB);

// Runs a command's body with its options ("-o" for "--output"); the usage for
// --help, errors as messages and statuses.
int Guarded(const char* command, const char* usage, int (*body)(const cli::Options&), int argc, char** argv,
            std::set<std::string> flags);

}  // namespace vyx::tool
