// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX back end of the serial unit: termios for the line, poll for the time-outs,
// flock and TIOCEXCL for exclusive access.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "serial/Serial.h"
#include "serial/Termios.h"

namespace vyx {

namespace posix {

speed_t StandardSpeed(uint32_t baud) {
    struct Rate {
        uint32_t baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate& r : kRates) {
        if (r.baud == baud) return r.speed;
    }
    return B0;
}

termios RawLine(const TSerialLine& line) {
    termios t;
    std::memset(&t, 0, sizeof t);  // no input or output processing, no echo, no flow control
    t.c_cflag = CREAD | CLOCAL;
    switch (line.DataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        default: t.c_cflag |= CS8; break;
    }
    if (line.StopBits == 2) t.c_cflag |= CSTOPB;
    // Reads return at once with what is there; ReadPort does the timing.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = StandardSpeed(line.Baud);
    const speed_t set = speed != B0 ? speed : B38400;
    cfsetispeed(&t, set);
    cfsetospeed(&t, set);
    return t;
}

void AddParity(termios& t, const TSerialLine& line) {
    if (line.Parity == 'N') return;
    t.c_cflag |= PARENB;
    if (line.Parity == 'O') t.c_cflag |= PARODD;
    t.c_iflag |= INPCK;
}

}  // namespace posix

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from now to the deadline, rounded up, for poll.
int PollTimeout(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

// Line time of n characters at the given settings, rounded up to a microsecond.
std::chrono::microseconds LineTime(const TSerialLine& line, std::size_t n) {
    if (line.Baud == 0) return {};
    const uint64_t bits = 1u + line.DataBits + (line.Parity != 'N' ? 1u : 0u) + line.StopBits;
    const uint64_t total = uint64_t{n} * bits * 1000000u;
    return std::chrono::microseconds((total + line.Baud - 1) / line.Baud);
}

}  // namespace

TSerial::~TSerial() { ReleasePort(); }

TPortHandle TSerial::OpenDevice(const std::string& path) {
    auto refuse = [this](TOpenFault fault, int error, int fd) {
        if (fd >= 0) ::close(fd);
        OpenFault_ = fault;
        OpenErrno_ = error;
        return kInvalidPortHandle;
    };
    if (path.empty()) return refuse(TOpenFault::NoDevice, ENOENT, -1);
    // Non-blocking, so that a modem line without carrier does not hold the open.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO) return refuse(TOpenFault::NoDevice, error, -1);
        if (error == EBUSY) return refuse(TOpenFault::Busy, error, -1);  // TIOCEXCL of another opener
        if (error == EACCES || error == EPERM) return refuse(TOpenFault::NoPermission, error, -1);
        return refuse(TOpenFault::System, error, -1);
    }
    if (!isatty(fd)) return refuse(TOpenFault::NotTerminal, ENOTTY, fd);
    // root ignores TIOCEXCL, so the lock is what keeps a second opener out; it is
    // taken first, so that a failed open never marks someone else's port.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) return refuse(TOpenFault::Busy, errno, fd);
    OpenFault_ = TOpenFault::None;
    OpenErrno_ = 0;
    return fd;
}

bool TSerial::OpenPort(const std::string& path, const std::string& mode) {
    if (Com.Opened || Handle_ != kInvalidPortHandle) ClosePort();

    Handle_ = OpenDevice(path);
    if (Handle_ == kInvalidPortHandle) return false;
    LineFree_ = {};

    // Driver queue sizes are fixed on POSIX systems; nothing to request.

    Line_ = TSerialLine{};
    TSerialLine line;
    if (!ParseMode(mode, line)) {
        ClosePort();
        OpenFault_ = TOpenFault::BadMode;
        return false;
    }
    Line_ = line;
    if (!ApplyLine()) {
        ClosePort();
        OpenFault_ = TOpenFault::LineRefused;
        return false;
    }

    Com.Opened = true;
    Purge();
    return true;
}

bool TSerial::ApplyLine() {
    // Two steps: a pseudo-terminal refuses a request whose only change is the
    // parity, and drops parity otherwise; so raw mode, speed, data and stop bits
    // go first, and the parity after them, its refusal not acted on.
    termios t = posix::RawLine(Line_);
    (void)tcsetattr(Handle_, TCSANOW, &t);
    if (Line_.Parity != 'N') {
        posix::AddParity(t, Line_);
        (void)tcsetattr(Handle_, TCSANOW, &t);
    }
    if (posix::StandardSpeed(Line_.Baud) == B0) return posix::SetCustomSpeed(Handle_, Line_.Baud);
    return true;
}

bool TSerial::Purge() {
    return Handle_ != kInvalidPortHandle && tcflush(Handle_, TCIOFLUSH) == 0;
}

bool TSerial::SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) {
    termios current;
    if (Handle_ == kInvalidPortHandle || tcgetattr(Handle_, &current) != 0) {
        ClosePort();
        return false;
    }
    Timeouts_ = {ri, rm, rc, wm, wc};
    return true;
}

uint16_t TSerial::WritePort(const uint8_t* frame, uint16_t n) {
    if (!PrepareWrite(frame, n)) return 0;

    const auto deadline =
        Clock::now() + std::chrono::milliseconds(uint64_t{Timeouts_.WriteTotalMultiplier} * n +
                                                 Timeouts_.WriteTotalConstant);
    std::size_t done = 0;
    Com.Written = 0;
    const auto failed = [&] {
        Com.Written = static_cast<uint32_t>(done);
        CloseIfGone();
        return uint16_t{0};
    };
    while (done < n) {
        const ssize_t w = ::write(Handle_, TxBuf_.data() + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return failed();
        // The driver's queue is full: wait for room until the write time-out.
        const int wait = PollTimeout(deadline);
        if (wait == 0) break;
        pollfd p{Handle_, POLLOUT, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) return failed();
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Com.Written = static_cast<uint32_t>(done);
            ClosePort();  // the device went away
            return 0;
        }
    }
    Com.Written = static_cast<uint32_t>(done);
    // The bytes are queued, not yet sent: the request leaves the line after its
    // line time, and the device's time to answer starts then.
    LineFree_ = Clock::now() + LineTime(Line_, done);
    return static_cast<uint16_t>(Com.Written);
}

bool TSerial::ReadPort(const TReplyEnd& end) {
    const auto start = std::max(Clock::now(), LineFree_);
    return Read(end, start + std::chrono::milliseconds(uint64_t{Timeouts_.ReadTotalMultiplier} * kPortBufferSize +
                                                       Timeouts_.ReadTotalConstant));
}

bool TSerial::ReadLate(uint32_t waitMs) { return Read(nullptr, Clock::now() + std::chrono::milliseconds(waitMs)); }

bool TSerial::Read(const TReplyEnd& end, Clock::time_point firstBound) {
    Com.Received = 0;
    if (Handle_ == kInvalidPortHandle) return false;

    const auto hardBound = firstBound + LineTime(Line_, kPortBufferSize);
    const auto interval = std::chrono::milliseconds(Timeouts_.ReadInterval);

    std::size_t got = 0;
    Clock::time_point lastByte = Clock::now();
    while (got < kPortBufferSize) {
        // Take no byte past where the rule says the reply ends.
        std::size_t want = kPortBufferSize;
        if (end != nullptr) {
            const uint32_t e = end(RxBuf.data(), static_cast<uint32_t>(got));
            if (got > 0 && e == got) break;  // complete
            if (e > got && e < want) want = e;
        }
        const ssize_t r = ::read(Handle_, RxBuf.data() + got, want - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            lastByte = Clock::now();
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            CloseIfGone();
            return false;
        }

        // Nothing waiting: sleep until a byte comes or the bound that applies ends.
        Clock::time_point deadline = firstBound;
        if (got > 0) {
            deadline = hardBound;
            if (Timeouts_.ReadInterval > 0) deadline = std::min(deadline, lastByte + interval);
        }
        const int wait = PollTimeout(deadline);
        if (wait == 0) break;
        pollfd p{Handle_, POLLIN, 0};
        const int pr = ::poll(&p, 1, wait);
        if (pr < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (pr > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            // A hung-up line reports itself readable too, and every read of it
            // returns nothing: the device has gone and the port is closed.
            ClosePort();
            return false;
        }
    }
    Com.Received = static_cast<uint32_t>(got);
    return true;
}

void TSerial::CloseIfGone() {
    if (errno == EIO || errno == ENXIO || errno == ENODEV) ClosePort();
}

void TSerial::ClosePort() { ReleasePort(); }

void TSerial::ReleasePort() {
    if (Handle_ == kInvalidPortHandle) return;
    (void)tcflush(Handle_, TCIOFLUSH);
    // The exclusive mark outlives this descriptor on a pseudo-terminal whose
    // other side stays open; clear it so the next opener is not refused.
    (void)ioctl(Handle_, TIOCNXCL);
    ::close(Handle_);  // also releases the lock
    Com.Opened = false;
    Handle_ = kInvalidPortHandle;
}

std::string PortPathFromName(const std::string& name) {
    if (name.empty() || name.front() == '/') return name;
    return "/dev/" + name;
}

}  // namespace vyx
#endif
