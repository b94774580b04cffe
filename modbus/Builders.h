// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Request builders: each turns what the user asked for into one complete request
// frame (with its CRC) in the frame, and sets the request state the reply handling
// relies on. Each only builds; the caller then runs the transaction.
//
// Every builder converts and checks everything it needs before it writes a byte:
// a refused or failed build throws vyx::Error and leaves the previous frame and
// its state untouched, so the caller sends nothing. The slave address comes as
// a number (modbus/Slave.h parses the typed text). A register number is never
// cut to the bits of its field: below 0 or above 105536 (the last whose
// holding-register offset fits 16 bits) it is refused with "rejestr poza
// zakresem".
#include <span>
#include <string>
#include <string_view>

#include "modbus/Frame.h"
#include "registers/RegData.h"

namespace vyx {

// Function code and wire address of a read, by the register number.
struct TReadMapping {
    bool Valid;  // false for register numbers 300..2000, which have no read function
    uint8_t Function;
    uint16_t Address;
};
TReadMapping MapReadRegister(uint16_t registerNumber);

// Read of the record's Length registers by function 3 or 4.
// Refuses register numbers 300..2000 ("rejestr poza zakresem").
void BuildRead(TFrame& frame, uint8_t slave, const TRegData& record);

// Function 6 write of the record's Value into its one register; returns the
// written value text. Refuses register numbers below 40001 ("rejestr poza
// zakresem") and values outside -32768..65535 ("wartość poza zakresem").
std::u16string BuildWriteSingle(TFrame& frame, uint8_t slave, const TRegData& record);

// Function 16 write of the record's Value into its Length registers; returns the
// written value text. Refuses register numbers below 40001, a Length above 13
// ("zbyt wiele rejestrów do zapisu") or below 1 ("nieprawidłowa długość
// rejestru"), and a type without an encoding ("nieznany typ rejestru").
std::u16string BuildWriteMultiple(TFrame& frame, uint8_t slave, const TRegData& record);

// A write of the record's exact register words, as a device gave them: function
// 6 for one word, 16 for more, each word most significant byte first; returns
// the record's Value as the written value text. Refuses what BuildWriteMultiple
// refuses by number and count, and a word count other than the record's Length
// ("nieprawidłowa długość rejestru"), so no neighbouring register is touched.
std::u16string BuildWriteWords(TFrame& frame, uint8_t slave, const TRegData& record,
                               std::span<const uint16_t> words);

// Function 8 diagnostic request. Returns false, building nothing, when the slave
// address is 0 (the broadcast address).
bool BuildDiagnostic(TFrame& frame, uint8_t slave, uint16_t subFunction, uint16_t data);

// The restart diagnostic (sub-function 1, data $FF00) that "Reset" sends.
inline constexpr uint16_t kRestartSubFunction = 0x0001;
inline constexpr uint16_t kRestartData = 0xFF00;

}  // namespace vyx
