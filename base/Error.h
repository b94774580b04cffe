// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one error type the user sees: it carries a fixed, user-facing text (UTF-8),
// which the window shows in its error box and the command-line tool prints.
#include <stdexcept>
#include <string>

namespace vyx {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace vyx
