// SPDX-License-Identifier: GPL-3.0-or-later
// vyx restore: puts a snapshot's writable registers back onto a device by
// their exact words.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Text.h"
#include "service/Restore.h"
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Snapshots.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

const std::string kRestoreUsage = std::string(
    "Usage: vyx restore UNIT.json --port PATH [--yes] [--force] [--partial] [--file F.dat]\n"
    "                   [--slave N] [--mode TEXT] [--wait MS] [--echo | --no-echo]\n"
    "                   [--gap MS] [--hex]\n"
    "Reads the device and shows what would change, as vyx diff does. With --yes it\n"
    "writes the RW and RP registers whose words differ, with the snapshot's exact\n"
    "words (function 6 for one register, 16 for more), then reads each back and\n"
    "reports any that did not take. RO registers and registers missing from the\n"
    "device file are never written. A snapshot taken from another device file, or\n"
    "on a network port other than --port, is refused unless --force. A snapshot\n"
    "with registers that were not read is refused, naming them, unless --partial.\n"
    "Exit status: 0 every register written took (without --yes: the device was\n"
    "read), 3 a write failed or did not take, 1 failure.\n\nOptions:\n"
    "  --yes             write; without it nothing is written\n"
    "  --force           restore a snapshot taken from another device file or\n"
    "                    on another network port\n"
    "  --partial         restore a snapshot with registers that were not read: the\n"
    "                    registers that were read, and say how many were left out\n") +
    kLineOptions + kNoEchoOption;

// Names the registers the backup could not read, which have no words to put
// back, and refuses them unless `partial`. Their count.
size_t ListUnread(const TSnapshot& saved, const std::string& file, bool partial) {
    const std::vector<const TSnapshotRegister*> unread = saved.Unread();
    for (const TSnapshotRegister* r : unread)
        std::fprintf(stderr, "not read in %s: %s  %s\n", file.c_str(), r->Address.c_str(), r->Name.c_str());
    if (!unread.empty() && !partial)
        throw Error(file + " is incomplete: " + Registers(unread.size()) +
                    " not read; --partial restores the registers that were read");
    return unread.size();
}

int Restore(const cli::Options& o) {
    if (o.Positional().size() != 1) throw std::invalid_argument("name one snapshot to restore");
    const std::string file = o.Positional()[0];
    const TSnapshot saved = LoadSnapshot(PathFromUtf8(file));
    if (!o.Has("--port"))
        throw std::invalid_argument(saved.Port.empty() ? "--port is required"
                                                       : "--port is required (" + file + " was taken on " +
                                                             saved.Port + ")");
    // Another name may be another unit: nothing is read or written there unasked.
    const std::string port = o.Get("--port", "");
    if (!SnapshotPortMatches(saved, port) && !o.Has("--force"))
        throw Error(file + " was taken on " + saved.Port + ", not on " + port + "; --force restores it anyway");
    TDevice device = LoadDevice(o, saved.Device);
    if (device.Name() != saved.Device && !o.Has("--force"))
        throw Error(file + " was taken from " + saved.Device + ", not from " + device.Name() +
                    "; --force restores it anyway");
    const size_t unread = ListUnread(saved, file, o.Has("--partial"));

    TConsoleSession c;
    TSession& s = OpenLine(c, o, &saved);
    const TSnapshot live = ReadDevice(s, device);
    const std::vector<TDifference> differences = Compare(saved, live);
    PrintDifferences(differences, file, "device on " + s.Opened.Path);

    const TRestorePlan plan = PlanRestore(differences, device.Tree, device.Name());
    for (const TRestoreSkip& skip : plan.Skipped)
        std::fprintf(stderr, "not written: %s  %s: %s\n", skip.Saved->Address.c_str(), skip.Saved->Name.c_str(),
                     skip.Why.c_str());
    // Said last, where it is seen.
    const auto leftOut = [&] {
        if (unread > 0) std::fprintf(stderr, "%s not read in %s left out\n", Registers(unread).c_str(), file.c_str());
    };
    if (plan.Writes.empty()) {
        std::fprintf(stderr, "nothing to write\n");
        leftOut();
        return kExitOk;
    }
    if (!o.Has("--yes")) {
        std::fprintf(stderr, "%s would be written; --yes writes them\n", Registers(plan.Writes.size()).c_str());
        leftOut();
        return kExitOk;
    }

    size_t failed = 0;
    std::vector<bool> refused(plan.Writes.size(), false);  // nothing was sent
    c.View.Results = true;
    for (size_t i = 0; i < plan.Writes.size(); ++i) {
        const TSnapshotRegister& r = *plan.Writes[i].Saved;
        try {
            WriteSaved(s, plan.Writes[i]);
        } catch (const Error& e) {
            ++failed;
            refused[i] = true;
            std::fprintf(stderr, "not written: %s  %s: %s\n", r.Address.c_str(), r.Name.c_str(), e.what());
            continue;
        }
        std::fflush(stdout);
        const TTransaction& t = s.Transaction;
        if (t.Outcome() != TOutcome::Good)
            std::fprintf(stderr, "%s  %s: %s\n", r.Address.c_str(), r.Name.c_str(),
                         t.Reason(TLanguage::English).c_str());
    }
    c.View.Results = false;
    for (size_t i = 0; i < plan.Writes.size(); ++i) {
        if (refused[i]) continue;
        const TRestoreWrite& w = plan.Writes[i];
        const TRegisterRead back = ReadWords(s, *w.Node);
        if (w.Took(back)) continue;
        ++failed;
        std::fprintf(stderr, "did not take: %s  %s: %s\n", w.Saved->Address.c_str(), w.Saved->Name.c_str(),
                     back.Ok ? ("reads " + ToUtf8(back.Value) + " [" + WordsText(back.Words) + "]").c_str()
                             : ("read back failed: " + back.Error).c_str());
    }
    if (failed == 0) {
        std::fprintf(stderr, "restored %s\n", Registers(plan.Writes.size()).c_str());
        leftOut();
        return kExitOk;
    }
    std::fprintf(stderr, "%zu of %s did not take\n", failed, Registers(plan.Writes.size()).c_str());
    leftOut();
    return kExitNotClean;
}

}  // namespace

int RunRestore(int argc, char** argv) {
    return Guarded("restore", kRestoreUsage.c_str(), Restore, argc, argv,
                   {"--hex", "--yes", "--force", "--partial", "--no-echo"});
}
