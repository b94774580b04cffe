// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The request frame and the state that travels with it, the Modbus CRC-16, the
// byte-order helpers and the hexadecimal dump the logs show.
//
// There is one request frame at a time: a builder fills it in place, the
// transaction sends frame-length bytes of it and decodes the reply by the function
// code in byte 1 and the type code kept here.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "port/Port.h"

namespace vyx {

constexpr size_t kTxBufferSize = 36;

// Field offsets of the request frame.
enum : size_t {
    kOffSlave = 0,
    kOffFunction = 1,
    kOffAddress = 2,   // register address; diagnostic sub-function
    kOffQuantity = 4,  // register count; value (function 6); diagnostic data
    kOffByteCount = 6, // function 16 only
    kOffData = 7,      // function 16 only
};

struct TFrame {
    std::array<uint8_t, kTxBufferSize> TxBuf{};
    uint16_t RequestRegister = 0;  // register number as taken from the record
    uint16_t FrameCrc = 0;         // CRC of the last AppendCrc
    uint8_t FrameLength = 0;       // valid bytes in TxBuf, CRC included once appended
    uint8_t RegisterCount = 0;     // quantity of the last read or write-multiple
    uint8_t TypeCode = 0;          // type code of the register asked for

    uint8_t Function() const { return TxBuf[kOffFunction]; }

    // Appends the CRC of the first FrameLength bytes, low byte first.
    void AppendCrc();
};

// CRC-16/MODBUS: initial FFFF, reflected polynomial A001, no final XOR.
uint16_t Crc16(const uint8_t* bytes, uint16_t n);

// The last two bytes as a 16-bit value, low byte first (n >= 2).
uint16_t LastWord(const uint8_t* p, uint16_t n);

// True when the last two bytes are the CRC of the bytes before them. A count
// below 2 carries no CRC and is false.
bool CheckCrc(const uint8_t* p, uint16_t n);

// The length of a reply by its own header, from the first n bytes received:
// an exception reply (bit 7 of the function byte) 5 bytes; functions 3, 4 and
// 17 (report slave id), 5 plus the byte count; functions 6, 8 and 16, 8 bytes;
// function 43 with MEI type 14 (read device identification), 10 plus each
// object's id, length and value, known once every object's length byte has
// come. 0 when the function is another one or too few bytes have come to tell.
uint32_t ReplyLength(const uint8_t* p, uint32_t n);

// Where a read of a reply may end (the serial unit's TReplyEnd): n when the n
// bytes are a complete reply by ReplyLength with a good CRC; the length to read
// up to when more bytes are due (first the three header bytes, which every
// reply has; for 43/14 its header, then each object up to the next length
// byte; so that bytes behind a reply are never taken into it); 0 when no end is
// known (an unknown function, a bad CRC, bytes beyond the length), which leaves
// the end of the read to the port's time-outs.
uint32_t ReplyEnd(const uint8_t* p, uint32_t n);

// A reply may stand behind at most this many stray bytes (an RS-485 driver
// switching from sending to receiving leaves one).
inline constexpr uint32_t kMaxStrayBytes = 3;

// ReplyEnd for the reply to this request, which may stand behind up to
// kMaxStrayBytes stray bytes: a reply is found where the request's slave address
// and function (or its exception form) begin, and the read ends as soon as it is
// whole with a good CRC. 0 when no end is known.
uint32_t ReplyEndFor(const TFrame& request, const uint8_t* p, uint32_t n);

// How many stray bytes (1 to kMaxStrayBytes) stand before a whole reply with a
// good CRC that answers the request in the n bytes received; 0 when none do,
// and always when the bytes begin with the request itself (that is an echo).
uint32_t StrayBytes(const TFrame& request, const uint8_t* p, uint32_t n);

// True when the n bytes begin with the `length` bytes of the request.
bool BeginsWithRequest(const uint8_t* request, uint32_t length, const uint8_t* p, uint32_t n);

// Byte order, in place; each serves both directions.
void Swap2(uint8_t* p);                 // exchange p[0] and p[1]
void SwapPairs(uint8_t* p, uint16_t n); // exchange each pair; an odd last byte stays
void Reverse4(uint8_t* p);              // reverse four bytes

// Stores a 16-bit number most significant byte first (as the builders must).
void PutWord(uint8_t* p, uint16_t value);

// "$" and two upper-case hexadecimal digits per byte; "$" for none.
std::string HexDump(const uint8_t* p, uint16_t n);

// The language of the texts below: Polish for the window, English for `vyx`.
enum class TLanguage { Polish, English };

// The meaning of a Modbus exception code, e.g. "illegal data address"
// ("niedozwolony adres danych"); "unknown exception" for a code the protocol
// does not define.
const char* ExceptionMeaning(uint8_t code, TLanguage language = TLanguage::English);

// How a transaction ended. None before the first; PortClosed when the port was
// closed before the request, or went away (a device unplugged) during it.
// Mismatch: a whole reply with a good CRC that does not answer the request (another
// unit's, another function's, a late reply of an earlier request). Echo: what came
// back begins with the request's own bytes, and the line is not set to expect an
// echo. Collision: the line is set to echo, and the echo differs from the request.
// Damaged: a transport's header does not hold (Modbus TCP, which has no CRC).
enum class TOutcome { None, Good, Exception, CrcError, Timeout, PortClosed, Mismatch, Echo, Collision, Damaged };

// Why a transaction failed, in the texts every face of the program shows:
// "brak odpowiedzi urządzenia", "błąd CRC odpowiedzi", "wyjątek 2: niedozwolony
// adres danych", "port zamknięty", "odpowiedź nie pasuje do zapytania: adres 248
// zamiast 247" (the detail is ReplyMismatch's), "odebrano echo zapytania: zaznacz
// „Echo”", "kolizja na linii: echo różne od zapytania", "uszkodzona odpowiedź:
// nagłówek MBAP (protokół 1)" (the detail is the transport's) (English: "no reply",
// "crc_error", "exception 2: illegal data address", "port closed", "the reply does
// not answer the request: slave 248 instead of 247", "the adapter echoes the
// request: use --echo", "collision on the line: the echo differs from the
// request", "damaged reply: MBAP header (protocol 1)"). Empty for a good reply
// or none. UTF-8.
std::string OutcomeReason(TOutcome outcome, uint8_t exceptionCode, TLanguage language, std::string_view detail = {});

// The line's frame taken apart: n bytes of address, PDU and CRC. A CRC fault
// when fewer than 4 bytes came or the CRC does not hold.
TUnframed UnframeRtu(const uint8_t* p, uint32_t n);

// What in a reply, out of its frame, does not answer the request in the frame,
// e.g. "adres 248 zamiast 247", "funkcja 3 zamiast 4", "2 bajty danych zamiast
// 4", "ramka 6 bajtów zamiast 7", "typ MEI 13 zamiast 14", "kod odczytu 2
// zamiast 1", "2 obiekty zamiast 3" (English "slave 248 instead of 247",
// "function 3 instead of 4", "2 data bytes instead of 4", "a frame of 6 bytes
// instead of 7", "MEI type 13 instead of 14", "read code 2 instead of 1", "2
// objects instead of 3"; a frame's length counts the transport's bytes too);
// several are joined by ", ". Empty when it answers: the same unit; the same
// function, or an exception reply to it (a PDU of 2 bytes); for functions 3
// and 4 a byte count of twice the registers asked and a PDU of exactly that
// length; for 17 a PDU of 2 plus its byte count; for 6 the echoed register
// address and value, for 16 the echoed address and count, for 8 the echoed
// sub-function and data, each in a PDU of 5 bytes; for 43/14 the echoed MEI
// type and read code, and as many whole objects as its count says, which fill
// the PDU exactly.
std::string ReplyMismatch(const TFrame& request, const TUnframed& reply, TLanguage language = TLanguage::English);
// The same for a line's reply of n bytes (CRC included, not checked).
std::string ReplyMismatch(const TFrame& request, const uint8_t* reply, uint32_t n,
                          TLanguage language = TLanguage::English);

}  // namespace vyx
