// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the serial unit that every platform shares.
#include "serial/Serial.h"

#include <cctype>
#include <cstddef>
#include <cstring>

namespace vyx {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Splits the mode string at its commas, trimming spaces around each field.
std::vector<std::string> SplitFields(const std::string& mode) {
    std::vector<std::string> fields;
    std::string field;
    auto flush = [&] {
        std::size_t b = 0;
        std::size_t e = field.size();
        while (b < e && IsSpace(field[b])) ++b;
        while (e > b && IsSpace(field[e - 1])) --e;
        fields.push_back(field.substr(b, e - b));
        field.clear();
    };
    for (char c : mode) {
        if (c == ',') {
            flush();
        } else {
            field += c;
        }
    }
    flush();
    return fields;
}

bool ParseDecimal(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool TSerial::PrepareWrite(const uint8_t* frame, uint16_t n) {
    if (!Com.Opened) return false;
    if (n > kPortBufferSize || (frame == nullptr && n > 0)) return false;
    if (!Purge()) {
        CloseIfGone();
        return false;
    }
    RxBuf.fill(0);
    TxBuf_.fill(0);
    if (n > 0) std::memcpy(TxBuf_.data(), frame, n);
    return true;
}

bool ParseMode(const std::string& mode, TSerialLine& line) {
    const std::vector<std::string> fields = SplitFields(mode);
    if (fields.size() > 4) return false;

    TSerialLine parsed;
    parsed.Parity = 'E';
    if (!ParseDecimal(fields[0], parsed.Baud) || parsed.Baud == 0) return false;

    if (fields.size() > 1) {
        if (fields[1].size() != 1) return false;
        const char p = static_cast<char>(std::toupper(static_cast<unsigned char>(fields[1][0])));
        if (p != 'E' && p != 'O' && p != 'N') return false;
        parsed.Parity = p;
    }
    if (fields.size() > 2) {
        uint32_t bits = 0;
        if (!ParseDecimal(fields[2], bits) || bits < 5 || bits > 8) return false;
        parsed.DataBits = static_cast<uint8_t>(bits);
    }
    if (fields.size() > 3) {
        uint32_t stop = 0;
        if (!ParseDecimal(fields[3], stop) || (stop != 1 && stop != 2)) return false;
        parsed.StopBits = static_cast<uint8_t>(stop);
    }
    line = parsed;
    return true;
}

}  // namespace vyx
