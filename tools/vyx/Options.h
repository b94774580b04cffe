// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small parser for "--name value" options and positional arguments, shared by
// the subcommands that talk to a device.
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vyx::cli {

class Options {
public:
    // `valued` are the options that take a value, `flags` those that do not.
    // Throws std::invalid_argument with a message for anything unknown.
    Options(int argc, char** argv, const std::set<std::string>& valued, const std::set<std::string>& flags) {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a.rfind("--", 0) == 0 && a.size() > 2) {
                if (flags.count(a)) {
                    flags_.insert(a);
                } else if (valued.count(a)) {
                    if (i + 1 >= argc) throw std::invalid_argument("option " + a + " needs a value");
                    values_[a].push_back(argv[++i]);
                } else {
                    throw std::invalid_argument("unknown option " + a);
                }
            } else {
                positional_.push_back(a);
            }
        }
    }

    bool Has(const std::string& name) const { return flags_.count(name) || values_.count(name); }
    // The last value given; a later one overrides an earlier one.
    std::string Get(const std::string& name, const std::string& fallback) const {
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second.back();
    }
    // Every value given, in order, for an option that may be repeated.
    std::vector<std::string> GetAll(const std::string& name) const {
        const auto it = values_.find(name);
        return it == values_.end() ? std::vector<std::string>{} : it->second;
    }
    long GetInt(const std::string& name, long fallback, long min, long max) const {
        if (!values_.count(name)) return fallback;
        const std::string text = Get(name, "");
        char* end = nullptr;
        const long v = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || v < min || v > max)
            throw std::invalid_argument(name + " needs a whole number from " + std::to_string(min) + " to " +
                                        std::to_string(max));
        return v;
    }
    double GetProbability(const std::string& name) const {
        if (!values_.count(name)) return 0.0;
        const std::string text = Get(name, "");
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || !(v >= 0.0 && v <= 1.0))
            throw std::invalid_argument(name + " needs a probability from 0 to 1");
        return v;
    }
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    std::set<std::string> flags_;
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positional_;
};

}  // namespace vyx::cli
