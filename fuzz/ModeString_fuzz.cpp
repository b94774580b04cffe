// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary texts to the mode-string parser. An accepted text must give
// settings a port can take, and those settings written back as a mode string
// must parse to the same; a refused text must leave the settings untouched.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "serial/Serial.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "ModeString_fuzz: %s for \"%s\"\n", what, text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string mode(data, data + size);
    vyx::TSerialLine line;
    line.Baud = 4321;
    line.Parity = 'O';
    line.DataBits = 6;
    line.StopBits = 2;
    const vyx::TSerialLine before = line;
    if (!vyx::ParseMode(mode, line)) {
        if (!(line == before)) Fail("refused text changed the settings", mode);
        return 0;
    }
    if (line.Baud == 0) Fail("baud rate 0 accepted", mode);
    if (line.Parity != 'E' && line.Parity != 'O' && line.Parity != 'N') Fail("unknown parity", mode);
    if (line.DataBits < 5 || line.DataBits > 8) Fail("data bits out of range", mode);
    if (line.StopBits != 1 && line.StopBits != 2) Fail("stop bits out of range", mode);

    const std::string written = std::to_string(line.Baud) + "," + static_cast<char>(line.Parity | 0x20) + "," +
                                std::to_string(line.DataBits) + "," + std::to_string(line.StopBits);
    vyx::TSerialLine again;
    if (!vyx::ParseMode(written, again) || !(again == line)) Fail("settings do not read back", mode);
    return 0;
}
