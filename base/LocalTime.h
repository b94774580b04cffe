// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The local calendar time of a moment, the same way on every platform (the
// thread-safe localtime_r or localtime_s).
#include <ctime>

namespace vyx {

std::tm LocalTime(std::time_t t);

}  // namespace vyx
