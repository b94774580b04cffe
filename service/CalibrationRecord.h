// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The record of calibration runs: per run its time, point, readings, mean and
// err as the summary prints them, the stability line when there was one, and,
// when the mean was written, the register, its value before, the value written,
// the value read back and whether the words read back are the words written.
// A record file is a JSON document holding a list of runs; its form is told in
// docs/records.md. Nothing here knows a toolkit or a port.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/Snapshot.h"

namespace vyx::service {

inline constexpr int kRecordFormat = 1;
inline constexpr const char* kRecordKind = "calibration record";


// A register's value as read: its shown text and words, or why it was not read.
struct TRecordedValue {
    std::string Value;
    std::vector<uint16_t> Words;
    std::string Error;  // empty when read

    bool Read() const { return Error.empty(); }
};

// The mean written into "N100" or "N400": read just before, written, read back.
struct TCalibrationWrite {
    std::string Name, Address;
    TRecordedValue Before;
    std::string Written;                // the value text written
    std::vector<uint16_t> WrittenWords; // the words the request carried
    bool Sent = false;                  // the write went out (not when the read before failed)
    bool Declined = false;              // the technician answered "Nie" when asked before the write
    std::string WriteError;             // why the write was not acknowledged; empty when it was
    std::optional<TRecordedValue> After;  // the read back, once the write was acknowledged

    // The words read back are the words written.
    bool Verified() const;
    // "zweryfikowano"; "odczytano 1234,00 [449A 4000] zamiast 1000 [447A 0000]";
    // "nie zapisano: odczyt przed zapisem nieudany: REASON"; "nie zapisano: nie
    // potwierdzono"; "zapis nieudany: REASON"; "odczyt po zapisie nieudany: REASON".
    std::string Verification() const;
};

struct TCalibrationRun {
    std::string Time;     // LocalTimeText of the run's end
    std::string Device;   // the device file's name; empty when not known
    int Slave = 0;        // 0 when not known
    std::string Point;    // "100R", "400R" or empty
    std::vector<std::string> Readings;  // the value texts, in order
    std::string Mean, Err;              // as the summary prints them: "1000", "0,354"
    std::string Verdict;                // the stability line; empty when none
    std::optional<TCalibrationWrite> Write;
};

// A document that is not a calibration record. The text starts with the place
// of the fault, e.g. "runs[0].write.after.words[1]: \"12G4\" is not four
// hexadecimal digits".
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

nlohmann::ordered_json RunToJson(const TCalibrationRun& run);
// Throws RecordError; `where` prefixes the places of faults.
TCalibrationRun RunFromJson(const nlohmann::json& doc, const std::string& where = "");

nlohmann::ordered_json RecordToJson(const std::vector<TCalibrationRun>& runs);
// Throws RecordError.
std::vector<TCalibrationRun> RecordFromJson(const nlohmann::json& doc);

// Loading throws vyx::Error naming the file and the fault.
std::vector<TCalibrationRun> LoadCalibrationRecord(const std::filesystem::path& path);
// Adds `run` at the end of the record file, which is created when missing. A
// file that is not a calibration record (damaged, another document, a format
// this vyx does not read) is refused with vyx::Error and left as it was; the
// file is written through SaveFileBytes (base/SafeSave.h), keeping what
// else the document holds.
void AppendCalibrationRun(const std::filesystem::path& path, const TCalibrationRun& run);

}  // namespace vyx::service
