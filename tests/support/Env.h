// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Setting an environment variable for this process, on POSIX and Windows alike.
#include <cstdlib>
#include <string>

namespace vyx::test {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

}  // namespace vyx::test
