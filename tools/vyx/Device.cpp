// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/Device.h"

#include "registers/Error.h"

namespace vyx::tool {

const char kWaitOption[] = "  --wait MS         wait for the first byte of a reply (default 40, as the window)\n";

uint16_t FirstByteWait(const cli::Options& o) {
    return static_cast<uint16_t>(o.GetInt("--wait", service::kFirstByteWaitMs, 1, 60000));
}

void OpenPort(service::TSession& session, const cli::Options& o, const std::string& mode) {
    const std::string port = o.Get("--port", "");
    if (port.empty()) throw Error("--port is required");
    const uint16_t wait = FirstByteWait(o);  // a bad value is refused before the port is touched
    session.Open(port, o.Get("--mode", mode), wait);
}

}  // namespace vyx::tool
