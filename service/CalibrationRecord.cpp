// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/CalibrationRecord.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/Error.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "service/JsonFields.h"
#include "service/Snapshot.h"

namespace vyx::service {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

const json& Field(const json& object, const char* key, const std::string& where) {
    return json_fields::Field<RecordError>(object, key, where);
}
std::string Text(const json& object, const char* key, const std::string& where) {
    return json_fields::Text<RecordError>(object, key, where);
}
uint16_t ParseWord(const json& v, const std::string& where) { return json_fields::ParseWord<RecordError>(v, where); }

std::string OptionalText(const json& object, const char* key, const std::string& where) {
    return object.contains(key) ? Text(object, key, where) : std::string();
}

const json& Object(const json& object, const char* key, const std::string& where) {
    const json& v = Field(object, key, where);
    if (!v.is_object()) throw RecordError(where + key + ": expected an object");
    return v;
}

ordered_json WordsJson(const std::vector<uint16_t>& words) {
    ordered_json out = ordered_json::array();
    char buf[8];
    for (const uint16_t w : words) {
        std::snprintf(buf, sizeof buf, "%04X", w);
        out.push_back(buf);
    }
    return out;
}

std::vector<uint16_t> WordsFrom(const json& object, const std::string& where) {
    const json& words = Field(object, "words", where);
    if (!words.is_array() || words.empty()) throw RecordError(where + "words: expected an array of words");
    std::vector<uint16_t> out;
    for (size_t k = 0; k < words.size(); ++k)
        out.push_back(ParseWord(words[k], where + "words[" + std::to_string(k) + "]"));
    return out;
}

ordered_json ValueJson(const TRecordedValue& v) {
    ordered_json out;
    if (v.Read()) {
        out["value"] = v.Value;
        out["words"] = WordsJson(v.Words);
    } else {
        out["error"] = v.Error;
    }
    return out;
}

TRecordedValue ValueFrom(const json& object, const char* key, const std::string& where) {
    const json& v = Object(object, key, where);
    const std::string at = where + key + ".";
    TRecordedValue out;
    if (v.contains("error")) {
        out.Error = Text(v, "error", at);
        if (out.Error.empty()) throw RecordError(at + "error: empty");
    } else {
        out.Value = Text(v, "value", at);
        out.Words = WordsFrom(v, at);
    }
    return out;
}

// "1234,00 [449A 4000]"
std::string Shown(const std::string& value, const std::vector<uint16_t>& words) {
    return value + " [" + WordsText(words) + "]";
}

}  // namespace

bool TCalibrationWrite::Verified() const {
    return Sent && WriteError.empty() && After && After->Read() && After->Words == WrittenWords;
}

std::string TCalibrationWrite::Verification() const {
    if (Declined && !Sent) return "nie zapisano: nie potwierdzono";
    if (!Sent) return Before.Read() ? "nie zapisano: przerwano" : "nie zapisano: odczyt przed zapisem nieudany: " + Before.Error;
    if (!WriteError.empty()) return "zapis nieudany: " + WriteError;
    if (!After) return "zapis nieudany";
    if (!After->Read()) return "odczyt po zapisie nieudany: " + After->Error;
    if (After->Words == WrittenWords) return "zweryfikowano";
    return "odczytano " + Shown(After->Value, After->Words) + " zamiast " + Shown(Written, WrittenWords);
}

ordered_json RunToJson(const TCalibrationRun& run) {
    ordered_json doc;
    doc["time"] = run.Time;
    doc["device"] = run.Device;
    doc["slave"] = run.Slave;
    doc["point"] = run.Point;
    doc["count"] = run.Readings.size();
    doc["readings"] = run.Readings;
    doc["mean"] = run.Mean;
    doc["err"] = run.Err;
    if (!run.Verdict.empty()) doc["verdict"] = run.Verdict;
    if (run.Write) {
        const TCalibrationWrite& w = *run.Write;
        ordered_json e;
        e["name"] = w.Name;
        e["address"] = w.Address;
        e["before"] = ValueJson(w.Before);
        e["written"] = {{"value", w.Written}, {"words", WordsJson(w.WrittenWords)}};
        e["sent"] = w.Sent;
        if (w.Declined) e["declined"] = true;  // absent in records written before anything was asked
        if (!w.WriteError.empty()) e["write error"] = w.WriteError;
        if (w.After) e["after"] = ValueJson(*w.After);
        e["verified"] = w.Verified();
        e["verification"] = w.Verification();
        doc["write"] = std::move(e);
    }
    return doc;
}

TCalibrationRun RunFromJson(const json& doc, const std::string& where) {
    if (!doc.is_object()) throw RecordError(where + (where.empty() ? "" : " ") + "expected an object");
    const std::string at = where.empty() ? "" : where + ".";
    TCalibrationRun run;
    run.Time = Text(doc, "time", at);
    run.Device = Text(doc, "device", at);
    const json& slave = Field(doc, "slave", at);
    if (!slave.is_number_integer() || slave.get<int64_t>() < 0 || slave.get<int64_t>() > 255)
        throw RecordError(at + "slave: expected a whole number from 0 to 255");
    run.Slave = slave.get<int>();
    run.Point = Text(doc, "point", at);
    const json& readings = Field(doc, "readings", at);
    if (!readings.is_array()) throw RecordError(at + "readings: expected an array");
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i].is_string())
            throw RecordError(at + "readings[" + std::to_string(i) + "]: expected a string");
        run.Readings.push_back(readings[i].get<std::string>());
    }
    const json& count = Field(doc, "count", at);
    if (!count.is_number_unsigned() || count.get<uint64_t>() != run.Readings.size())
        throw RecordError(at + "count: " + count.dump() + " is not the number of readings (" +
                          std::to_string(run.Readings.size()) + ")");
    run.Mean = Text(doc, "mean", at);
    run.Err = Text(doc, "err", at);
    run.Verdict = OptionalText(doc, "verdict", at);
    if (doc.contains("write")) {
        const std::string wat = at + "write.";
        const json& e = Object(doc, "write", at);
        TCalibrationWrite w;
        w.Name = Text(e, "name", wat);
        w.Address = Text(e, "address", wat);
        w.Before = ValueFrom(e, "before", wat);
        const json& written = Object(e, "written", wat);
        w.Written = Text(written, "value", wat + "written.");
        w.WrittenWords = WordsFrom(written, wat + "written.");
        const json& sent = Field(e, "sent", wat);
        if (!sent.is_boolean()) throw RecordError(wat + "sent: expected true or false");
        w.Sent = sent.get<bool>();
        if (e.contains("declined")) {
            const json& declined = e["declined"];
            if (!declined.is_boolean()) throw RecordError(wat + "declined: expected true or false");
            if (declined.get<bool>() && w.Sent) throw RecordError(wat + "declined: true for a write that was sent");
            w.Declined = declined.get<bool>();
        }
        w.WriteError = OptionalText(e, "write error", wat);
        if (e.contains("after")) w.After = ValueFrom(e, "after", wat);
        const json& verified = Field(e, "verified", wat);
        if (!verified.is_boolean()) throw RecordError(wat + "verified: expected true or false");
        // The verdict must follow from the words the record holds.
        if (verified.get<bool>() != w.Verified())
            throw RecordError(wat + "verified: " + verified.dump() + " does not follow from the words");
        Text(e, "verification", wat);
        run.Write = std::move(w);
    }
    return run;
}

ordered_json RecordToJson(const std::vector<TCalibrationRun>& runs) {
    ordered_json doc;
    doc["format"] = kRecordFormat;
    doc["kind"] = kRecordKind;
    ordered_json list = ordered_json::array();
    for (const TCalibrationRun& run : runs) list.push_back(RunToJson(run));
    doc["runs"] = std::move(list);
    return doc;
}

std::vector<TCalibrationRun> RecordFromJson(const json& doc) {
    if (!doc.is_object()) throw RecordError("expected an object");
    const json& kind = Field(doc, "kind", "");
    if (kind != kRecordKind) throw RecordError("kind: " + kind.dump() + " is not \"" + kRecordKind + "\"");
    const json& format = Field(doc, "format", "");
    if (!format.is_number_integer()) throw RecordError("format: expected a whole number");
    if (format.get<int64_t>() != kRecordFormat)
        throw RecordError("format: " + format.dump() + " is not a record format this vyx reads (it reads 1)");
    const json& runs = Field(doc, "runs", "");
    if (!runs.is_array()) throw RecordError("runs: expected an array");
    std::vector<TCalibrationRun> out;
    for (size_t i = 0; i < runs.size(); ++i) out.push_back(RunFromJson(runs[i], "runs[" + std::to_string(i) + "]"));
    return out;
}

namespace {

// The document of an existing record file, checked whole.
ordered_json LoadDocument(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot read " + PathToUtf8(path));
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Error("cannot read " + PathToUtf8(path));
    ordered_json doc;
    try {
        doc = ordered_json::parse(bytes);
        RecordFromJson(json::parse(bytes));
    } catch (const json::exception& e) {
        throw Error(PathToUtf8(path) + ": not JSON: " + e.what());
    } catch (const RecordError& e) {
        throw Error(PathToUtf8(path) + ": not a calibration record: " + e.what());
    }
    return doc;
}

}  // namespace

std::vector<TCalibrationRun> LoadCalibrationRecord(const std::filesystem::path& path) {
    return RecordFromJson(json::parse(LoadDocument(path).dump()));
}

void AppendCalibrationRun(const std::filesystem::path& path, const TCalibrationRun& run) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) throw Error("cannot read " + PathToUtf8(path) + ": " + ec.message());
    ordered_json doc;
    if (exists) {
        try {
            doc = LoadDocument(path);
        } catch (const Error& e) {
            throw Error(std::string(e.what()) + "; it is left as it is");
        }
        doc["runs"].push_back(RunToJson(run));
    } else {
        doc = RecordToJson({run});
    }
    SaveFileBytes(path, doc.dump(2) + "\n");
}

}  // namespace vyx::service
