// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the units on a line: each line setting of a plan, each slave address
// tried with one short read; a unit is found by any reply that answers the
// read, an exception reply included, and is identified at once
// (service/UnitIdentity.h). The window's "Szukaj urządzeń…" and `vyx scan` run
// the same ScanLine, on the bus that owns the port.
//
// An address where nobody answers costs the reply wait and the request's line
// time, no more: a late reply of the previous address is refused by its
// address, so the scan needs no draining wait between addresses.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/Wire.h"
#include "port/AnyPort.h"
#include "port/LineSettings.h"
#include "registers/RegData.h"
#include "service/UnitIdentity.h"

namespace vyx::service {

// The parity entries of the connection panel by their short names: e (even
// parity), o (odd parity), n2 (no parity: 2 STOP), n1 (no parity: 1 STOP).
struct TScanParity {
    const char* Key;
    const char* Suffix;  // ",e,8,1"
    const char* Entry;   // "even parity"
};
const std::vector<TScanParity>& ScanParities();
const TScanParity* FindScanParity(std::string_view key);
// The speeds tried by default, and the slow ones a scan may add.
const std::vector<long>& ScanBauds();      // 9600 19200 38400 57600 115200
const std::vector<long>& SlowScanBauds();  // 1200 2400 4800
// Every speed with every parity, speed by speed: "9600,e,8,1", "9600,o,8,1", ...
std::vector<std::string> ScanModes(const std::vector<long>& bauds, const std::vector<const TScanParity*>& parities);

struct TScanPlan {
    std::string Port;                 // as typed
    std::vector<std::string> Modes;   // tried in turn; one empty mode on a network port
    std::vector<int> Slaves;          // 1 to 247
    uint16_t ReplyWaitMs = kReplyWaitDefaultMs;
    TLineOptions Line;
    TRegData Probe = DefaultProbe();  // the read each address is tried with
    std::vector<TIdentityProbe> Identities;
    bool Identify = true;

    // Register 40001, one WORD.
    static TRegData DefaultProbe();
};

// The tries of a plan, and how long they take when nobody answers: per try the
// reply wait and the request's line time (8 bytes of 11 bits at the mode's speed).
size_t ScanTries(const TScanPlan& plan);
double ScanSeconds(const TScanPlan& plan);
// "40 s", "4 min 10 s".
std::string DurationText(double seconds);

struct TScanFound {
    std::string Mode;  // empty on a network port
    int Slave = 0;
    std::string Answer;  // to the probe: "reply 123", "exception 2: illegal data address"
    TUnitIdentity Identity;
};

// What a scan tells as it goes, from where it runs (a bus job: a window hands
// each call on to its own thread).
class TScanEvents {
public:
    virtual ~TScanEvents() = default;
    virtual void Progress(size_t /*done*/, size_t /*total*/) {}
    virtual void Found(const TScanFound& /*unit*/) {}
    // A line setting the port could not be opened with (`opened` says why); its
    // tries are counted as done.
    virtual void Skipped(const std::string& /*mode*/, const TOpened& /*opened*/) {}
    // Every exchange, for a view of the frames.
    virtual void Exchanged(const TExchangeResult& /*result*/) {}
};

struct TScanSummary {
    size_t Done = 0, Total = 0, Found = 0;
    size_t Garbled = 0;  // replies with a bad CRC or a damaged header
    size_t Stray = 0;    // whole replies that answered another request
    size_t Echoes = 0;   // the request came back
    bool Cancelled = false;
    std::string Ended;  // why the scan ended before its last try: "port closed"
    double Seconds = 0;
};

// Runs the plan on `port` with `wire`, where the port lives. Each mode is
// opened in turn (a network port once); `cancel` ends the scan after the
// exchange under way. The port is left open with the last setting tried, or
// closed; the caller opens it again as it needs.
TScanSummary ScanLine(TAnyPort& port, TWire& wire, const TScanPlan& plan, TScanEvents& events,
                      const std::atomic<bool>& cancel);

}  // namespace vyx::service
