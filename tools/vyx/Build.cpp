// SPDX-License-Identifier: GPL-3.0-or-later
// vyx build FILE.json -o FILE.dat: a register description file from its JSON form.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Json.h"

namespace {

constexpr const char* kBuildUsage =
    "Usage: vyx build FILE.json -o FILE.dat\n\n"
    "Writes the register tree described by FILE.json as a register description\n"
    "file (version 2). The JSON has the form `vyx dump` prints; every key of a node\n"
    "but \"Name\" may be left out (docs/register-files.md). On any fault the reason\n"
    "is printed on standard error, the exit status is 1 and no output file is made.\n";

// nlohmann's messages start with an internal tag, "[json.exception.parse_error.101] ".
std::string WithoutTag(std::string_view what) {
    if (!what.empty() && what.front() == '[') {
        const size_t end = what.find("] ");
        if (end != std::string_view::npos) what.remove_prefix(end + 2);
    }
    return std::string(what);
}

}  // namespace

int RunBuild(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kBuildUsage, stdout);
        return kExitOk;
    }
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "-o" || arg == "--output") && i + 1 < argc && output.empty()) {
            output = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            std::fputs(kBuildUsage, stderr);
            return kExitUsage;
        }
    }
    if (input.empty() || output.empty()) {
        std::fputs(kBuildUsage, stderr);
        return kExitUsage;
    }

    std::ifstream in(vyx::PathFromUtf8(input), std::ios::binary);
    if (!in) {
        std::cerr << "vyx build: cannot open " << input << ": " << std::strerror(errno) << '\n';
        return kExitFailure;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        std::cerr << "vyx build: cannot read " << input << '\n';
        return kExitFailure;
    }

    vyx::TRegisterTree tree;
    try {
        const nlohmann::json doc = nlohmann::json::parse(text.str());
        vyx::tool::JsonToTree(doc, tree);
    } catch (const nlohmann::json::exception& e) {
        std::cerr << "vyx build: " << input << ": " << WithoutTag(e.what()) << '\n';
        return kExitFailure;
    } catch (const vyx::tool::JsonError& e) {
        std::cerr << "vyx build: " << input << ": " << e.what() << '\n';
        return kExitFailure;
    }

    try {
        vyx::SaveRegisterFile(tree, vyx::PathFromUtf8(output));
    } catch (const vyx::Error& e) {
        std::cerr << "vyx build: " << e.what() << '\n';
        return kExitFailure;
    }
    return kExitOk;
}
