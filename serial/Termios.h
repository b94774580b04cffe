// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// POSIX back end internals: how line settings become a termios record, and the
// custom baud rates that the classic termios interface cannot express.
#ifndef _WIN32
#include <termios.h>

#include <cstdint>

#include "serial/Serial.h"

namespace vyx::posix {

// The speed_t constant of a standard rate, or B0 when the rate is not standard.
speed_t StandardSpeed(uint32_t baud);

// A raw line without flow control (CLOCAL | CREAD, no input or output
// processing, reads return what is there) with the data and stop bits of the
// settings and no parity; a standard rate is set as the speed, a custom rate
// leaves B38400 as a placeholder for SetCustomSpeed.
termios RawLine(const TSerialLine& line);

// Adds the parity of the settings (even or odd, checked on input).
void AddParity(termios& t, const TSerialLine& line);

// Sets a speed outside the standard table (BOTHER). False when the system refuses
// it or keeps a rate more than 2 % away.
bool SetCustomSpeed(int fd, uint32_t baud);

// The output speed the port runs at in bits per second, 0 when unknown.
uint32_t LineSpeed(int fd);

}  // namespace vyx::posix
#endif
