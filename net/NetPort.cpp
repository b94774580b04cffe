// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/NetPort.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "modbus/Frame.h"

#ifndef AI_NUMERICSERV
#define AI_NUMERICSERV 0
#endif

namespace vyx::net {
namespace {

using TClock = std::chrono::steady_clock;

// The little that differs between Winsock and POSIX sockets.
#ifdef _WIN32
int LastError() { return WSAGetLastError(); }
bool Retry(int e) { return e == WSAEWOULDBLOCK || e == WSAEINTR; }
bool Pending(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
constexpr int kRefusedError = WSAECONNREFUSED;
constexpr int kTimedOutError = WSAETIMEDOUT;
constexpr int kSendFlags = 0;
void CloseSocket(TSocket s) { closesocket(s); }
bool MakeNonBlocking(TSocket s) {
    u_long on = 1;
    // Not inherited by a program the window starts, as FD_CLOEXEC on POSIX.
    // A SOCKET is a kernel handle: the cast is what Winsock documents.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);  // NOLINT(performance-no-int-to-ptr)
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
// Waits for a connection under way: select, not WSAPoll, which on Windows before
// 10 (2004) never reports a refused connection and would wait out the bound.
int WaitConnected(TSocket s, int ms) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return select(0, nullptr, &writable, &failed, &t);
}
int Poll(TSocket s, short events, int ms, short& revents) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    const int r = WSAPoll(&p, 1, ms);
    revents = p.revents;
    return r;
}
bool Startup() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
int LastError() { return errno; }
bool Retry(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }
bool Pending(int e) { return e == EINPROGRESS || e == EINTR; }
constexpr int kRefusedError = ECONNREFUSED;
constexpr int kTimedOutError = ETIMEDOUT;
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseSocket(TSocket s) { ::close(s); }
bool MakeNonBlocking(TSocket s) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
int Poll(TSocket s, short events, int ms, short& revents) {
    pollfd p{s, events, 0};
    const int r = ::poll(&p, 1, ms);
    revents = p.revents;
    return r;
}
int WaitConnected(TSocket s, int ms) {
    short revents = 0;
    return Poll(s, POLLOUT, ms, revents);
}
bool Startup() { return true; }
#endif

// Milliseconds until the deadline, rounded up; 0 once it has passed.
int MsUntil(TClock::time_point deadline) {
    const auto left = deadline - TClock::now();
    if (left <= TClock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

struct TAddressList {
    addrinfo* List = nullptr;
    ~TAddressList() {
        if (List) freeaddrinfo(List);
    }
};

// The resolver's answer, shared with its worker thread, which may outlive the
// wait for it and then frees what it got.
struct TResolution {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;
    bool Abandoned = false;
    addrinfo* List = nullptr;
};

// The addresses of host:port; a numeric address is taken as it is, a name is
// resolved in a worker thread, waited for until the deadline.
bool Resolve(const std::string& host, uint16_t port, TClock::time_point deadline, TAddressList& out,
             TOpenFault& fault) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &out.List) == 0) return true;
    out.List = nullptr;

    hints.ai_flags = AI_NUMERICSERV;
    auto state = std::make_shared<TResolution>();
    try {
        std::thread([state, host, service, hints] {
            addrinfo* list = nullptr;
            if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) list = nullptr;
            const std::lock_guard<std::mutex> guard(state->Lock);
            if (state->Abandoned) {
                if (list) freeaddrinfo(list);
            } else {
                state->List = list;
            }
            state->Finished = true;
            state->Done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        fault = TOpenFault::System;
        return false;
    }
    std::unique_lock<std::mutex> lock(state->Lock);
    if (!state->Done.wait_until(lock, deadline, [&] { return state->Finished; })) {
        state->Abandoned = true;
        fault = TOpenFault::NoHost;
        return false;
    }
    out.List = std::exchange(state->List, nullptr);
    if (!out.List) {
        fault = TOpenFault::NoHost;
        return false;
    }
    return true;
}

// Connects to the first address that takes the connection before the deadline.
TSocket Connect(const addrinfo* list, TClock::time_point deadline, TOpenFault& fault, int& error) {
    fault = TOpenFault::NoConnection;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        const TSocket s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == kNoSocket) {
            fault = TOpenFault::System, error = LastError();
            continue;
        }
        if (!MakeNonBlocking(s)) {
            fault = TOpenFault::System, error = LastError();
            CloseSocket(s);
            continue;
        }
        int result = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
        if (result != 0 && Pending(LastError())) {
            int polled;
            do {
                polled = WaitConnected(s, MsUntil(deadline));
            } while (polled < 0 && LastError() == EINTR);
            if (polled <= 0) {
                // No time is left for another address either.
                CloseSocket(s);
                fault = TOpenFault::NoConnection;
                return kNoSocket;
            }
            int soError = 0;
            socklen_t length = sizeof soError;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
            result = soError == 0 ? 0 : -1;
            error = soError;
        } else if (result != 0) {
            error = LastError();
        }
        if (result == 0) {
            int on = 1;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            fault = TOpenFault::None;
            return s;
        }
        CloseSocket(s);
        fault = error == kRefusedError   ? TOpenFault::Refused
                : error == kTimedOutError ? TOpenFault::NoConnection
                                          : TOpenFault::System;
    }
    return kNoSocket;
}

}  // namespace

TNetPort::~TNetPort() { CloseConnection(); }

bool TNetPort::OpenPort(const std::string& path, const std::string&) {
    ClosePort();
    openFault_ = TOpenFault::None;
    openErrno_ = 0;
    TNetAddress address;
    if (!ParseNetAddress(path, address) || address.Kind != kind_) {
        openFault_ = TOpenFault::BadAddress;
        return false;
    }
    if (!Startup()) {
        openFault_ = TOpenFault::System;
        openErrno_ = LastError();
        return false;
    }
    const auto firstByteWait =
        std::chrono::milliseconds(uint64_t{timeouts_.ReadTotalMultiplier} * kPortBufferSize + timeouts_.ReadTotalConstant);
    const auto deadline = TClock::now() + firstByteWait + kConnectExtra;
    TAddressList addresses;
    if (!Resolve(address.Host, address.Port, deadline, addresses, openFault_)) return false;
    socket_ = Connect(addresses.List, deadline, openFault_, openErrno_);
    if (socket_ == kNoSocket) return false;
    tid_ = 0, requests_ = 0;
    return true;
}

bool TNetPort::SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) {
    if (!IsOpened()) return false;
    timeouts_ = {ri, rm, rc, wm, wc};
    return true;
}

void TNetPort::ClosePort() { CloseConnection(); }

void TNetPort::CloseConnection() {
    if (socket_ == kNoSocket) return;
    CloseSocket(socket_);
    socket_ = kNoSocket;
}

bool TNetPort::Purge() {
    uint8_t scratch[512];
    // Bounded, so a server that never stops sending cannot hold the write.
    for (int i = 0; i < 128; ++i) {
        const auto r = ::recv(socket_, reinterpret_cast<char*>(scratch), sizeof scratch, 0);
        if (r > 0) continue;
        if (r < 0 && Retry(LastError()) && LastError() != EINTR) return true;
        if (r < 0 && LastError() == EINTR) continue;
        ClosePort();  // closed by the server (0), or reset
        return false;
    }
    return true;
}

std::vector<uint8_t> TNetPort::WireRequest(const uint8_t* frame, uint16_t n) const {
    if (kind_ != TPortKind::ModbusTcp) return TPort::WireRequest(frame, n);
    std::vector<uint8_t> wire(n + 4u);
    wire.resize(MbapRequest(static_cast<uint16_t>(tid_ + 1), frame, n, wire.data()));
    return wire;
}

std::optional<TUnframed> TNetPort::Unframe(const uint8_t* p, uint32_t n) const {
    if (kind_ != TPortKind::ModbusTcp) return std::nullopt;
    return UnframeMbap(p, n, tid_);
}

uint16_t TNetPort::WritePort(const uint8_t* frame, uint16_t n) {
    if (!IsOpened() || n > kPortBufferSize || (frame == nullptr && n > 0)) return 0;
    uint8_t wire[kPortBufferSize + 4];
    uint32_t length = n;
    if (kind_ == TPortKind::ModbusTcp) {
        length = MbapRequest(static_cast<uint16_t>(tid_ + 1), frame, n, wire);
        if (length == 0) return 0;
    } else if (n > 0) {
        std::memcpy(wire, frame, n);
    }
    if (!Purge()) return 0;
    rx_.fill(0);
    received_ = 0;
    passedOver_ = 0;
    if (kind_ == TPortKind::ModbusTcp) ++tid_, ++requests_;

    const auto deadline =
        TClock::now() + std::chrono::milliseconds(uint64_t{timeouts_.WriteTotalMultiplier} * n +
                                                  timeouts_.WriteTotalConstant);
    uint32_t done = 0;
    while (done < length) {
        const auto w = ::send(socket_, reinterpret_cast<const char*>(wire + done), static_cast<int>(length - done),
                              kSendFlags);
        if (w > 0) {
            done += static_cast<uint32_t>(w);
            continue;
        }
        if (w < 0 && Retry(LastError())) {
            short revents = 0;
            const int wait = MsUntil(deadline);
            if (wait == 0) break;
            if (Poll(socket_, POLLOUT, wait, revents) < 0 && LastError() != EINTR) break;
            continue;
        }
        ClosePort();  // reset by the server
        return 0;
    }
    sent_ = TClock::now();
    return done == length ? n : 0;
}

int TNetPort::Receive(uint8_t* into, uint32_t room, TClock::time_point deadline) {
    while (IsOpened()) {
        short revents = 0;
        const int polled = Poll(socket_, POLLIN, MsUntil(deadline), revents);
        if (polled < 0) {
            if (LastError() == EINTR) continue;
            ClosePort();
            return -1;
        }
        if (polled == 0) return 0;
        const auto r = ::recv(socket_, reinterpret_cast<char*>(into), static_cast<int>(room), 0);
        if (r > 0) return static_cast<int>(r);
        if (r < 0 && Retry(LastError())) continue;
        ClosePort();  // closed by the server, or reset
        return -1;
    }
    return -1;
}

bool TNetPort::ReadPort(const TReplyEnd& end) {
    received_ = 0;
    passedOver_ = 0;
    if (!IsOpened()) return false;
    return kind_ == TPortKind::ModbusTcp ? ReadMbap() : ReadRtu(end);
}

namespace {

struct TReadBounds {
    TClock::time_point First, Hard;
    TClock::duration Interval;

    explicit TReadBounds(const TTimeouts& t) {
        const auto wait =
            std::chrono::milliseconds(uint64_t{t.ReadTotalMultiplier} * kPortBufferSize + t.ReadTotalConstant);
        First = TClock::now() + wait;
        Hard = First + wait;
        Interval = std::chrono::milliseconds(t.ReadInterval);
    }
    // Until when the next bytes may come, after `got` bytes, the last at `last`.
    TClock::time_point Next(uint32_t got, TClock::time_point last) const {
        if (got == 0) return First;
        return Interval > TClock::duration::zero() ? std::min(Hard, last + Interval) : Hard;
    }
};

}  // namespace

bool TNetPort::ReadRtu(const TReplyEnd& end) {
    const TReadBounds bounds(timeouts_);
    uint32_t got = 0;
    auto last = TClock::now();
    while (got < kPortBufferSize) {
        uint32_t want = kPortBufferSize;
        if (end != nullptr) {
            const uint32_t e = end(rx_.data(), got);
            if (got > 0 && e == got) break;
            if (e > got && e < want) want = e;
        }
        const int r = Receive(rx_.data() + got, want - got, bounds.Next(got, last));
        if (r < 0) return false;
        if (r == 0) break;
        got += static_cast<uint32_t>(r);
        last = TClock::now();
    }
    received_ = got;
    return true;
}

bool TNetPort::ReadLate(uint32_t waitMs) {
    received_ = 0;
    passedOver_ = 0;
    if (!IsOpened()) return false;
    const auto interval = std::chrono::milliseconds(std::max<uint32_t>(timeouts_.ReadInterval, 1));
    auto deadline = TClock::now() + std::chrono::milliseconds(waitMs);
    uint32_t got = 0;
    while (got < kPortBufferSize) {
        const int r = Receive(rx_.data() + got, kPortBufferSize - got, deadline);
        if (r < 0) return false;
        if (r == 0) break;
        got += static_cast<uint32_t>(r);
        deadline = TClock::now() + interval;
    }
    received_ = got;
    return true;
}

bool TNetPort::ReadMbap() {
    const TReadBounds bounds(timeouts_);
    uint32_t got = 0;
    auto last = TClock::now();
    // The read ends with a whole reply of this transaction, or with what came
    // when the header turned out damaged or the time ran out: Unframe names it.
    while (true) {
        const TMbapReply reply = CheckMbapReply(rx_.data(), got, tid_);
        if (reply.State != TMbapState::NeedMore && reply.State != TMbapState::Other) break;
        if (reply.State == TMbapState::Other) {
            // A late reply to an earlier request is passed over; any other id is a damaged header.
            if (!MbapLate(static_cast<uint16_t>(rx_[0] << 8 | rx_[1]), tid_, requests_ - 1)) break;
            const uint32_t keep = std::min<uint32_t>(got, static_cast<uint32_t>(passed_.size()) - passedOver_);
            std::memcpy(passed_.data() + passedOver_, rx_.data(), keep);
            passedOver_ += keep;
            got = 0;
        }
        // A stream of late replies cannot hold the read either.
        if (TClock::now() >= bounds.Hard) break;
        const uint32_t want = reply.State == TMbapState::NeedMore && reply.Frame ? reply.Frame : kMbapHeaderSize - 1;
        const int r = Receive(rx_.data() + got, want - got, bounds.Next(got, last));
        if (r < 0) return false;
        if (r == 0) break;
        got += static_cast<uint32_t>(r);
        last = TClock::now();
    }
    received_ = got;
    return true;
}

}  // namespace vyx::net
