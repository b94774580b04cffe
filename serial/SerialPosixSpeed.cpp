// SPDX-License-Identifier: GPL-3.0-or-later
// Custom baud rates through termios2. Kept apart from the rest of the back end:
// the kernel's termios definitions clash with the C library's <termios.h>.
#ifndef _WIN32
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace vyx::posix {

bool SetCustomSpeed(int fd, uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return false;

    struct termios2 back {};
    if (ioctl(fd, TCGETS2, &back) != 0) return false;
    const uint64_t actual = back.c_ospeed;
    const uint64_t diff = actual > baud ? actual - baud : baud - actual;
    return diff * 50 <= baud;
}

uint32_t LineSpeed(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

}  // namespace vyx::posix
#endif
