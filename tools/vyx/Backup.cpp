// SPDX-License-Identifier: GPL-3.0-or-later
// vyx backup, vyx diff, vyx restore: save a unit's parameters as a snapshot,
// compare snapshots or a snapshot and a live device, and put a snapshot's
// writable registers back onto a device by their exact words.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/Address.h"
#include "registers/DeviceFolders.h"
#include "registers/Error.h"
#include "registers/RegisterFile.h"
#include "registers/Text.h"
#include "service/Restore.h"
#include "service/Session.h"
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

namespace fs = std::filesystem;
using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

const std::string kLineOptions = std::string(
#ifdef _WIN32
    "  --port NAME       serial port: COM3, or a device path\n"
#else
    "  --port PATH       serial port: a path, or a name under /dev\n"
#endif
    "                    or tcp://HOST[:PORT], mbtcp://HOST[:PORT] (a device server)\n"
    "  --mode TEXT       line settings (default: the snapshot's, else 19200,e,8,1;\n"
    "                    nothing on a network port: tcp://HOST[:PORT], mbtcp://HOST[:PORT])\n"
    "  --slave N         slave address (default: the snapshot's, else 247)\n"
    "  --file F.dat      the device file (default: the snapshot's device file,\n"
#ifdef _WIN32
    "                    in the folder of vyx)\n"
#else
    "                    looked for in the folder of vyx, then in\n"
    "                    ~/.local/share/vyx-cfg/devices, then in\n"
    "                    ../share/vyx-cfg/devices from the folder of vyx)\n"
#endif
    "  --hex             also print the request and reply frames\n") +
    kReplyOptions;

// The line's echo taken from a snapshot, and how to leave it off.
const char kNoEchoOption[] =
    "  --no-echo         the line does not echo, whatever the snapshot says\n"
    "The line's echo and gap are the snapshot's unless --echo, --no-echo or --gap\n"
    "say otherwise.\n";

// "-o FILE" is the short form of "--output FILE".
std::vector<char*> ExpandShortOptions(int argc, char** argv) {
    static char output[] = "--output";
    std::vector<char*> args(argv, argv + argc);
    for (char*& a : args)
        if (std::string_view(a) == "-o") a = output;
    return args;
}

// "1 register", "3 registers".
std::string Registers(size_t n) { return std::to_string(n) + (n == 1 ? " register" : " registers"); }

// Width of a text on a terminal, counted in characters.
size_t Width(const std::string& utf8) { return FromUtf8(utf8).size(); }

std::string Pad(const std::string& text, size_t width) {
    const size_t w = Width(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

std::string Side(const TSnapshotRegister* r, bool showWords) {
    if (!r) return "(missing)";
    if (!r->Read()) return "(not read: " + r->Error + ")";
    return showWords ? r->Value + " [" + WordsText(r->Words) + "]" : r->Value;
}

// Prints the differences side by side with their shown values; returns their count.
size_t PrintDifferences(const std::vector<TDifference>& differences, const std::string& nameA,
                        const std::string& nameB) {
    if (differences.empty()) return 0;
    struct Row {
        std::string address, name, a, b;
    };
    std::vector<Row> rows;
    size_t wName = 0, wA = Width(nameA);
    for (const TDifference& d : differences) {
        const TSnapshotRegister& r = d.A ? *d.A : *d.B;
        // Words only where the shown values cannot tell the two apart.
        const bool words = d.A && d.B && d.A->Read() && d.B->Read() && d.A->Value == d.B->Value;
        rows.push_back({r.Address, r.Name, Side(d.A, words), Side(d.B, words)});
        wName = std::max(wName, Width(r.Name));
        wA = std::max(wA, Width(rows.back().a));
    }
    std::printf("%s  %s  %s | %s\n", Pad("", 6).c_str(), Pad("", wName).c_str(), Pad(nameA, wA).c_str(),
                nameB.c_str());
    for (const Row& r : rows)
        std::printf("%s  %s  %s | %s\n", Pad(r.address, 6).c_str(), Pad(r.name, wName).c_str(), Pad(r.a, wA).c_str(),
                    r.b.c_str());
    std::fflush(stdout);  // before what follows on standard error
    return rows.size();
}

struct TDevice {
    fs::path Path;
    TRegisterTree Tree;
    std::string Name() const { return PathToUtf8(Path.filename()); }
};

// "A", "A or B", "A, B or C".
std::string Alternatives(const std::vector<fs::path>& folders) {
    std::string text;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) text += i + 1 == folders.size() ? " or " : ", ";
        text += PathToUtf8(folders[i]);
    }
    return text;
}

// The device file named by --file, else the snapshot's device file from the
// device folders (registers/DeviceFolders.h).
TDevice LoadDevice(const cli::Options& o, const std::string& snapshotDevice) {
    TDevice d;
    if (o.Has("--file")) {
        d.Path = PathFromUtf8(o.Get("--file", ""));
    } else {
        if (snapshotDevice.empty() || PathFromUtf8(snapshotDevice).filename() != PathFromUtf8(snapshotDevice))
            throw Error("name the device file with --file");
        const std::vector<fs::path> folders = DeviceFolders(ProgramFolder());
        d.Path = FindDeviceFile(folders, PathFromUtf8(snapshotDevice));
        if (d.Path.empty())
            throw Error(snapshotDevice + " is not in " + Alternatives(folders) + "; name it with --file");
    }
    LoadRegisterFile(d.Tree, d.Path);
    return d;
}

// Whether --port names the network port a snapshot was taken on (the default
// port of its kind filled in). A snapshot of a serial line keeps no port name
// and matches any.
bool SnapshotPortMatches(const TSnapshot& snapshot, const std::string& given) {
    if (snapshot.Port.empty()) return true;
    net::TNetAddress a, b;
    return net::ParseNetAddress(snapshot.Port, a) && net::ParseNetAddress(given, b) && a == b;
}

// Opens the line; the reads of a backup or comparison print no result lines.
TSession& OpenLine(TConsoleSession& c, const cli::Options& o, const TSnapshot* snapshot) {
    c.View.Hex = o.Has("--hex");
    c.View.Results = false;
    TSession& s = c.Session;
    s.Slave = FromUtf8(o.Get("--slave", snapshot ? std::to_string(snapshot->Slave) : "247"));
    const int32_t slave = StrToInt(s.Slave);
    if (slave < 1 || slave > 255) throw Error("--slave needs an address from 1 to 255");
    OpenPort(s, o, snapshot && !snapshot->Mode.empty() ? snapshot->Mode : "19200,e,8,1",
             snapshot ? snapshot->Line : TLineOptions{});
    return s;
}

// Reads the whole device, saying on standard error how far it is.
TSnapshot ReadDevice(TSession& s, const TDevice& d) {
    const bool terminal = isatty(2);
    TSnapshot live = TakeSnapshot(s, d.Tree, d.Name(), [&](size_t i, size_t n) {
        if (terminal) std::fprintf(stderr, "\rreading %zu of %zu registers", i + 1, n);
    });
    if (terminal) std::fprintf(stderr, "\r\033[K");
    return live;
}

// The body of a command; the wrapper turns errors into messages and statuses.
int Guarded(const char* command, const char* usage, int (*body)(const cli::Options&), int argc, char** argv,
            std::set<std::string> flags) {
    if (WantsHelp(argc, argv)) {
        std::fputs(usage, stdout);
        return kExitOk;
    }
    try {
        std::set<std::string> valued = {"--port", "--mode", "--slave", "--file", "--output"};
        AddLineOptions(valued, flags);
        std::vector<char*> args = ExpandShortOptions(argc, argv);
        const cli::Options o(static_cast<int>(args.size()), args.data(), valued, flags);
        return body(o);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx %s: %s\n\n%s", command, e.what(), usage);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyx %s: %s\n", command, e.what());
        return kExitFailure;
    }
}

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
        nameB = "device on " + s.Path;
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
    PrintDifferences(differences, file, "device on " + s.Path);

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
        if (t.Outcome != TOutcome::Good)
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

int RunBackup(int argc, char** argv) { return Guarded("backup", kBackupUsage.c_str(), Backup, argc, argv, {"--hex"}); }

int RunDiff(int argc, char** argv) {
    return Guarded("diff", kDiffUsage.c_str(), Diff, argc, argv, {"--hex", "--no-echo"});
}

int RunRestore(int argc, char** argv) {
    return Guarded("restore", kRestoreUsage.c_str(), Restore, argc, argv,
                   {"--hex", "--yes", "--force", "--partial", "--no-echo"});
}
