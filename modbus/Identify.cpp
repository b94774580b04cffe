// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Identify.h"

#include "base/Error.h"
#include "base/Text.h"
#include "registers/RegData.h"

namespace vyx {
namespace {

constexpr uint8_t kMaxSlave = 247;

// The broadcast address gets no reply, and addresses above 247 are reserved.
void CheckUnitAddress(uint8_t slave) {
    if (slave == 0 || slave > kMaxSlave) throw Error("nieprawidłowy adres urządzenia");
}

void StartRequest(TFrame& frame, uint8_t slave, uint8_t function) {
    frame.TxBuf[kOffSlave] = slave;
    frame.TxBuf[kOffFunction] = function;
    frame.RequestRegister = 0;
    frame.RegisterCount = 0;
    frame.TypeCode = kTypeNone;  // no register: nothing of the reply is a value
}

std::string Latin(const uint8_t* p, size_t n) {
    return ToUtf8(FromCp1250(std::string_view(reinterpret_cast<const char*>(p), n)));
}

}  // namespace

void BuildReportSlaveId(TFrame& frame, uint8_t slave) {
    CheckUnitAddress(slave);
    StartRequest(frame, slave, kReportSlaveId);
    frame.FrameLength = 2;
    frame.AppendCrc();
}

void BuildReadDeviceId(TFrame& frame, uint8_t slave, uint8_t firstObject) {
    CheckUnitAddress(slave);
    StartRequest(frame, slave, kEncapsulated);
    frame.TxBuf[2] = kMeiDeviceId;
    frame.TxBuf[3] = kBasicDeviceId;
    frame.TxBuf[4] = firstObject;
    frame.FrameLength = 5;
    frame.AppendCrc();
}

std::string TSlaveId::DataText() const {
    size_t n = Data.size();
    while (n > 0 && (Data[n - 1] == ' ' || Data[n - 1] == 0)) --n;
    static const char kDigits[] = "0123456789ABCDEF";
    std::u16string text;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = Cp1250ToChar(Data[i]);
        // Control characters, C1 among them (where the code page's undefined bytes land), are shown by number.
        if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
            text += c;
        } else {
            text += u"\\x";
            text += static_cast<char16_t>(kDigits[Data[i] >> 4]);
            text += static_cast<char16_t>(kDigits[Data[i] & 0x0F]);
        }
    }
    return ToUtf8(text);
}

std::optional<TSlaveId> DecodeSlaveId(const uint8_t* pdu, uint32_t size) {
    // Function, byte count, then at least the id and the run indicator.
    if (size < 4 || pdu[0] != kReportSlaveId || pdu[1] < 2 || size != 2u + pdu[1]) return std::nullopt;
    TSlaveId id;
    id.Id = pdu[2];
    id.RunIndicator = pdu[3];
    id.Running = pdu[3] == 0xFF;
    id.Data.assign(pdu + 4, pdu + size);
    return id;
}

std::optional<TDeviceIdReply> DecodeDeviceId(const uint8_t* pdu, uint32_t size) {
    // Function, MEI type, read code, conformity, more follows, next object, count.
    constexpr uint32_t kHeader = 7;
    if (size < kHeader || pdu[0] != kEncapsulated || pdu[1] != kMeiDeviceId) return std::nullopt;
    if (pdu[2] < 1 || pdu[2] > 4) return std::nullopt;  // basic, regular, extended, one object
    TDeviceIdReply reply;
    reply.Conformity = pdu[3];
    reply.MoreFollows = pdu[4] == 0xFF;
    reply.NextObject = pdu[5];
    const uint8_t count = pdu[6];
    uint32_t at = kHeader;
    for (uint8_t i = 0; i < count; ++i) {
        if (size - at < 2 || size - at - 2 < pdu[at + 1]) return std::nullopt;
        reply.Objects.push_back({pdu[at], Latin(pdu + at + 2, pdu[at + 1])});
        at += 2u + pdu[at + 1];
    }
    if (at != size) return std::nullopt;
    return reply;
}

}  // namespace vyx
