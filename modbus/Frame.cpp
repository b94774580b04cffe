// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Frame.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

namespace vyx {

void TFrame::AppendCrc() {
    FrameCrc = Crc16(TxBuf.data(), FrameLength);
    TxBuf[FrameLength] = static_cast<uint8_t>(FrameCrc & 0xFF);
    TxBuf[FrameLength + 1u] = static_cast<uint8_t>(FrameCrc >> 8);
    FrameLength = static_cast<uint8_t>(FrameLength + 2);
}

uint16_t Crc16(const uint8_t* bytes, uint16_t n) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool low = crc & 1;
            crc >>= 1;
            if (low) crc ^= 0xA001;
        }
    }
    return crc;
}

uint16_t LastWord(const uint8_t* p, uint16_t n) {
    return static_cast<uint16_t>(p[n - 2] + 256 * p[n - 1]);
}

bool CheckCrc(const uint8_t* p, uint16_t n) {
    if (n < 2) return false;
    return Crc16(p, static_cast<uint16_t>(n - 2)) == LastWord(p, n);
}

uint32_t ReplyLength(const uint8_t* p, uint32_t n) {
    constexpr uint32_t kException = 5;       // slave, function, code, CRC
    constexpr uint32_t kReadHeader = 5;      // slave, function, byte count, CRC
    constexpr uint32_t kEcho = 8;            // the request's first six bytes, CRC
    if (n < 2) return 0;
    const uint8_t function = p[1];
    if (function & 0x80) return kException;
    switch (function) {
        case 3:
        case 4:
            return n < 3 ? 0 : kReadHeader + p[2];
        case 6:
        case 8:
        case 16:
            return kEcho;
        default:
            return 0;
    }
}

uint32_t ReplyEnd(const uint8_t* p, uint32_t n) {
    constexpr uint32_t kHeader = 3;  // enough for ReplyLength to tell, shorter than any reply
    if (n < kHeader) return kHeader;
    const uint32_t length = ReplyLength(p, n);
    if (length == 0 || n > length) return 0;
    if (n < length) return length;
    return CheckCrc(p, static_cast<uint16_t>(n)) ? n : 0;
}

void Swap2(uint8_t* p) { std::swap(p[0], p[1]); }

void SwapPairs(uint8_t* p, uint16_t n) {
    for (uint16_t i = 0; i + 1 < n; i += 2) std::swap(p[i], p[i + 1]);
}

void Reverse4(uint8_t* p) {
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
}

void PutWord(uint8_t* p, uint16_t value) {
    // Stored in host order, then turned most significant byte first on a
    // little-endian host; a big-endian host already has that order.
    std::memcpy(p, &value, 2);
    if constexpr (std::endian::native == std::endian::little) Swap2(p);
}

std::string HexDump(const uint8_t* p, uint16_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(1 + 2u * n);
    s += '$';
    for (uint16_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 0x0F];
    }
    return s;
}

const char* ExceptionMeaning(uint8_t code, TLanguage language) {
    struct TMeaning {
        uint8_t Code;
        const char* English;
        const char* Polish;
    };
    static constexpr TMeaning kMeanings[] = {
        {1, "illegal function", "niedozwolona funkcja"},
        {2, "illegal data address", "niedozwolony adres danych"},
        {3, "illegal data value", "niedozwolona wartość danych"},
        {4, "slave device failure", "awaria urządzenia"},
        {5, "acknowledge", "potwierdzenie, polecenie w toku"},
        {6, "slave device busy", "urządzenie zajęte"},
        {8, "memory parity error", "błąd parzystości pamięci"},
        {10, "gateway path unavailable", "ścieżka bramy niedostępna"},
        {11, "gateway target device failed to respond", "urządzenie za bramą nie odpowiada"},
        {0, "unknown exception", "nieznany wyjątek"},
    };
    const TMeaning* m = std::begin(kMeanings);
    while (m->Code != 0 && m->Code != code) ++m;
    return language == TLanguage::Polish ? m->Polish : m->English;
}

std::string OutcomeReason(TOutcome outcome, uint8_t exceptionCode, TLanguage language) {
    const bool pl = language == TLanguage::Polish;
    switch (outcome) {
        case TOutcome::None:
        case TOutcome::Good:
            return {};
        case TOutcome::Exception:
            return std::string(pl ? "wyjątek " : "exception ") + std::to_string(exceptionCode) + ": " +
                   ExceptionMeaning(exceptionCode, language);
        case TOutcome::CrcError:
            return pl ? "błąd CRC odpowiedzi" : "crc_error";
        case TOutcome::Timeout:
            return pl ? "brak odpowiedzi urządzenia" : "no reply";
        case TOutcome::PortClosed:
            return pl ? "port zamknięty" : "port closed";
    }
    return {};
}

std::string ReplyMismatch(const TFrame& request, const uint8_t* reply, uint32_t n) {
    std::string text;
    auto add = [&](const char* what, unsigned got, unsigned sent) {
        if (!text.empty()) text += ", ";
        text += std::string(what) + " " + std::to_string(got) + " instead of " + std::to_string(sent);
    };
    if (n < 2) return text;
    const uint8_t function = request.Function();
    if (reply[0] != request.TxBuf[kOffSlave]) add("slave address", reply[0], request.TxBuf[kOffSlave]);
    if ((reply[1] & 0x7F) != function) add("function", reply[1] & 0x7Fu, function);
    const bool exception = (reply[1] & 0x80) != 0;
    if (!exception && (function == 3 || function == 4) && (reply[1] & 0x7F) == function && n >= 3 &&
        reply[2] != 2 * request.RegisterCount)
        add("byte count", reply[2], 2u * request.RegisterCount);
    return text;
}

}  // namespace vyx
