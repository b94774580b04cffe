// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole contents of a file as bytes, for tests that check what was written.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vyx::test {

inline std::string FileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace vyx::test
