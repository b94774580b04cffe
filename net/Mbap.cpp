// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Mbap.h"

#include <algorithm>
#include <cstring>
#include <string>


namespace vyx::net {

uint32_t MbapRequest(uint16_t tid, const uint8_t* rtu, uint32_t n, uint8_t* out) {
    if (n < 4 || n - 2 > kMbapMaxLength) return 0;
    const uint32_t length = n - 2;  // unit id and PDU
    out[0] = static_cast<uint8_t>(tid >> 8);
    out[1] = static_cast<uint8_t>(tid);
    out[2] = 0;
    out[3] = 0;
    out[4] = static_cast<uint8_t>(length >> 8);
    out[5] = static_cast<uint8_t>(length);
    std::memcpy(out + 6, rtu, length);
    return 6 + length;
}

TMbapReply CheckMbapReply(const uint8_t* p, uint32_t n, uint16_t tid) {
    TMbapReply r;
    if (n < 6) return r;
    if (p[2] != 0 || p[3] != 0) {
        r.State = TMbapState::BadProtocol;
        return r;
    }
    const uint32_t length = static_cast<uint32_t>(p[4]) << 8 | p[5];
    if (length < 2 || length > kMbapMaxLength) {
        r.State = TMbapState::BadLength;
        return r;
    }
    r.Frame = 6 + length;
    if (n < r.Frame) return r;
    const uint16_t got = static_cast<uint16_t>(p[0] << 8 | p[1]);
    r.State = got == tid ? TMbapState::Complete : TMbapState::Other;
    return r;
}

bool MbapLate(uint16_t got, uint16_t tid, uint32_t earlier) {
    const auto behind = static_cast<uint16_t>(tid - got);
    return behind >= 1 && behind <= std::min<uint32_t>(earlier, 16);
}

TUnframed UnframeMbap(const uint8_t* p, uint32_t n, uint16_t tid) {
    TUnframed r;
    r.Overhead = kMbapHeaderSize;
    const auto damaged = [&r](const std::string& pl, const std::string& en) {
        r.Fault = TFrameFault::Header;
        r.DetailPl = pl, r.DetailEn = en;
        return r;
    };
    const auto header = [&](const std::string& pl, const std::string& en) {
        return damaged("nagłówek MBAP (" + pl + ")", "MBAP header (" + en + ")");
    };
    const auto of = [](uint32_t got, uint32_t whole, const char* z, const char* bytes) {
        return " (" + std::to_string(got) + z + std::to_string(whole) + bytes + ")";
    };
    if (n >= 4 && (p[2] != 0 || p[3] != 0)) {
        const std::string protocol = std::to_string(p[2] << 8 | p[3]);
        return header("protokół " + protocol, "protocol " + protocol);
    }
    const uint32_t length = n >= 6 ? static_cast<uint32_t>(p[4]) << 8 | p[5] : 0;
    if (n >= 6 && (length < 2 || length > kMbapMaxLength)) {
        return header("długość " + std::to_string(length), "length " + std::to_string(length));
    }
    if (n < kMbapHeaderSize) {
        return damaged("nagłówek MBAP niepełny" + of(n, kMbapHeaderSize, " z ", " bajtów"),
                       "MBAP header incomplete" + of(n, kMbapHeaderSize, " of ", " bytes"));
    }
    if (n < 6 + length) {
        return damaged("ramka MBAP niepełna" + of(n, 6 + length, " z ", " bajtów"),
                       "MBAP frame incomplete" + of(n, 6 + length, " of ", " bytes"));
    }
    const auto got = static_cast<uint16_t>(p[0] << 8 | p[1]);
    if (got != tid) {
        const std::string ids = std::to_string(got) + " ", want = " " + std::to_string(tid);
        return header("identyfikator transakcji " + ids + "zamiast" + want, "transaction id " + ids + "instead of" + want);
    }
    r.Unit = p[6], r.Pdu = p + kMbapHeaderSize, r.PduSize = length - 1;
    return r;
}

}  // namespace vyx::net
