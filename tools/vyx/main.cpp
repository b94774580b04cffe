// vyx: command-line tool over the register map and the protocol core.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/vyx/Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

constexpr Command kCommands[] = {
    {"dump", RunDump, "print a register description file (.dat) as JSON"},
    {"build", RunBuild, "write a register description file (.dat) from JSON"},
    {"sim", RunSim, "play a device of a register description file on a pseudo-terminal"},
    {"read", RunRead, "read a register of the device"},
    {"write", RunWrite, "write a value into a register of the device"},
    {"reset", RunReset, "send the device the restart diagnostic"},
    {"walk", RunWalk, "read the registers of a group one after another"},
    {"monitor", RunMonitor, "read a register periodically, with the time of each reading"},
    {"calibrate", RunCalibrate, "average readings of R0 and write the mean into N100 or N400"},
    {"scan", RunScan, "find the speed, parity and slave address of devices on a line"},
    {"backup", RunBackup, "save every register of a device as a snapshot (JSON)"},
    {"diff", RunDiff, "compare two snapshots, or a snapshot and a device"},
    {"restore", RunRestore, "write a snapshot's writable registers back to a device"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: vyx COMMAND [ARGS...]\n"
                 "       vyx COMMAND --help\n\n"
                 "Commands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
}

}  // namespace

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "vyx: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return kExitUsage;
}
