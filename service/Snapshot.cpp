// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/Snapshot.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "base/Error.h"
#include "base/LocalTime.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "service/JsonFields.h"

namespace vyx::service {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

const json& Field(const json& object, const char* key, const std::string& where) {
    return json_fields::Field<SnapshotError>(object, key, where);
}
std::string Text(const json& object, const char* key, const std::string& where) {
    return json_fields::Text<SnapshotError>(object, key, where);
}
uint16_t ParseWord(const json& v, const std::string& where) { return json_fields::ParseWord<SnapshotError>(v, where); }

}  // namespace

std::string LocalTimeText(std::time_t when) {
    const std::tm local = LocalTime(when);
#ifdef _WIN32
    // The C runtime's %z gives the zone's name here: the offset is worked out.
    std::tm copy = local;
    const long offset = static_cast<long>(_mkgmtime(&copy) - when) / 60;
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    std::string text = buf;
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02ld%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                  std::labs(offset) % 60);
    text += zone;
#else
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string text = buf;
#endif
    // ISO 8601 writes the offset as +01:00.
    if (text.size() >= 5) text.insert(text.size() - 2, ":");
    return text;
}

bool TSnapshot::Complete() const { return Unread().empty(); }

std::vector<const TSnapshotRegister*> TSnapshot::Unread() const {
    std::vector<const TSnapshotRegister*> unread;
    for (const TSnapshotRegister& r : Registers)
        if (!r.Read()) unread.push_back(&r);
    return unread;
}

const TSnapshotRegister* TSnapshot::Find(const std::string& name, const std::string& address) const {
    for (const TSnapshotRegister& r : Registers)
        if (r.Name == name && r.Address == address) return &r;
    return nullptr;
}

TSnapshotRegister SnapshotRegister(const TNode& node, const TRegisterRead& got) {
    TSnapshotRegister r;
    const TRegData& record = node.Record;
    r.Name = ToUtf8(record.Name);
    r.Address = ToUtf8(record.Address);
    r.Type = ToUtf8(record.DataType);
    r.Length = ToUtf8(record.Length);
    r.Access = ToUtf8(record.Access);
    r.Note = ToUtf8(record.Note);
    if (got.Ok) {
        r.Value = ToUtf8(got.Value);
        r.Words = got.Words;
    } else {
        r.Error = got.Error;
    }
    return r;
}

std::optional<std::vector<TSnapshotRegister>> ReadRegisters(const TRegisterTree& tree,
                                                            const std::function<TRegisterRead(TNode&)>& read,
                                                            const std::function<bool(size_t, size_t)>& progress) {
    std::vector<TSnapshotRegister> out;
    const std::vector<TNode*> registers = TreeRegisters(tree);
    for (size_t i = 0; i < registers.size(); ++i) {
        if (progress && !progress(i, registers.size())) return std::nullopt;
        TNode& node = *registers[i];
        out.push_back(SnapshotRegister(node, read(node)));
    }
    return out;
}

TSnapshot NewSnapshot(const TSession& session, const std::string& device) {
    TSnapshot snapshot;
    snapshot.Device = device;
    snapshot.Slave = session.Slave.Address();
    if (session.Opened.Network)
        snapshot.Port = session.Opened.Path;
    else
        snapshot.Mode = session.Line.Mode;
    snapshot.Line = session.Transaction.Line();
    snapshot.Time = LocalTimeText();
    return snapshot;
}

std::optional<TSnapshotIdentification> SnapshotIdentification(const TUnitIdentity& identity) {
    if (!identity.DeviceId && !identity.SlaveId) return std::nullopt;
    TSnapshotIdentification id;
    if (identity.DeviceId) {
        id.Vendor = identity.DeviceId->Vendor;
        id.ProductCode = identity.DeviceId->ProductCode;
        id.Revision = identity.DeviceId->Revision;
    }
    if (identity.SlaveId) {
        char head[16];
        std::snprintf(head, sizeof head, "%u, %02X", identity.SlaveId->Id, identity.SlaveId->RunIndicator);
        id.SlaveId = head;
        if (const std::string data = identity.SlaveId->DataText(); !data.empty()) id.SlaveId += ", " + data;
    }
    return id;
}

TSnapshot TakeSnapshot(TSession& session, const TRegisterTree& tree, const std::string& device,
                       const std::function<void(size_t, size_t)>& progress) {
    TSnapshot snapshot = NewSnapshot(session, device);
    session.Bus->Call([&](TPort& port, TWire& wire) {
        const TExchanger exchange = WireExchanger(port, wire, session.Transaction.Line());
        snapshot.Identification = SnapshotIdentification(IdentifyUnit(exchange, session.Slave.Address(), {}));
    });
    snapshot.Registers = *ReadRegisters(
        tree, [&](TNode& node) { return ReadWords(session, node); },
        [&](size_t i, size_t n) {
            if (progress) progress(i, n);
            return true;
        });
    return snapshot;
}

std::string WordsText(const std::vector<uint16_t>& words) {
    std::string text;
    char buf[8];
    for (const uint16_t w : words) {
        std::snprintf(buf, sizeof buf, "%04X", w);
        if (!text.empty()) text += ' ';
        text += buf;
    }
    return text;
}

ordered_json SnapshotToJson(const TSnapshot& s) {
    ordered_json doc;
    doc["format"] = kSnapshotFormat;
    doc["device"] = s.Device;
    doc["slave"] = s.Slave;
    if (!s.Port.empty())
        doc["port"] = s.Port;
    else
        doc["mode"] = s.Mode;
    doc["echo"] = s.Line.Echo;
    doc["gap"] = s.Line.GapMs;
    doc["time"] = s.Time;
    if (s.Identification) {
        ordered_json id;
        for (const auto& [key, value] : {std::pair{"vendor", &s.Identification->Vendor},
                                         std::pair{"product_code", &s.Identification->ProductCode},
                                         std::pair{"revision", &s.Identification->Revision},
                                         std::pair{"slave_id", &s.Identification->SlaveId}})
            if (!value->empty()) id[key] = *value;
        doc["identification"] = std::move(id);
    }
    doc["complete"] = s.Complete();
    ordered_json registers = ordered_json::array();
    for (const TSnapshotRegister& r : s.Registers) {
        ordered_json e;
        e["name"] = r.Name;
        e["address"] = r.Address;
        e["type"] = r.Type;
        e["length"] = r.Length;
        e["access"] = r.Access;
        if (!r.Note.empty()) e["note"] = r.Note;
        if (r.Read()) {
            e["value"] = r.Value;
            ordered_json words = ordered_json::array();
            char buf[8];
            for (const uint16_t w : r.Words) {
                std::snprintf(buf, sizeof buf, "%04X", w);
                words.push_back(buf);
            }
            e["words"] = std::move(words);
        } else {
            e["error"] = r.Error;
        }
        registers.push_back(std::move(e));
    }
    doc["registers"] = std::move(registers);
    return doc;
}

TSnapshot SnapshotFromJson(const json& doc) {
    if (!doc.is_object()) throw SnapshotError("expected an object");
    const json& format = Field(doc, "format", "");
    if (!format.is_number_integer()) throw SnapshotError("format: expected a whole number");
    if (format.get<int64_t>() != kSnapshotFormat)
        throw SnapshotError("format: " + format.dump() + " is not a snapshot format this vyx reads (it reads 1)");
    TSnapshot s;
    s.Device = Text(doc, "device", "");
    const json& slave = Field(doc, "slave", "");
    if (!slave.is_number_integer() || slave.get<int64_t>() < 1 || slave.get<int64_t>() > 255)
        throw SnapshotError("slave: expected a whole number from 1 to 255");
    s.Slave = slave.get<int>();
    // A network port's snapshot has its name instead of line settings.
    if (doc.contains("port"))
        s.Port = Text(doc, "port", "");
    else
        s.Mode = Text(doc, "mode", "");
    if (doc.contains("echo")) {
        const json& echo = doc["echo"];
        if (!echo.is_boolean()) throw SnapshotError("echo: expected true or false");
        s.Line.Echo = echo.get<bool>();
    }
    if (doc.contains("gap")) {
        const json& gap = doc["gap"];
        if (!gap.is_number_integer() || gap.get<int64_t>() < 0 || gap.get<int64_t>() > kMaxGapMs)
            throw SnapshotError("gap: expected a whole number of ms from 0 to " + std::to_string(kMaxGapMs));
        s.Line.GapMs = gap.get<uint16_t>();
    }
    s.Time = Text(doc, "time", "");
    if (doc.contains("identification")) {
        const json& id = doc["identification"];
        if (!id.is_object()) throw SnapshotError("identification: expected an object");
        TSnapshotIdentification& i = s.Identification.emplace();
        for (const auto& [key, value] : {std::pair{"vendor", &i.Vendor},
                                         std::pair{"product_code", &i.ProductCode},
                                         std::pair{"revision", &i.Revision},
                                         std::pair{"slave_id", &i.SlaveId}})
            if (id.contains(key)) *value = Text(id, key, "identification.");
    }
    const json& registers = Field(doc, "registers", "");
    if (!registers.is_array()) throw SnapshotError("registers: expected an array");
    for (size_t i = 0; i < registers.size(); ++i) {
        const json& e = registers[i];
        const std::string where = "registers[" + std::to_string(i) + "].";
        if (!e.is_object()) throw SnapshotError("registers[" + std::to_string(i) + "]: expected an object");
        TSnapshotRegister r;
        r.Name = Text(e, "name", where);
        r.Address = Text(e, "address", where);
        r.Type = Text(e, "type", where);
        r.Length = Text(e, "length", where);
        r.Access = Text(e, "access", where);
        if (e.contains("note")) r.Note = Text(e, "note", where);  // older snapshots have none
        if (e.contains("error")) {
            r.Error = Text(e, "error", where);
            if (r.Error.empty()) throw SnapshotError(where + "error: empty");
        } else {
            r.Value = Text(e, "value", where);
            const json& words = Field(e, "words", where);
            if (!words.is_array() || words.empty()) throw SnapshotError(where + "words: expected an array of words");
            for (size_t k = 0; k < words.size(); ++k)
                r.Words.push_back(ParseWord(words[k], where + "words[" + std::to_string(k) + "]"));
        }
        s.Registers.push_back(std::move(r));
    }
    return s;
}

TSnapshot LoadSnapshot(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot read " + PathToUtf8(path));
    try {
        return SnapshotFromJson(json::parse(in));
    } catch (const json::exception& e) {
        throw Error(PathToUtf8(path) + ": not JSON: " + e.what());
    } catch (const SnapshotError& e) {
        throw Error(PathToUtf8(path) + ": not a snapshot: " + e.what());
    }
}

void SaveSnapshot(const TSnapshot& snapshot, const std::filesystem::path& path) {
    // The program's one safe save: a plain file is replaced whole, a link followed,
    // a device or FIFO written in place.
    SaveFileBytes(path, SnapshotToJson(snapshot).dump(2) + "\n");
}

std::vector<TDifference> Compare(const TSnapshot& a, const TSnapshot& b) {
    std::vector<TDifference> out;
    for (const TSnapshotRegister& ra : a.Registers) {
        if (a.Find(ra.Name, ra.Address) != &ra) continue;  // a repeated name and address counts once
        const TSnapshotRegister* rb = b.Find(ra.Name, ra.Address);
        if (!rb) {
            out.push_back({&ra, nullptr});
        } else if (ra.Read() != rb->Read() || (ra.Read() && ra.Words != rb->Words)) {
            out.push_back({&ra, rb});
        }
    }
    for (const TSnapshotRegister& rb : b.Registers) {
        if (b.Find(rb.Name, rb.Address) == &rb && !a.Find(rb.Name, rb.Address)) out.push_back({nullptr, &rb});
    }
    return out;
}

}  // namespace vyx::service
