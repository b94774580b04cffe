// SPDX-License-Identifier: GPL-3.0-or-later
// vyx dump FILE.dat: the register tree of a file as JSON on standard output.
#include <cstdio>
#include <iostream>
#include <string>

#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Json.h"

namespace {

constexpr const char* kDumpUsage =
    "Usage: vyx dump FILE.dat\n\n"
    "Prints the register tree of FILE.dat as JSON on standard output:\n"
    "  {\"version\": V, \"nodes\": [ {\"Name\", \"Note\", \"Address\", \"DataType\", \"Length\",\n"
    "   \"Access\", \"Value\", \"CheckState\", \"CheckType\", \"States\", \"NodeHeight\",\n"
    "   \"Align\", \"children\": [...]}, ... ]}\n"
    "When the file does not load, prints the reason on standard error and exits with 1.\n";

}  // namespace

int RunDump(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kDumpUsage, stdout);
        return kExitOk;
    }
    if (argc != 2) {
        std::fputs(kDumpUsage, stderr);
        return kExitUsage;
    }
    vyx::TRegisterTree tree;
    int version;
    try {
        version = vyx::LoadRegisterFile(tree, vyx::PathFromUtf8(argv[1]));
    } catch (const vyx::Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }
    std::cout << vyx::tool::TreeToJson(tree, version).dump(2) << '\n';
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "vyx dump: cannot write to standard output\n";
        return kExitFailure;
    }
    return kExitOk;
}
