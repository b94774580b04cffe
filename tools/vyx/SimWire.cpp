// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/SimWire.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstring>

namespace vyx::sim {

volatile std::sig_atomic_t gStop = 0;

void SleepUntil(const timespec& t) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR && !gStop) {
    }
}

timespec After(timespec t, double seconds) {
    const auto ns = static_cast<long long>(seconds * 1e9);
    t.tv_sec += static_cast<time_t>(ns / 1000000000LL);
    t.tv_nsec += static_cast<long>(ns % 1000000000LL);
    if (t.tv_nsec >= 1000000000L) t.tv_sec += 1, t.tv_nsec -= 1000000000L;
    return t;
}

// Writes the reply, byte by byte at the line's pace when a baud rate is given.
void Send(int fd, const uint8_t* bytes, int n, long baud) {
    if (baud <= 0) {
        for (int done = 0; done < n;) {
            const ssize_t w = write(fd, bytes + done, static_cast<size_t>(n - done));
            if (w <= 0) return;
            done += static_cast<int>(w);
        }
        return;
    }
    const double charTime = 11.0 / static_cast<double>(baud);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < n && !gStop; ++i) {
        SleepUntil(After(start, charTime * (i + 1)));
        if (write(fd, bytes + i, 1) != 1) return;
    }
}

// The length of a request frame from its first bytes: 0 while too few bytes have
// arrived to tell, -1 for a function whose length is not known (the frame then
// ends at a pause on the line).
int RequestLength(const uint8_t* b, int n) {
    if (n < 2) return 0;
    switch (b[1]) {
        case 1: case 2: case 3: case 4: case 5: case 6: case 8:
            return 8;
        case 15: case 16:
            return n < 7 ? 0 : 9 + b[6];
        case 17:  // report slave id
            return 4;
        case 43:  // read device identification (MEI type 14); other MEI types are not known
            return n < 3 ? 0 : b[2] == 14 ? 7 : -1;
        default:
            return -1;
    }
}



// Reads one request frame from the line: complete by its length, or ended by a
// pause of 5 ms. Returns its length, 0 when nothing came before the stop flag;
// on a connection (`stream`), -1 once the client has closed it.
int ReceiveFrame(int fd, uint8_t* buf, int size, TCarry& carry, bool stream) {
    int n = std::min(carry.n, size);
    std::memcpy(buf, carry.bytes, static_cast<size_t>(n));
    carry.n = 0;
    while (!gStop) {
        const int expected = RequestLength(buf, n);
        if (expected > 0 && n >= expected) {
            carry.n = std::min<int>(n - expected, sizeof carry.bytes);
            std::memcpy(carry.bytes, buf + expected, static_cast<size_t>(carry.n));
            return expected;
        }
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, n == 0 ? 200 : 5);
        if (r == 0) {
            if (n > 0) return n;  // a pause ends what has come
            continue;
        }
        if (r < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        const ssize_t got = read(fd, buf + n, static_cast<size_t>(size - n));
        if (stream && (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))) return -1;
        if (got <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        n += static_cast<int>(got);
        if (n >= size) return n;
    }
    return 0;
}

}  // namespace vyx::sim
