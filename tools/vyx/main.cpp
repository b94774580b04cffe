// SPDX-License-Identifier: GPL-3.0-or-later
// vyx: command-line tool over the register map and the protocol core.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>
#endif

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
#ifndef _WIN32
    {"sim", RunSim, "play a device of a register description file on a pseudo-terminal"},
#endif
    {"ports", RunPorts, "list the serial ports, each USB adapter by its name"},
    {"read", RunRead, "read a register of the device"},
    {"write", RunWrite, "write a value into a register of the device"},
    {"reset", RunReset, "send the device the restart diagnostic"},
    {"walk", RunWalk, "read the registers of a group one after another"},
    {"monitor", RunMonitor, "read a register periodically, with the time of each reading"},
    {"calibrate", RunCalibrate, "average readings of R0 and write the mean into N100 or N400"},
    {"scan", RunScan, "find the units on a line: speed, parity, slave address, which is which"},
    {"ident", RunIdent, "ask a unit what it is: functions 43/14 and 17, its type and serial number"},
    {"backup", RunBackup, "save every register of a device as a snapshot (JSON)"},
    {"diff", RunDiff, "compare two snapshots, or a snapshot and a device"},
    {"restore", RunRestore, "write a snapshot's writable registers back to a device"},
    {"report", RunReport, "write the service report of a unit (HTML) from its snapshots"},
    {"history", RunHistory, "list a unit's service visits and the writable registers they changed"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: vyx COMMAND [ARGS...]\n"
                 "       vyx COMMAND --help\n\n"
                 "Commands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
}

#ifdef _WIN32
// The arguments as UTF-8, like on Linux: the ANSI arguments Windows gives main()
// turn letters outside the code page (the Polish ones on an English system)
// into '?', so they are taken from the UTF-16 command line. Output is UTF-8 too.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 0; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.resize(std::strlen(arg.c_str()));
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}
#endif

}  // namespace

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

void CatchInterrupt(void (*handler)(int)) {
#ifdef _WIN32
    // Ctrl+C arrives as SIGINT through the C runtime.
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
#else
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif
}

std::filesystem::path ProgramFolder() {
#ifdef _WIN32
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return std::filesystem::current_path();
        if (n < self.size()) {
            self.resize(n);
            return std::filesystem::path(self).parent_path();
        }
        self.resize(self.size() * 2);
    }
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
#endif
}


int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> utf8 = Utf8Arguments();
    std::vector<char*> pointers;
    pointers.reserve(utf8.size() + 1);
    for (std::string& a : utf8) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    if (!utf8.empty()) {
        argc = static_cast<int>(utf8.size());
        argv = pointers.data();
    }
    SetConsoleOutputCP(CP_UTF8);
#endif
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
