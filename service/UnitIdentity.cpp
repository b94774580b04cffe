// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/UnitIdentity.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "base/Error.h"
#include "base/Text.h"
#include "modbus/Builders.h"
#include "registers/RegisterFile.h"
#include "registers/RegisterTree.h"

namespace fs = std::filesystem;

namespace vyx::service {

namespace {

std::u16string CutTrailing(std::u16string text) {
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\0')) text.pop_back();
    return text;
}

std::string Failure(const TExchangeResult& r) {
    if (!r.Sent && r.Outcome == TOutcome::None) return "not sent";
    return OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English, r.DetailEn);
}

bool Replied(const TExchangeResult& r) { return r.Outcome == TOutcome::Good || r.Outcome == TOutcome::Exception; }

const uint8_t* Pdu(const TExchangeResult& r) { return r.Rx.data() + r.PduAt; }

// The data bytes of a good reply to a read of `length` registers; none otherwise.
std::optional<std::pair<const uint8_t*, int>> ReadData(const TExchangeResult& r, uint16_t length) {
    if (r.Outcome != TOutcome::Good || r.PduSize < 2) return std::nullopt;
    const uint8_t* pdu = Pdu(r);
    if (pdu[1] != 2u * length || r.PduSize != 2u + pdu[1]) return std::nullopt;
    return std::make_pair(pdu + 2, static_cast<int>(pdu[1]));
}

// One register read by its record; the value as the window shows it, or why not.
struct TRecordRead {
    std::optional<std::u16string> Value;
    std::string Failure;
};

TRecordRead ReadRecord(const TExchanger& exchange, uint8_t slave, const TRegData& record, TUnitIdentity& id) {
    TRecordRead got;
    TFrame frame;
    try {
        BuildRead(frame, slave, record);
    } catch (const Error& e) {
        got.Failure = e.what();
        return got;
    }
    const TExchangeResult r = exchange(frame);
    id.Answers += Replied(r);
    const auto data = ReadData(r, frame.RegisterCount);
    if (!data) {
        got.Failure = r.Outcome == TOutcome::Good ? "reply of another length" : Failure(r);
        return got;
    }
    got.Value = DecodeValue(GetTypeCode(record.DataType), data->second, data->first);
    return got;
}

void AskDeviceId(const TExchanger& exchange, uint8_t slave, TUnitIdentity& id) {
    TDeviceId device;
    bool any = false;
    uint8_t next = 0;
    // A unit sends its objects in as many replies as it needs; four are plenty
    // for the basic three, and a unit that names no later object ends it.
    for (int part = 0; part < 4; ++part) {
        TFrame frame;
        BuildReadDeviceId(frame, slave, next);
        const TExchangeResult r = exchange(frame);
        id.Answers += Replied(r);
        if (r.Outcome != TOutcome::Good) {
            if (!any) id.DeviceIdFailure = Failure(r);
            break;
        }
        const std::optional<TDeviceIdReply> reply = DecodeDeviceId(Pdu(r), r.PduSize);
        if (!reply) {
            if (!any) id.DeviceIdFailure = "a reply that is no device identification";
            break;
        }
        for (const TDeviceIdObject& object : reply->Objects) {
            if (object.Id == 0) device.Vendor = object.Value;
            if (object.Id == 1) device.ProductCode = object.Value;
            if (object.Id == 2) device.Revision = object.Value;
        }
        any = true;
        if (!reply->MoreFollows || reply->NextObject <= next) break;
        next = reply->NextObject;
    }
    if (any) id.DeviceId = device;
}

void AskSlaveId(const TExchanger& exchange, uint8_t slave, TUnitIdentity& id) {
    TFrame frame;
    BuildReportSlaveId(frame, slave);
    const TExchangeResult r = exchange(frame);
    id.Answers += Replied(r);
    if (r.Outcome != TOutcome::Good) {
        id.SlaveIdFailure = Failure(r);
        return;
    }
    id.SlaveId = DecodeSlaveId(Pdu(r), r.PduSize);
    if (!id.SlaveId) id.SlaveIdFailure = "a reply that is no slave id";
}

// Reads each distinct type register once and proposes the first file whose
// stored type the unit returns.
const TIdentityProbe* ReadTypes(const TExchanger& exchange, uint8_t slave, const std::vector<TIdentityProbe>& probes,
                                TUnitIdentity& id) {
    std::map<std::pair<uint16_t, uint16_t>, std::optional<TExchangeResult>> reads;
    const TIdentityProbe* match = nullptr;
    for (const TIdentityProbe& probe : probes) {
        const auto number = static_cast<uint16_t>(StrToInt(probe.Type.Address));
        const auto length = static_cast<uint16_t>(StrToInt(probe.Type.Length));
        const std::pair key{number, length};
        auto read = reads.find(key);
        if (read == reads.end()) {
            if (reads.size() == kMaxTypeReads) continue;
            TTypeRead shown{number, length, {}, {}};
            TFrame frame;
            std::optional<TExchangeResult> result;
            try {
                BuildRead(frame, slave, probe.Type);
                result = exchange(frame);
                id.Answers += Replied(*result);
            } catch (const Error& e) {
                shown.Failure = e.what();
            }
            if (result) {
                const auto data = ReadData(*result, length);
                if (data)
                    shown.Value = ToUtf8(CutTrailing(DecodeValue(GetTypeCode(probe.Type.DataType), data->second, data->first)));
                else
                    shown.Failure = result->Outcome == TOutcome::Good ? "reply of another length" : Failure(*result);
            }
            id.TypeReads.push_back(std::move(shown));
            read = reads.emplace(key, std::move(result)).first;
        }
        if (match || !read->second) continue;
        const auto data = ReadData(*read->second, length);
        if (!data) continue;
        const std::u16string text = CutTrailing(DecodeValue(GetTypeCode(probe.Type.DataType), data->second, data->first));
        if (!text.empty() && text == probe.TypeValue) {
            match = &probe;
            id.Type = ToUtf8(text);
            id.File = probe.File;
        }
    }
    return match;
}

}  // namespace

std::optional<TIdentityProbe> IdentityProbe(const fs::path& file) {
    TRegisterTree tree;
    try {
        LoadRegisterFile(tree, file);
    } catch (const std::exception&) {
        return std::nullopt;  // a file that cannot be read identifies nothing
    }
    const TNode* type = tree.FindRegisterByName(kTypeRegisterName);
    if (!type) return std::nullopt;
    TIdentityProbe probe;
    probe.File = file;
    probe.Type = type->Record;
    probe.TypeValue = CutTrailing(type->Record.Value);
    if (const TNode* serial = tree.FindRegisterByName(kSerialRegisterName)) probe.Serial = serial->Record;
    if (const TNode* firmware = tree.FindRegisterByName(kFirmwareRegisterName)) probe.Firmware = firmware->Record;
    return probe;
}

std::vector<TIdentityProbe> IdentityProbes(const std::vector<fs::path>& folders) {
    std::map<fs::path, fs::path> files;  // by file name, the first folder's
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string extension = it->path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (extension == ".dat") files.emplace(it->path().filename(), it->path());
        }
    }
    std::vector<TIdentityProbe> probes;
    for (const auto& [name, path] : files)
        if (std::optional<TIdentityProbe> probe = IdentityProbe(path)) probes.push_back(std::move(*probe));
    return probes;
}

std::string TUnitIdentity::Summary() const {
    std::string text;
    auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += "  ";
        text += part;
    };
    add(Type);
    if (!Serial.empty()) add("nr " + Serial);
    add(PathToUtf8(File.filename()));
    return text.empty() ? "?" : text;
}

TExchanger WireExchanger(TPort& port, TWire& wire, TLineOptions line, std::vector<std::u16string>* lines) {
    return [&port, &wire, line, lines](const TFrame& request) {
        TExchangeResult r = wire.Exchange(port, request, line);
        if (lines) lines->insert(lines->end(), r.Lines.begin(), r.Lines.end());
        return r;
    };
}

TUnitIdentity IdentifyUnit(const TExchanger& exchange, uint8_t slave, const std::vector<TIdentityProbe>& probes) {
    TUnitIdentity id;
    AskDeviceId(exchange, slave, id);
    AskSlaveId(exchange, slave, id);
    const TIdentityProbe* match = ReadTypes(exchange, slave, probes, id);
    if (!match) {
        if (id.DeviceId) id.Type = id.DeviceId->ProductCode;
        return id;
    }
    if (match->Serial) {
        const TRecordRead serial = ReadRecord(exchange, slave, *match->Serial, id);
        if (serial.Value) id.Serial = ToUtf8(CutTrailing(*serial.Value));
        id.SerialFailure = serial.Failure;
    }
    if (match->Firmware) {
        const TRecordRead firmware = ReadRecord(exchange, slave, *match->Firmware, id);
        if (firmware.Value) id.Firmware = ToUtf8(CutTrailing(*firmware.Value));
        id.FirmwareFailure = firmware.Failure;
    }
    return id;
}

}  // namespace vyx::service
