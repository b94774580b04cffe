// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/LocalTime.h"

namespace vyx {

std::tm LocalTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

}  // namespace vyx
