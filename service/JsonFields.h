// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the fields of the service documents (snapshots, calibration records),
// each fault raised as the document's own error type `E`, its text led by the
// place of the fault: "registers[0].words[0]: \"12G4\" is not four hexadecimal digits".
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace vyx::service::json_fields {

using nlohmann::json;

template <typename E>
const json& Field(const json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) throw E(where + key + ": missing");
    return *it;
}

template <typename E>
std::string Text(const json& object, const char* key, const std::string& where) {
    const json& v = Field<E>(object, key, where);
    if (!v.is_string()) throw E(where + key + ": expected a string");
    return v.get<std::string>();
}

// A register word as four hexadecimal digits, "00FF" or "00ff".
template <typename E>
uint16_t ParseWord(const json& v, const std::string& where) {
    if (!v.is_string()) throw E(where + ": expected a string of four hexadecimal digits");
    const std::string s = v.get<std::string>();
    unsigned value = 0;
    bool digits = s.size() == 4;
    for (const char c : s) {
        const int digit = c >= '0' && c <= '9' ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        digits = digits && digit >= 0;
        value = value * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
    }
    if (!digits) throw E(where + ": \"" + s + "\" is not four hexadecimal digits");
    return static_cast<uint16_t>(value);
}

}  // namespace vyx::service::json_fields
