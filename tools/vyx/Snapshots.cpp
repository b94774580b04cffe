// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/Snapshots.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "base/DeviceFolders.h"
#include "base/Error.h"
#include "base/Text.h"
#include "net/Address.h"
#include "registers/RegisterFile.h"
#include "tools/vyx/Commands.h"

namespace fs = std::filesystem;

namespace vyx::tool {

using namespace service;

namespace {

// "-o FILE" is the short form of "--output FILE".
std::vector<char*> ExpandShortOptions(int argc, char** argv) {
    static char output[] = "--output";
    std::vector<char*> args(argv, argv + argc);
    for (char*& a : args)
        if (std::string_view(a) == "-o") a = output;
    return args;
}

// "A", "A or B", "A, B or C".
std::string Alternatives(const std::vector<fs::path>& folders) {
    std::string text;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) text += i + 1 == folders.size() ? " or " : ", ";
        text += PathToUtf8(folders[i]);
    }
    return text;
}

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

}  // namespace

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

const char kNoEchoOption[] =
    "  --no-echo         the line does not echo, whatever the snapshot says\n"
    "The line's echo and gap are the snapshot's unless --echo, --no-echo or --gap\n"
    "say otherwise.\n";

// "1 register", "3 registers".
std::string Registers(size_t n) { return std::to_string(n) + (n == 1 ? " register" : " registers"); }

// The device file named by --file, else the snapshot's device file from the
// device folders (base/DeviceFolders.h).
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
    const int32_t slave = StrToInt(FromUtf8(o.Get("--slave", snapshot ? std::to_string(snapshot->Slave) : "247")));
    if (slave < 1 || slave > 255) throw Error("--slave needs an address from 1 to 255");
    s.Slave = TSlave(static_cast<uint8_t>(slave));
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

}  // namespace vyx::tool
