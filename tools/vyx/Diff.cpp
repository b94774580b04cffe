// SPDX-License-Identifier: GPL-3.0-or-later
// vyx diff: compares two snapshots, or a snapshot and a live device.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Text.h"
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Snapshots.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

const std::string kDiffUsage = std::string(
    "Usage: vyx diff A.json B.json\n"
    "       vyx diff A.json --port PATH [--file F.dat] [--slave N] [--mode TEXT]\n"
    "                       [--wait MS] [--echo | --no-echo] [--gap MS] [--hex]\n"
    "Lists the registers whose words differ, side by side with their shown values\n"
    "(and their words where the values look alike), and the registers present in\n"
    "only one. With --port, B is the live device, read through the device file.\n"
    "A snapshot taken on a network port names it: a note says when --port is\n"
    "another; a lone such snapshot without --port is refused with its port named.\n"
    "Exit status: 0 no differences, 3 differences, 1 failure.\n\nOptions:\n") + kLineOptions + kNoEchoOption;

int Diff(const cli::Options& o) {
    const auto& files = o.Positional();
    const bool live = o.Has("--port");
    if (files.empty() || files.size() > (live ? 1u : 2u))
        throw std::invalid_argument(live ? "name one snapshot to compare with the device" : "name two snapshots");
    const TSnapshot a = LoadSnapshot(PathFromUtf8(files[0]));
    // One snapshot of a network port: its port is named, never dialled unasked.
    if (files.size() == 1 && !live)
        throw std::invalid_argument(a.Port.empty() ? "name two snapshots, or one and --port"
                                                   : "name a second snapshot, or the device's port with --port (" +
                                                         files[0] + " was taken on " + a.Port + ")");
    TSnapshot b;
    std::string nameB;
    if (live) {
        const TDevice device = LoadDevice(o, a.Device);
        if (device.Name() != a.Device)
            std::fprintf(stderr, "note: %s was taken from %s, the device is read through %s\n", files[0].c_str(),
                         a.Device.c_str(), device.Name().c_str());
        if (!SnapshotPortMatches(a, o.Get("--port", "")))
            std::fprintf(stderr, "note: %s was taken on %s, the device is read on %s\n", files[0].c_str(),
                         a.Port.c_str(), o.Get("--port", "").c_str());
        TConsoleSession c;
        TSession& s = OpenLine(c, o, &a);
        b = ReadDevice(s, device);
        nameB = "device on " + s.Opened.Path;
    } else {
        b = LoadSnapshot(PathFromUtf8(files[1]));
        nameB = files[1];
    }
    const size_t n = PrintDifferences(Compare(a, b), files[0], nameB);
    if (n == 0) {
        std::fprintf(stderr, "no differences\n");
        return kExitOk;
    }
    std::fprintf(stderr, "%s %s\n", Registers(n).c_str(), n == 1 ? "differs" : "differ");
    return kExitNotClean;
}

}  // namespace

int RunDiff(int argc, char** argv) {
    return Guarded("diff", kDiffUsage.c_str(), Diff, argc, argv, {"--hex", "--no-echo"});
}

