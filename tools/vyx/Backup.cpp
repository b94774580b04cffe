// SPDX-License-Identifier: GPL-3.0-or-later
// vyx backup: saves a unit's parameters as a snapshot.
#include <cstdio>
#include <string>

#include "base/Error.h"
#include "base/Text.h"
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Snapshots.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

const std::string kBackupUsage = std::string(
    "Usage: vyx backup --port PATH --file F.dat [-o UNIT.json] [--slave N] [--mode TEXT]\n"
    "                  [--wait MS] [--echo] [--gap MS] [--hex]\n"
    "Reads every register of the device file in tree order and writes a snapshot\n"
    "(docs/snapshots.md) to UNIT.json, or to standard output, with the line's echo\n"
    "and gap. Registers that fail to read (no reply, a reply that does not answer\n"
    "the request) are listed with the reason on standard error and kept in the\n"
    "snapshot with it, never with a value.\n"
    "Exit status: 0 complete snapshot, 3 snapshot written but incomplete,\n"
    "1 no snapshot.\n\nOptions:\n") + kLineOptions;

int Backup(const cli::Options& o) {
    if (!o.Positional().empty()) throw std::invalid_argument("unexpected argument " + o.Positional()[0]);
    if (!o.Has("--file")) throw std::invalid_argument("--file F.dat is required");
    const TDevice device = LoadDevice(o, "");
    TConsoleSession c;
    const bool toFile = o.Has("--output");
    if (!toFile) c.View.Out = stderr;
    TSession& s = OpenLine(c, o, nullptr);
    const TSnapshot snapshot = ReadDevice(s, device);
    if (toFile)
        SaveSnapshot(snapshot, PathFromUtf8(o.Get("--output", "")));
    else
        std::printf("%s\n", SnapshotToJson(snapshot).dump(2).c_str());

    size_t failed = 0;
    for (const TSnapshotRegister& r : snapshot.Registers) {
        if (r.Read()) continue;
        ++failed;
        std::fprintf(stderr, "not read: %s  %s: %s\n", r.Address.c_str(), r.Name.c_str(), r.Error.c_str());
    }
    if (failed == 0) {
        std::fprintf(stderr, "snapshot complete: %s\n", Registers(snapshot.Registers.size()).c_str());
        return kExitOk;
    }
    std::fprintf(stderr, "snapshot incomplete: %zu of %s not read\n", failed,
                 Registers(snapshot.Registers.size()).c_str());
    return kExitNotClean;
}

}  // namespace

int RunBackup(int argc, char** argv) { return Guarded("backup", kBackupUsage.c_str(), Backup, argc, argv, {"--hex"}); }

