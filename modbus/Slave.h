// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave address, parsed where the technician typed it (the window's field,
// `vyx`'s --slave): an address 0..255, or the reason the text is none. A request
// to it raises that reason when it is built, at the same point as every other
// refusal of a request, so nothing half-starts. A typed number is never cut to
// the bits of its byte: 256 would be the broadcast address 0, 503 another
// device's 247.
#include <cstdint>
#include <string>
#include <string_view>

namespace vyx {

class TSlave {
public:
    constexpr TSlave(uint8_t address = 247) : address_(address) {}
    // The integer conversion's message for a text that is no number,
    // "nieprawidłowy adres urządzenia" for a number outside 0..255.
    static TSlave Parse(std::u16string_view text);

    // Throws vyx::Error with the reason when the text was none.
    uint8_t Address() const;

private:
    uint8_t address_;
    std::string refusal_;
};

}  // namespace vyx
