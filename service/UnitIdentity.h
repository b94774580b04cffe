// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which unit is which: what a unit answers to function 43/14 and 17, and its
// identity read through the device files of the device folders. Every device
// file with a register named "Typ urządzenia" gives a read of that register at
// its own address and length; the file whose stored "Typ urządzenia" equals the
// text the unit returns is proposed as the unit's device file, and its "Numer
// fabryczny" and "Wersja oprogramowania" are read through it. Distinct
// (address, length) pairs are read once each, at most kMaxTypeReads per unit.
//
// Nothing here knows a port: each exchange is run by the caller's TExchanger,
// where the port lives (a bus job), so the window and `vyx` share it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "modbus/Frame.h"
#include "modbus/Identify.h"
#include "modbus/Wire.h"
#include "registers/RegData.h"

namespace vyx::service {

// One exchange of the request in the frame, on the line, with its result.
using TExchanger = std::function<TExchangeResult(const TFrame&)>;
// The exchanger of a bus job: each request on `wire` over `port` with the
// line's options; `lines`, when given, collects the frames each exchange shows.
TExchanger WireExchanger(TPort& port, TWire& wire, TLineOptions line, std::vector<std::u16string>* lines = nullptr);

inline constexpr char16_t kTypeRegisterName[] = u"Typ urządzenia";
inline constexpr char16_t kSerialRegisterName[] = u"Numer fabryczny";
inline constexpr char16_t kFirmwareRegisterName[] = u"Wersja oprogramowania";
inline constexpr size_t kMaxTypeReads = 16;

// What a device file tells of its units.
struct TIdentityProbe {
    std::filesystem::path File;
    TRegData Type;                               // its "Typ urządzenia"
    std::u16string TypeValue;                    // the stored value, trailing spaces cut
    std::optional<TRegData> Serial, Firmware;    // "Numer fabryczny", "Wersja oprogramowania"
};
// The probe of one device file; none when it has no "Typ urządzenia" or cannot be read.
std::optional<TIdentityProbe> IdentityProbe(const std::filesystem::path& file);
// The probes of every *.dat in the folders, by file name; a name found in more
// than one folder is taken from the first, unreadable files are passed over.
std::vector<TIdentityProbe> IdentityProbes(const std::vector<std::filesystem::path>& folders);

// One read of a type register.
struct TTypeRead {
    uint16_t Address = 0;  // register number
    uint16_t Length = 0;
    std::string Value;     // the text read (UTF-8, trailing spaces cut); empty when not read
    std::string Failure;   // why not (English, OutcomeReason)
};

struct TUnitIdentity {
    std::optional<TDeviceId> DeviceId;  // 43/14
    std::string DeviceIdFailure;        // why none: "exception 1: illegal function", "no reply"
    std::optional<TSlaveId> SlaveId;    // 17
    std::string SlaveIdFailure;
    std::vector<TTypeRead> TypeReads;
    std::string Type;                   // the text of the matching type read; else 43/14's product code
    std::filesystem::path File;         // the proposed device file; empty when none matched
    std::string Serial, Firmware;       // read through File; empty when not read
    std::string SerialFailure, FirmwareFailure;
    size_t Answers = 0;                 // replies that answered, exception replies included

    // The unit answered anything, an exception reply included.
    bool Answered() const { return Answers > 0; }
    // "VXP-10  nr 2211  VXP-10.dat", what of it is known; "?" when nothing is.
    std::string Summary() const;
};

// Asks the unit at `slave`: 43/14 (following "more follows", at most four
// replies), 17, the type registers of `probes`, then the serial number and
// firmware version through the file that matched.
TUnitIdentity IdentifyUnit(const TExchanger& exchange, uint8_t slave, const std::vector<TIdentityProbe>& probes);

}  // namespace vyx::service
