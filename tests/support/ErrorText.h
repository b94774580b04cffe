// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the vyx::Error a call raises, or "(no error)".
#include <string>

#include "base/Error.h"

namespace vyx::test {

template <typename Call>
std::string ErrorOf(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace vyx::test
