// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/Port.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstring>
#endif

namespace vyx {
namespace {

#ifdef _WIN32
// The system's text of an error code.
std::string SystemErrorText(int error) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "Windows error " + std::to_string(error) : text;
}
#endif

}  // namespace

std::string OpenFaultText(TOpenFault fault, int error) {
    switch (fault) {
        case TOpenFault::None: return "no fault";
        case TOpenFault::NoDevice: return "no such device";
        case TOpenFault::Busy: return "busy: held by another program";
        case TOpenFault::NoPermission: return "permission denied";
        case TOpenFault::NotTerminal: return "not a terminal";
        case TOpenFault::BadMode: return "the mode string is not understood";
        case TOpenFault::LineRefused: return "the port refused the line settings";
        case TOpenFault::BadAddress: return "not a network address: tcp://HOST[:PORT] or mbtcp://HOST[:PORT]";
        case TOpenFault::NoHost: return "no such host";
        case TOpenFault::Refused: return "connection refused";
        case TOpenFault::NoConnection: return "no connection in time";
        case TOpenFault::System: break;
    }
#ifdef _WIN32
    return SystemErrorText(error);
#else
    return std::strerror(error);
#endif
}

}  // namespace vyx
