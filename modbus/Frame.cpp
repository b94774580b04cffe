// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Frame.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "modbus/Identify.h"

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

namespace {

// What a reply's first n bytes tell of its length: the whole length once it is
// known; until then how far a read may go before they tell more (Due), 0 when
// they never will (another function).
struct TLengthSoFar {
    uint32_t Length = 0;
    uint32_t Due = 0;
};

// 43/14: slave, 2B, 0E, read code, conformity, more follows, next object,
// count, then per object its id, length and value, then the CRC. The length
// shows object by object: each object's length byte is due before the next.
TLengthSoFar DeviceIdLength(const uint8_t* p, uint32_t n) {
    constexpr uint32_t kHeader = 8;
    if (n < 3) return {0, 3};
    if (p[2] != kMeiDeviceId) return {};  // another MEI type: its layout is not known here
    if (n < kHeader) return {0, kHeader};
    uint32_t at = kHeader;
    for (unsigned i = 0; i < p[7]; ++i) {
        if (n < at + 2) return {0, at + 2};
        at += 2u + p[at + 1];
    }
    return {at + 2, 0};
}

TLengthSoFar LengthSoFar(const uint8_t* p, uint32_t n) {
    constexpr uint32_t kException = 5;       // slave, function, code, CRC
    constexpr uint32_t kCounted = 5;         // slave, function, byte count, CRC
    constexpr uint32_t kEcho = 8;            // the request's first six bytes, CRC
    if (n < 2) return {0, 2};
    const uint8_t function = p[1];
    if (function & 0x80) return {kException, 0};
    switch (function) {
        case 3:
        case 4:
        case kReportSlaveId:
            return n < 3 ? TLengthSoFar{0, 3} : TLengthSoFar{kCounted + p[2], 0};
        case 6:
        case 8:
        case 16:
            return {kEcho, 0};
        case kEncapsulated:
            return DeviceIdLength(p, n);
        default:
            return {};
    }
}

}  // namespace

uint32_t ReplyLength(const uint8_t* p, uint32_t n) { return LengthSoFar(p, n).Length; }

uint32_t ReplyEnd(const uint8_t* p, uint32_t n) {
    constexpr uint32_t kHeader = 3;  // enough for most replies to tell, shorter than any reply
    if (n < kHeader) return kHeader;
    const TLengthSoFar length = LengthSoFar(p, n);
    if (length.Length == 0) return length.Due > n ? length.Due : 0;
    if (n > length.Length) return 0;
    if (n < length.Length) return length.Length;
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

std::string OutcomeReason(TOutcome outcome, uint8_t exceptionCode, TLanguage language, std::string_view detail) {
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
        case TOutcome::Mismatch:
            return std::string(pl ? "odpowiedź nie pasuje do zapytania" : "the reply does not answer the request") +
                   (detail.empty() ? "" : ": ") + std::string(detail);
        case TOutcome::Echo:
            return pl ? "odebrano echo zapytania: zaznacz „Echo”" : "the adapter echoes the request: use --echo";
        case TOutcome::Collision:
            return pl ? "kolizja na linii: echo różne od zapytania"
                      : "collision on the line: the echo differs from the request";
        case TOutcome::Damaged:
            return std::string(pl ? "uszkodzona odpowiedź" : "damaged reply") + (detail.empty() ? "" : ": ") +
                   std::string(detail);
    }
    return {};
}

namespace {

// "1 bajt", "2 bajty", "5 bajtów", "22 bajty" (Polish `one`, `few`, `many`);
// "1 byte", "2 bytes" (English `thing`, plural by "s").
std::string Counted(unsigned n, bool pl, const char* one, const char* few, const char* many, const char* thing) {
    if (!pl) return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
    const unsigned tens = n % 100, ones = n % 10;
    const char* word = n == 1 ? one : (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) ? few : many;
    return std::to_string(n) + " " + word;
}

// "2 bajty danych", "2 data bytes".
std::string Bytes(unsigned n, bool pl, bool data) {
    return Counted(n, pl, "bajt", "bajty", "bajtów", data ? "data byte" : "byte") + (pl && data ? " danych" : "");
}

uint16_t WordAt(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// A reply to 43/14 up to its object count: function, MEI type, read code,
// conformity, more follows, next object, count.
constexpr uint32_t kDeviceIdHeader = 7;

}  // namespace

TUnframed UnframeRtu(const uint8_t* p, uint32_t n) {
    TUnframed r;
    r.Overhead = 3;
    if (n < 4 || !CheckCrc(p, static_cast<uint16_t>(n))) {
        r.Fault = TFrameFault::Crc;
        return r;
    }
    r.Unit = p[0], r.Pdu = p + 1, r.PduSize = n - 3;
    return r;
}

std::string ReplyMismatch(const TFrame& request, const TUnframed& reply, TLanguage language) {
    const bool pl = language == TLanguage::Polish;
    std::string text;
    auto add = [&](const std::string& got, const std::string& sent) {
        if (!text.empty()) text += ", ";
        text += got + (pl ? " zamiast " : " instead of ") + sent;
    };
    auto number = [&](const char* polish, const char* english, unsigned got, unsigned sent) {
        add(std::string(pl ? polish : english) + " " + std::to_string(got), std::to_string(sent));
    };
    if (reply.PduSize < 1) return text;
    const uint8_t* pdu = reply.Pdu;
    const uint32_t size = reply.PduSize;
    const uint8_t* q = request.TxBuf.data();
    const uint8_t function = request.Function();
    if (reply.Unit != q[kOffSlave]) number("adres", "slave", reply.Unit, q[kOffSlave]);
    if ((pdu[0] & 0x7F) != function) number("funkcja", "function", pdu[0] & 0x7Fu, function);
    if (!text.empty()) return text;

    // The same unit and function: the body must be the one this request asks for.
    const bool exception = (pdu[0] & 0x80) != 0;
    const bool read = function == 3 || function == 4;
    const bool counted = read || function == kReportSlaveId;  // a byte count follows the function
    const bool deviceId = function == kEncapsulated && q[2] == kMeiDeviceId;
    if (!exception && read && size >= 2 && pdu[1] != 2u * request.RegisterCount) {
        add(Bytes(pdu[1], pl, true), std::to_string(2u * request.RegisterCount));
        return text;
    }
    auto frameSize = [&](uint32_t pduSize) {
        const uint32_t got = size + reply.Overhead;
        add(pl ? "ramka " + Bytes(got, pl, false) : "a frame of " + Bytes(got, pl, false),
            std::to_string(pduSize + reply.Overhead));
    };
    // The PDU's size by the request; for one that ends before its byte count, the least it must be.
    uint32_t expected = 0;
    if (exception) expected = 2;
    else if (counted) expected = 2u + (size >= 2 ? pdu[1] : read ? 2u * request.RegisterCount : 0u);
    else if (function == 6 || function == 8 || function == 16) expected = 5;
    else if (deviceId && size < kDeviceIdHeader) expected = kDeviceIdHeader;
    if (expected != 0 && size != expected) {
        frameSize(expected);
        return text;
    }
    if (exception) return text;
    if (deviceId) {
        // MEI type and read code echo the request's; the objects fill the PDU exactly.
        const bool mei = pdu[1] != q[2], code = pdu[2] != q[3];
        if (mei) number("typ MEI", "MEI type", pdu[1], q[2]);
        if (code) number("kod odczytu", "read code", pdu[2], q[3]);
        if (mei || code) return text;
        const unsigned count = pdu[kDeviceIdHeader - 1];
        unsigned whole = 0;
        uint32_t at = kDeviceIdHeader;
        while (whole < count && size - at >= 2 && size - at - 2 >= pdu[at + 1]) at += 2u + pdu[at + 1], ++whole;
        if (whole < count)
            add(Counted(whole, pl, "obiekt", "obiekty", "obiektów", "object"), std::to_string(count));
        else if (at != size)
            frameSize(at);
        return text;
    }
    // The echoed words stand where the request has them, one byte earlier for the missing address.
    auto word = [&](const char* polish, const char* english, size_t at, bool hex) {
        const uint8_t* got = pdu + at - 1;
        if (WordAt(got) == WordAt(q + at)) return;
        add(std::string(pl ? polish : english) + " " + (hex ? HexDump(got, 2) : std::to_string(WordAt(got))),
            hex ? HexDump(q + at, 2) : std::to_string(WordAt(q + at)));
    };
    switch (function) {
        case 6:
            word("adres rejestru", "register address", kOffAddress, false);
            word("wartość", "value", kOffQuantity, true);
            break;
        case 16:
            word("adres rejestru", "register address", kOffAddress, false);
            word("liczba rejestrów", "register count", kOffQuantity, false);
            break;
        case 8:
            word("podfunkcja", "sub-function", kOffAddress, false);
            word("dane", "data", kOffQuantity, true);
            break;
        default:
            break;
    }
    return text;
}

std::string ReplyMismatch(const TFrame& request, const uint8_t* reply, uint32_t n, TLanguage language) {
    if (n < 2) return {};
    // Too short to hold a CRC: what came after the address counts as the PDU.
    TUnframed r;
    r.Unit = reply[0], r.Pdu = reply + 1, r.PduSize = n >= 4 ? n - 3 : n - 1, r.Overhead = 3;
    return ReplyMismatch(request, r, language);
}

uint32_t ReplyEndFor(const TFrame& request, const uint8_t* p, uint32_t n) {
    constexpr uint32_t kHeader = 3;  // every reply has three bytes
    if (n < kHeader) return kHeader;
    const uint8_t slave = request.TxBuf[kOffSlave], function = request.Function();
    for (uint32_t k = 0; k <= kMaxStrayBytes && k + 2 <= n; ++k) {
        if (p[k] != slave || (p[k + 1] & 0x7F) != function) continue;
        const TLengthSoFar sofar = LengthSoFar(p + k, n - k);
        const uint32_t length = sofar.Length;
        // Not known yet: read up to where the header tells more, and no further.
        if (length == 0) return k + (sofar.Due > 0 ? sofar.Due : kHeader);
        if (n - k < length) return k + length;
        if (n - k == length && CheckCrc(p + k, static_cast<uint16_t>(length))) return n;
    }
    return 0;
}

bool BeginsWithRequest(const uint8_t* request, uint32_t length, const uint8_t* p, uint32_t n) {
    return length > 0 && n >= length && std::memcmp(p, request, length) == 0;
}

uint32_t StrayBytes(const TFrame& request, const uint8_t* p, uint32_t n) {
    if (BeginsWithRequest(request.TxBuf.data(), request.FrameLength, p, n)) return 0;
    for (uint32_t k = 1; k <= kMaxStrayBytes && k + 4 <= n; ++k) {
        const uint8_t* reply = p + k;
        const uint32_t length = n - k;
        if (ReplyLength(reply, length) != length || !CheckCrc(reply, static_cast<uint16_t>(length))) continue;
        if (ReplyMismatch(request, reply, length).empty()) return k;
    }
    return 0;
}

}  // namespace vyx
