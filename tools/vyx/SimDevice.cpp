// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/SimDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "modbus/Builders.h"
#include "modbus/Identify.h"
#include "base/Error.h"
#include "registers/RegData.h"
#include "base/Text.h"

namespace vyx {
namespace {

constexpr int kTableSize = 65536;

// The register contents that read back as `value`; zeros for a value that does
// not convert. Text is padded with zero bytes, as a device keeps its strings.
std::vector<uint8_t> Contents(int type, const std::u16string& value, int length) {
    std::vector<uint8_t> bytes(static_cast<size_t>(2 * length), 0);
    if (type == kTypeText) {
        const std::string text = ToCp1250(value);
        for (size_t i = 0; i < text.size() && i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(text[i]);
        return bytes;
    }
    try {
        bytes = EncodeRegisters(type, value, length);
    } catch (const Error&) {
        // An empty or malformed value, or a type without an encoding: zeros.
    }
    return bytes;
}

// Windows-1250 bytes of a stored value, trailing spaces cut, cut to what an
// identification carries.
std::string IdentityText(std::u16string_view text) {
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    std::string bytes = ToCp1250(text);
    bytes.resize(std::min(bytes.size(), TSimDevice::kMaxIdentityText));
    return bytes;
}

void Store(uint16_t* table, int address, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        table[address + static_cast<int>(i / 2)] = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
}

}  // namespace

TSimDevice::TSimDevice(const TRegisterTree& tree, double noise, uint32_t seed, double settleSeconds)
    : holdingServed_(kTableSize),
      inputServed_(kTableSize),
      writable_(kTableSize),
      noise_(noise),
      settle_(settleSeconds > 0 && std::isfinite(settleSeconds) ? settleSeconds : 0),
      random_(seed) {
    mapping_ = modbus_mapping_new(0, 0, kTableSize, kTableSize);
    if (!mapping_) throw std::runtime_error("out of memory for the register image");

    for (const TNode* node = tree.First(); node; node = tree.NextNode(node)) {
        const TRegData& r = node->Record;
        const int access = GetAccessCode(r.Access);
        if (access == kAccessGroup) continue;
        int number, length;
        try {
            number = StrToInt(r.Address) & 0xFFFF;
            length = StrToInt(r.Length) & 0xFF;
        } catch (const Error&) {
            continue;
        }
        const TReadMapping map = MapReadRegister(static_cast<uint16_t>(number));
        if (!map.Valid || length < 1 || map.Address + length > kTableSize) continue;
        const bool input = map.Function == 4;
        const int type = GetTypeCode(r.DataType);
        Store(input ? mapping_->tab_input_registers : mapping_->tab_registers, map.Address,
              Contents(type, r.Value, length));
        for (int k = 0; k < length; ++k) {
            (input ? inputServed_ : holdingServed_)[size_t{map.Address} + static_cast<size_t>(k)] = true;
            if (!input && number >= 40001 && (access == kAccessRW || access == kAccessRP))
                writable_[size_t{map.Address} + static_cast<size_t>(k)] = true;
        }
        ++registers_;

        if (r.Name == u"Typ urządzenia" && type_.empty()) type_ = IdentityText(r.Value);
        if (r.Name == u"Wersja oprogramowania" && revision_.empty()) revision_ = IdentityText(r.Value);
        if (r.Name == u"Licznik pomiarów" && counter_ < 0) {
            counter_ = map.Address;
            counterInput_ = input;
        }
        if (!input && access == kAccessRW && command_ < 0) {
            // A command is a bit child of an RW register whose value the tick writes.
            for (const TNode* c = node->FirstChild(); c; c = tree.NextSibling(c)) {
                if (c->Record.Name != u"Zeruj licznik pomiarów") continue;
                try {
                    zeroCounter_ = static_cast<uint16_t>(StrToInt(c->Record.Value));
                    command_ = map.Address;
                } catch (const Error&) {
                }
            }
        }

        if (r.Name == u"R0" && !r0_.Present) {
            r0_ = {true, input, map.Address, type, length, 0.0};
            try {
                r0_.Base = (type == kTypeWord || type == kTypeInt || type == kTypeHex) ? StrToInt(r.Value)
                                                                                      : StrToFloat(r.Value);
            } catch (const Error&) {
                r0_.Base = 0;
            }
        }
    }
}

TSimDevice::~TSimDevice() { modbus_mapping_free(mapping_); }

bool TSimDevice::Readable(int function, int address, int count) const {
    const auto& served = function == 4 ? inputServed_ : holdingServed_;
    if (count < 1 || address < 0 || address + count > kTableSize) return false;
    for (int k = 0; k < count; ++k)
        if (!served[static_cast<size_t>(address) + static_cast<size_t>(k)]) return false;
    return true;
}

bool TSimDevice::Writable(int address, int count) const {
    if (count < 1 || address < 0 || address + count > kTableSize) return false;
    for (int k = 0; k < count; ++k)
        if (!writable_[static_cast<size_t>(address) + static_cast<size_t>(k)]) return false;
    return true;
}

void TSimDevice::VaryR0(double elapsedSeconds) {
    if (!r0_.Present || (noise_ <= 0 && settle_ <= 0)) return;
    double reading = r0_.Base;
    // Settling from 0: what is left of the way falls by e^(-t/T). Between 0 and
    // the value, so within the register's range when both are.
    if (settle_ > 0) reading -= r0_.Base * std::exp(-std::max(0.0, elapsedSeconds) / settle_);
    if (noise_ > 0) {
        std::uniform_real_distribution<double> spread(-noise_, noise_);
        reading += spread(random_);
    }
    std::u16string text;
    if (r0_.Type == kTypeWord || r0_.Type == kTypeInt || r0_.Type == kTypeHex) {
        // Whole counts, kept in the register's range rather than wrapped around.
        const double low = r0_.Type == kTypeInt ? -32768 : 0, high = r0_.Type == kTypeInt ? 32767 : 65535;
        text = FromUtf8(std::to_string(std::lround(std::clamp(reading, low, high))));
    }
    else
        text = FormatFixed(reading, 4);
    Store(r0_.Input ? mapping_->tab_input_registers : mapping_->tab_registers, r0_.Address,
          Contents(r0_.Type, text, r0_.Length));
}

void TSimDevice::CountReading(int function, int address, int count) {
    if (!r0_.Present || counter_ < 0 || (noise_ <= 0 && settle_ <= 0)) return;  // a steady device counts nothing
    if ((function == 4) != r0_.Input || address > r0_.Address || address + count <= r0_.Address) return;
    uint16_t* table = counterInput_ ? mapping_->tab_input_registers : mapping_->tab_registers;
    table[counter_] = static_cast<uint16_t>(table[counter_] + 1);
}

void TSimDevice::RunCommand(int address, int count) {
    if (command_ < 0 || counter_ < 0 || address > command_ || address + count <= command_) return;
    if (mapping_->tab_registers[command_] != zeroCounter_) return;
    (counterInput_ ? mapping_->tab_input_registers : mapping_->tab_registers)[counter_] = 0;
    mapping_->tab_registers[command_] = 0;
}

int TSimDevice::AnswerIdentity(const uint8_t* q, int n, uint8_t* reply) const {
    const uint8_t function = q[1];
    if (function != kReportSlaveId && function != kEncapsulated) return 0;
    std::vector<uint8_t> r = {q[0], function};
    const auto exception = [&](uint8_t code) { r = {q[0], static_cast<uint8_t>(function | 0x80), code}; };
    const auto append = [&](const std::string& text) { r.insert(r.end(), text.begin(), text.end()); };
    if (function == kReportSlaveId) {
        if (n != 4) {
            exception(3);
        } else {
            r.push_back(static_cast<uint8_t>(2 + type_.size()));
            r.push_back(q[0]);  // the id: its own address
            r.push_back(0xFF);  // running
            append(type_);
        }
    } else if (q[2] != kMeiDeviceId) {
        exception(1);
    } else if (n != 7 || q[3] < 1 || q[3] > 3) {
        exception(3);
    } else if (q[4] > 2) {
        exception(2);
    } else {
        const std::string objects[] = {"vyx sim", type_, revision_};
        const uint8_t first = q[4];
        // Conformity: basic objects, stream access only; nothing more follows.
        r.insert(r.end(), {kMeiDeviceId, q[3], 0x01, 0x00, 0x00, static_cast<uint8_t>(3 - first)});
        for (uint8_t id = first; id <= 2; ++id) {
            r.push_back(id);
            r.push_back(static_cast<uint8_t>(objects[id].size()));
            append(objects[id]);
        }
    }
    const uint16_t crc = Crc16(r.data(), static_cast<uint16_t>(r.size()));
    r.push_back(static_cast<uint8_t>(crc & 0xFF));
    r.push_back(static_cast<uint8_t>(crc >> 8));
    std::memcpy(reply, r.data(), r.size());
    return static_cast<int>(r.size());
}

}  // namespace vyx
