// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A snapshot of a unit's registers, as a backup saves it and a comparison and a
// restore read it: per register the device file's texts, the value as the
// window shows it and the register words exactly as the device sent them, so
// that nothing is lost to formatting. The JSON form is told in docs/snapshots.md.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "registers/RegisterTree.h"
#include "service/Session.h"
#include "service/UnitIdentity.h"

namespace vyx::service {

inline constexpr int kSnapshotFormat = 1;

struct TSnapshotRegister {
    // The device file's texts, as they stand there.
    std::string Name, Address, Type, Length, Access;
    std::string Value;            // as the window shows it
    std::vector<uint16_t> Words;  // as received, one per register
    std::string Error;            // why it could not be read; empty when it was
    std::string Note;             // the device file's note on it; empty when it has none

    bool Read() const { return Error.empty(); }
};

// What the unit said of itself by functions 43/14 and 17, where it answered.
struct TSnapshotIdentification {
    std::string Vendor, ProductCode, Revision;  // 43/14; empty when it gave none
    std::string SlaveId;                        // 17: "247, FF, VXT-20F" (id, run indicator, data)
    bool operator==(const TSnapshotIdentification&) const = default;
};
// None when the unit answered neither.
std::optional<TSnapshotIdentification> SnapshotIdentification(const TUnitIdentity& identity);

struct TSnapshot {
    std::string Device;  // file name of the device file, e.g. VXT-20F.dat
    int Slave = 247;
    std::string Mode;    // the line settings; empty for a network port, which has none
    std::string Port;    // the network port's name (tcp://, mbtcp://); empty for a serial line
    TLineOptions Line;   // the line's echo and gap as the registers were read
    std::string Time;    // local date and time with its UTC offset, ISO 8601
    std::optional<TSnapshotIdentification> Identification;
    std::vector<TSnapshotRegister> Registers;

    bool Complete() const;
    // The registers that could not be read, in the snapshot's order.
    std::vector<const TSnapshotRegister*> Unread() const;
    // The first register with this name and address; null when there is none.
    const TSnapshotRegister* Find(const std::string& name, const std::string& address) const;
};

// Asks the unit of the open session what it is (43/14, 17), then reads every
// register of the tree (TreeRegisters) from it, keeping the session's line,
// slave and transaction's line options. `progress`
// is called before each read with its index and the count.
TSnapshot TakeSnapshot(TSession& session, const TRegisterTree& tree, const std::string& device,
                       const std::function<void(size_t, size_t)>& progress = {});

// A snapshot of the session's device still without registers: its device
// file, slave, line and time. A serial line is known by its settings (its
// device name differs from one computer to the next), a network port by its
// name alone. A slave address that is none raises its reason.
TSnapshot NewSnapshot(const TSession& session, const std::string& device);

// One register of a snapshot: the node's texts and what its read gave.
TSnapshotRegister SnapshotRegister(const TNode& node, const TRegisterRead& got);
// The registers through any reader of one register (the window's own
// transaction): the registers' texts and what `read` gives for each.
// `progress` is called before each read with its index and the count, and
// stops the reading by returning false: the result is then none.
std::optional<std::vector<TSnapshotRegister>> ReadRegisters(const TRegisterTree& tree,
                                                            const std::function<TRegisterRead(TNode&)>& read,
                                                            const std::function<bool(size_t, size_t)>& progress);
// A local date and time with its UTC offset, ISO 8601, as snapshots and
// calibration records give it: "2026-12-08T14:30:05+01:00".
std::string LocalTimeText(std::time_t when = std::time(nullptr));

// A document that is not a snapshot. The text starts with the place of the
// fault, e.g. "registers[0].words[0]: \"12G4\" is not four hexadecimal digits".
class SnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

nlohmann::ordered_json SnapshotToJson(const TSnapshot& snapshot);
// Throws SnapshotError. A snapshot without "echo" or "gap" was taken on a line
// without echo or gap.
TSnapshot SnapshotFromJson(const nlohmann::json& doc);

// Loading throws vyx::Error naming the file and the fault; saving goes through
// SaveFileBytes (base/SafeSave.h), so a failure leaves the target as it was.
TSnapshot LoadSnapshot(const std::filesystem::path& path);
void SaveSnapshot(const TSnapshot& snapshot, const std::filesystem::path& path);

// "0000 447A": the words as four upper-case hexadecimal digits each.
std::string WordsText(const std::vector<uint16_t>& words);

// One line of a comparison: a register read on both sides with other words, or
// read on one side only (B or A null when the register is missing there; a
// register that failed to read counts as read on neither side it failed on).
struct TDifference {
    const TSnapshotRegister* A = nullptr;
    const TSnapshotRegister* B = nullptr;
};
// A's registers in A's order, then those only in B. Registers are matched by
// name and address.
std::vector<TDifference> Compare(const TSnapshot& a, const TSnapshot& b);

}  // namespace vyx::service
