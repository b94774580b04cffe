// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole contents of a file as bytes, for tests that check what was written.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace vyx::test {

inline std::string FileText(const std::filesystem::path& p) {
#ifdef _WIN32
    // Also a file that its writer holds open with delete access (a live
    // journal), which a plain open is refused.
    HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
#else
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
#endif
}

}  // namespace vyx::test
