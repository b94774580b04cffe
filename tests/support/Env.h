// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Setting an environment variable for this process, on POSIX and Windows alike.
#include <cstdlib>
#include <optional>
#include <string>

namespace vyx::test {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// A variable set or removed (nullptr) for one test, and put back after it.
class TEnvVar {
public:
    explicit TEnvVar(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) old_ = value;
    }
    ~TEnvVar() { Set(old_ ? old_->c_str() : nullptr); }
    TEnvVar(const TEnvVar&) = delete;
    TEnvVar& operator=(const TEnvVar&) = delete;
    void Set(const char* value) const {
#ifdef _WIN32
        _putenv_s(name_, value != nullptr ? value : "");  // an empty value removes it there
#else
        if (value != nullptr)
            setenv(name_, value, 1);
        else
            unsetenv(name_);
#endif
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace vyx::test
