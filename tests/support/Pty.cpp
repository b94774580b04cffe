// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Pty.h"

#include <cstdint>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vyx::test {

namespace {

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TPty::TPty() {
    char name[256] = {};
    if (openpty(&Master_, &Slave_, name, nullptr, nullptr) != 0) throw SystemError("openpty");
    SlavePath_ = name;
    fcntl(Master_, F_SETFD, FD_CLOEXEC);
    fcntl(Slave_, F_SETFD, FD_CLOEXEC);
    fcntl(Master_, F_SETFL, fcntl(Master_, F_GETFL) | O_NONBLOCK);

    termios t{};
    if (tcgetattr(Slave_, &t) != 0) throw SystemError("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(Slave_, TCSANOW, &t) != 0) throw SystemError("tcsetattr");
}

TPty::~TPty() {
    WaitScript();
    if (Slave_ >= 0) close(Slave_);
    if (Master_ >= 0) close(Master_);
}

termios TPty::SlaveAttributes() const {
    termios t{};
    if (tcgetattr(Slave_, &t) != 0) throw SystemError("tcgetattr");
    return t;
}

void TPty::Send(const Bytes& data) const {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < data.size()) {
        const ssize_t w = write(Master_, data.data() + done, data.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) throw SystemError("write to pty");
        if (Clock::now() > deadline) throw std::runtime_error("pty does not take the data");
        pollfd p{Master_, POLLOUT, 0};
        poll(&p, 1, 10);
    }
}

void TPty::SendScript(std::vector<TChunk> script) {
    WaitScript();
    ScriptFailed_ = false;
    Script_ = std::thread([this, script = std::move(script)] {
        try {
            for (const TChunk& c : script) {
                if (c.Delay.count() > 0) std::this_thread::sleep_for(c.Delay);
                Send(c.Data);
            }
        } catch (const std::exception&) {
            ScriptFailed_ = true;
        }
    });
}

bool TPty::WaitScript() {
    if (Script_.joinable()) Script_.join();
    return !ScriptFailed_;
}

Bytes TPty::ReadClient(std::size_t count, std::chrono::milliseconds timeout) const {
    return ReadFromClient(count, timeout, std::chrono::milliseconds::zero());
}

Bytes TPty::ReadUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const {
    return ReadFromClient(SIZE_MAX, limit, quiet);
}

Bytes TPty::ReadFromClient(std::size_t count, std::chrono::milliseconds limit,
                           std::chrono::milliseconds quiet) const {
    Bytes out;
    const auto end = Clock::now() + limit;
    const auto quietEnd = [&] { return quiet.count() > 0 ? std::min(end, Clock::now() + quiet) : end; };
    auto deadline = quietEnd();
    uint8_t buf[256];
    while (out.size() < count) {
        const ssize_t r = read(Master_, buf, std::min(sizeof buf, count - out.size()));
        if (r > 0) {
            out.insert(out.end(), buf, buf + r);
            deadline = quietEnd();
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) break;
        const int wait = MsLeft(deadline);
        if (wait == 0) break;
        pollfd p{Master_, POLLIN, 0};
        poll(&p, 1, wait);
    }
    return out;
}

void TPty::Discard() const {
    uint8_t buf[256];
    while (read(Master_, buf, sizeof buf) > 0) {
    }
}

void TPty::HangUp() {
    WaitScript();
    if (Master_ >= 0) close(Master_);
    if (Slave_ >= 0) close(Slave_);
    Master_ = Slave_ = -1;
}

}  // namespace vyx::test
