// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Builders.h"

#include <cstring>

#include "base/Error.h"

namespace vyx {
namespace {

constexpr int kMaxWriteRegisters = 13;  // 9 + 2 x 13 = 35 bytes fit the frame

// Highest register number whose holding-register offset (number - 40001) still
// fits the 16-bit address field.
constexpr int32_t kMaxRegisterNumber = 40001 + 0xFFFF;

// A register number that does not fit is refused, never cut to its low bits:
// 105537 or -25535 must not read 40001.
uint16_t RegisterNumber(const TRegData& record) {
    const int32_t number = StrToInt(record.Address);
    if (number < 0 || number > kMaxRegisterNumber) throw Error("rejestr poza zakresem");
    return static_cast<uint16_t>(number & 0xFFFF);
}

uint16_t WriteAddress(uint16_t registerNumber) {
    if (registerNumber < 40001) throw Error("rejestr poza zakresem");
    return static_cast<uint16_t>(registerNumber - 40001);
}

}  // namespace

TReadMapping MapReadRegister(uint16_t r) {
    if (r >= 40001) return {true, 3, static_cast<uint16_t>(r - 40001)};
    if (r >= 30001) return {true, 4, static_cast<uint16_t>(r - 30001)};
    if (r >= 2100) return {true, 3, r};
    if (r >= 2001) return {true, 4, r};
    if (r >= 300) return {false, 0, r};
    if (r >= 200) return {true, 3, r};
    return {true, 4, r};
}

void BuildRead(TFrame& frame, uint8_t slave, const TRegData& record) {
    const uint16_t number = RegisterNumber(record);
    const auto count = static_cast<uint8_t>(StrToInt(record.Length) & 0xFF);
    const TReadMapping map = MapReadRegister(number);
    if (!map.Valid) throw Error("rejestr poza zakresem");
    const int type = GetTypeCode(record.DataType);

    auto& b = frame.TxBuf;
    b[kOffSlave] = slave;
    b[kOffFunction] = map.Function;
    PutWord(&b[kOffAddress], map.Address);
    PutWord(&b[kOffQuantity], count);
    frame.RequestRegister = number;
    frame.RegisterCount = count;
    frame.FrameLength = 6;
    frame.AppendCrc();
    frame.TypeCode = static_cast<uint8_t>(type);
}

std::u16string BuildWriteSingle(TFrame& frame, uint8_t slave, const TRegData& record) {
    const uint16_t number = RegisterNumber(record);
    const uint16_t address = WriteAddress(number);
    const std::vector<uint8_t> value = EncodeSingleRegister(record.Value);
    const int type = GetTypeCode(record.DataType);

    auto& b = frame.TxBuf;
    b[kOffSlave] = slave;
    b[kOffFunction] = 6;
    PutWord(&b[kOffAddress], address);
    b[kOffQuantity] = value[0];
    b[kOffQuantity + 1] = value[1];
    frame.RequestRegister = number;
    frame.FrameLength = 6;
    frame.AppendCrc();
    frame.TypeCode = static_cast<uint8_t>(type);
    return record.Value;
}

std::u16string BuildWriteMultiple(TFrame& frame, uint8_t slave, const TRegData& record) {
    const int32_t length = StrToInt(record.Length);
    if (length > kMaxWriteRegisters) throw Error("zbyt wiele rejestrów do zapisu");
    if (length < 1) throw Error("nieprawidłowa długość rejestru");
    const int type = GetTypeCode(record.DataType);
    // The value is converted before the register number, so with both wrong the
    // message names the value.
    const std::vector<uint8_t> payload = EncodeRegisters(type, record.Value, length);
    const uint16_t number = RegisterNumber(record);
    const uint16_t address = WriteAddress(number);

    const auto count = static_cast<uint8_t>(length);
    auto& b = frame.TxBuf;
    b[kOffSlave] = slave;
    b[kOffFunction] = 16;
    PutWord(&b[kOffAddress], address);
    PutWord(&b[kOffQuantity], count);
    b[kOffByteCount] = static_cast<uint8_t>(2 * count);
    std::memcpy(&b[kOffData], payload.data(), payload.size());
    frame.RequestRegister = number;
    frame.RegisterCount = count;
    frame.FrameLength = static_cast<uint8_t>(7 + 2 * count);
    frame.AppendCrc();
    frame.TypeCode = static_cast<uint8_t>(type);
    return record.Value;
}

std::u16string BuildWriteWords(TFrame& frame, uint8_t slave, const TRegData& record,
                               std::span<const uint16_t> words) {
    const uint16_t number = RegisterNumber(record);
    const uint16_t address = WriteAddress(number);
    const int32_t length = StrToInt(record.Length);
    if (words.empty() || length != static_cast<int32_t>(words.size())) throw Error("nieprawidłowa długość rejestru");
    if (length > kMaxWriteRegisters) throw Error("zbyt wiele rejestrów do zapisu");
    const int type = GetTypeCode(record.DataType);

    auto& b = frame.TxBuf;
    b[kOffSlave] = slave;
    PutWord(&b[kOffAddress], address);
    if (words.size() == 1) {
        b[kOffFunction] = 6;
        PutWord(&b[kOffQuantity], words[0]);
        frame.FrameLength = 6;
    } else {
        const auto count = static_cast<uint8_t>(length);
        b[kOffFunction] = 16;
        PutWord(&b[kOffQuantity], count);
        b[kOffByteCount] = static_cast<uint8_t>(2 * count);
        for (size_t i = 0; i < words.size(); ++i) PutWord(&b[kOffData + 2 * i], words[i]);
        frame.RegisterCount = count;
        frame.FrameLength = static_cast<uint8_t>(7 + 2 * count);
    }
    frame.RequestRegister = number;
    frame.AppendCrc();
    frame.TypeCode = static_cast<uint8_t>(type);
    return record.Value;
}

bool BuildDiagnostic(TFrame& frame, uint8_t slave, uint16_t sub, uint16_t data) {
    frame.TypeCode = kTypeHex;
    if (slave == 0) return false;

    auto& b = frame.TxBuf;
    b[kOffSlave] = slave;
    b[kOffFunction] = 8;
    PutWord(&b[kOffAddress], sub);
    PutWord(&b[kOffQuantity], data);
    frame.RequestRegister = sub;
    frame.RegisterCount = static_cast<uint8_t>(data & 0xFF);
    frame.FrameLength = 6;
    frame.AppendCrc();
    return true;
}

}  // namespace vyx
