// SPDX-License-Identifier: GPL-3.0-or-later
// Windows back end of the serial unit: the port is a comm device opened with
// CreateFileA, its line built by BuildCommDCBA and its time-outs applied with
// SetCommTimeouts; ReadFile and WriteFile block within them.
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "serial/Serial.h"

namespace vyx {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;  // 4 | 8, nothing aborted

HANDLE AsHandle(TPortHandle h) { return static_cast<HANDLE>(h); }

// The mode string as BuildCommDCBA reads it, from the settings ParseMode took out
// of it, so that both platforms give a short mode string the same line.
std::string CanonicalMode(const TSerialLine& line) {
    std::string mode = std::to_string(line.Baud);
    mode += ',';
    mode += static_cast<char>(line.Parity - 'A' + 'a');
    mode += ',';
    mode += std::to_string(line.DataBits);
    mode += ',';
    mode += std::to_string(line.StopBits);
    return mode;
}

// Line time of n characters, as the POSIX back end counts it.
std::chrono::microseconds LineTime(const TSerialLine& line, std::size_t n) {
    if (line.Baud == 0) return {};
    const uint64_t bits = 1u + line.DataBits + (line.Parity != 'N' ? 1u : 0u) + line.StopBits;
    const uint64_t total = uint64_t{n} * bits * 1000000u;
    return std::chrono::microseconds((total + line.Baud - 1) / line.Baud);
}

// Errors after which the device is not there any more (an adapter pulled out).
bool DeviceGone(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
           error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE || error == ERROR_FILE_NOT_FOUND ||
           error == ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace

TSerial::~TSerial() { ReleasePort(); }

TPortHandle TSerial::OpenDevice(const std::string& path) {
    auto refuse = [this](TOpenFault fault, DWORD error) {
        OpenFault_ = fault;
        OpenErrno_ = static_cast<int>(error);
        return kInvalidPortHandle;
    };
    if (path.empty()) return refuse(TOpenFault::NoDevice, ERROR_FILE_NOT_FOUND);
    // Share mode 0: no other opener while this handle is open.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return refuse(TOpenFault::NoDevice, error);
        // A port open in another program refuses every further opener.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return refuse(TOpenFault::Busy, error);
        return refuse(TOpenFault::System, error);
    }
    if (GetFileType(h) != FILE_TYPE_CHAR) {  // a plain file is no port
        CloseHandle(h);
        return refuse(TOpenFault::NotTerminal, ERROR_BAD_DEVICE);
    }
    OpenFault_ = TOpenFault::None;
    OpenErrno_ = 0;
    return h;
}

bool TSerial::OpenPort(const std::string& path, const std::string& mode) {
    if (Com.Opened || Handle_ != kInvalidPortHandle) ClosePort();

    Handle_ = OpenDevice(path);
    if (Handle_ == kInvalidPortHandle) return false;

    (void)SetupComm(AsHandle(Handle_), kPortBufferSize, kPortBufferSize);

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
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(CanonicalMode(Line_).c_str(), &dcb)) return false;
    // Raw bytes both ways, no flow control of any kind.
    dcb.fBinary = TRUE;
    dcb.fParity = Line_.Parity != 'N';
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (SetCommState(AsHandle(Handle_), &dcb)) return true;
    // A port without parity (wine's port on a pseudo-terminal) refuses a parity
    // request; the line then works without it, as on Linux.
    if (Line_.Parity == 'N') return false;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    return SetCommState(AsHandle(Handle_), &dcb) != 0;
}

bool TSerial::Purge() {
    return Handle_ != kInvalidPortHandle && PurgeComm(AsHandle(Handle_), kPurgeBoth) != 0;
}

bool TSerial::SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) {
    if (Handle_ == kInvalidPortHandle) {
        ClosePort();
        return false;
    }
    COMMTIMEOUTS t;
    std::memset(&t, 0, sizeof t);
    (void)GetCommTimeouts(AsHandle(Handle_), &t);
    t.ReadIntervalTimeout = ri;
    t.ReadTotalTimeoutMultiplier = rm;
    t.ReadTotalTimeoutConstant = rc;
    t.WriteTotalTimeoutMultiplier = wm;
    t.WriteTotalTimeoutConstant = wc;
    if (!SetCommTimeouts(AsHandle(Handle_), &t)) {
        ClosePort();
        return false;
    }
    Timeouts_ = {ri, rm, rc, wm, wc};
    return true;
}

uint16_t TSerial::WritePort(const uint8_t* frame, uint16_t n) {
    if (!PrepareWrite(frame, n)) return 0;

    // A blocking WriteFile returns once the driver has handed the bytes to the
    // line, so the read's time-outs count from the request's end, as on Linux.
    DWORD written = 0;
    Com.Written = 0;
    if (!WriteFile(AsHandle(Handle_), TxBuf_.data(), n, &written, nullptr)) {
        Com.Written = written;
        CloseIfGone();
        return 0;
    }
    Com.Written = written;
    return static_cast<uint16_t>(Com.Written);
}

bool TSerial::ReadPort(const TReplyEnd& end) {
    Com.Received = 0;
    if (Handle_ == kInvalidPortHandle) return false;

    // Without a rule one ReadFile does it all, timed by the port's time-outs.
    // With one, the read goes in steps of what the rule says is due, so that a
    // complete reply ends it at once; every step is timed by the same time-outs,
    // and the steps together stay within the first-byte bound plus the line
    // time of a full buffer.
    const auto hardBound = Clock::now() +
                           std::chrono::milliseconds(uint64_t{Timeouts_.ReadTotalMultiplier} * kPortBufferSize +
                                                     Timeouts_.ReadTotalConstant) +
                           LineTime(Line_, kPortBufferSize);
    DWORD got = 0;
    while (got < kPortBufferSize) {
        DWORD want = kPortBufferSize;
        if (end != nullptr) {
            const uint32_t e = end(RxBuf.data(), got);
            if (got > 0 && e == got) break;  // complete
            if (e > got && e < want) want = e;
        }
        const DWORD asked = want - got;
        DWORD read = 0;
        if (!ReadFile(AsHandle(Handle_), RxBuf.data() + got, asked, &read, nullptr)) {
            CloseIfGone();
            return false;
        }
        got += read;
        // A step that ended short ended by a time-out: the reply has stopped.
        if (read < asked || end == nullptr) break;
        if (Clock::now() >= hardBound) break;
    }
    Com.Received = got;
    return true;
}

bool TSerial::ReadLate(uint32_t waitMs) {
    Com.Received = 0;
    if (Handle_ == kInvalidPortHandle) return false;
    // In steps under time-outs of its own, the port's put back at the end: the
    // first waits `waitMs` for a beginning (with 0 it takes what has arrived),
    // each later one ends at the read interval's gap.
    const auto apply = [&](DWORD interval, DWORD constant) {
        COMMTIMEOUTS t;
        std::memset(&t, 0, sizeof t);
        t.ReadIntervalTimeout = interval;
        t.ReadTotalTimeoutConstant = constant;
        t.WriteTotalTimeoutMultiplier = Timeouts_.WriteTotalMultiplier;
        t.WriteTotalTimeoutConstant = Timeouts_.WriteTotalConstant;
        return SetCommTimeouts(AsHandle(Handle_), &t) != 0;
    };
    const DWORD gap = std::max<DWORD>(Timeouts_.ReadInterval, 1);
    bool ok = apply(waitMs == 0 ? MAXDWORD : gap, waitMs);
    DWORD got = 0;
    for (bool first = true; ok && got < kPortBufferSize; first = false) {
        if (!first && !(ok = apply(gap, gap))) break;
        DWORD read = 0;
        if (!ReadFile(AsHandle(Handle_), RxBuf.data() + got, kPortBufferSize - got, &read, nullptr)) {
            CloseIfGone();
            return false;
        }
        got += read;
        if (read == 0) break;
    }
    const TTimeouts keep = Timeouts_;
    if (!SetTimeouts(static_cast<uint16_t>(keep.ReadInterval), static_cast<uint16_t>(keep.ReadTotalMultiplier),
                     static_cast<uint16_t>(keep.ReadTotalConstant), static_cast<uint16_t>(keep.WriteTotalMultiplier),
                     static_cast<uint16_t>(keep.WriteTotalConstant)))
        return false;
    Com.Received = got;
    return ok;
}

void TSerial::CloseIfGone() {
    if (DeviceGone(GetLastError())) ClosePort();
}

void TSerial::ClosePort() { ReleasePort(); }

void TSerial::ReleasePort() {
    if (Handle_ == kInvalidPortHandle) return;
    (void)PurgeComm(AsHandle(Handle_), kPurgeBoth);
    CloseHandle(AsHandle(Handle_));
    Com.Opened = false;
    Handle_ = kInvalidPortHandle;
}


std::string PortPathFromName(const std::string& name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return name;
    return "\\\\.\\" + name;
}

}  // namespace vyx
#endif
