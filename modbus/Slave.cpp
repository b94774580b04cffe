// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Slave.h"

#include "base/Error.h"
#include "registers/RegData.h"

namespace vyx {

TSlave TSlave::Parse(std::u16string_view text) {
    TSlave slave;
    try {
        const int32_t address = StrToInt(text);
        if (address < 0 || address > 255) throw Error("nieprawidłowy adres urządzenia");
        slave.address_ = static_cast<uint8_t>(address);
    } catch (const Error& e) {
        slave.refusal_ = e.what();
    }
    return slave;
}

uint8_t TSlave::Address() const {
    if (!refusal_.empty()) throw Error(refusal_);
    return address_;
}

}  // namespace vyx
