// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A unit's service history, read from the folders the service report is saved
// in. A visit is a folder that holds the unit's snapshot as left
// (kAsLeftFile); the unit is known by the serial number in it (SnapshotSerial).
// Beside it the report dialog writes a small visit record (kVisitRecordFile:
// date, technician, report number, calibration points), shown where present.
// The history lists the visits in time order and every writable register whose
// words changed between visits; SinceLastVisit sets the unit as left now
// against its last visit. The files are told in docs/visits.md. Nothing here
// knows a toolkit: `vyx history`, `vyx report --history` and the window share it.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/Snapshot.h"

namespace vyx::service {

inline constexpr char kAsFoundFile[] = "stan-zastany.json";
inline constexpr char kAsLeftFile[] = "stan-pozostawiony.json";
inline constexpr char kVisitRecordFile[] = "wizyta.json";
inline constexpr int kVisitRecordFormat = 1;
// How deep under the report folder visits are looked for: the folder itself is
// depth 0, the report dialog's visit folders are depth 1.
inline constexpr int kHistoryDepth = 3;

// What the report dialog notes of a visit.
struct TVisitRecord {
    std::string Date;                 // when the report was saved; LocalTimeText
    std::string Technician;
    std::string Report;               // the report number: the name of its visit folder
    std::vector<std::string> Points;  // the calibration points run, in order
    bool operator==(const TVisitRecord&) const = default;
};
nlohmann::ordered_json VisitRecordToJson(const TVisitRecord& record);
// Throws SnapshotError naming the place of the fault.
TVisitRecord VisitRecordFromJson(const nlohmann::json& doc);
// None when the file is missing, not a plain file or damaged: a visit is shown
// without it.
std::optional<TVisitRecord> LoadVisitRecord(const std::filesystem::path& path);

struct TVisit {
    std::filesystem::path Folder;
    TSnapshot AsLeft;
    std::optional<TVisitRecord> Record;

    // The record's date, else the snapshot's time.
    std::string Date() const;
};

// One writable register across the visits: what each visit left in it (in the
// visits' order; none where the visit's snapshot lacks it).
struct TRegisterHistory {
    std::string Name, Address;
    std::vector<std::optional<TSnapshotRegister>> At;
};

struct THistory {
    std::string Serial;
    std::vector<TVisit> Visits;              // oldest first
    std::vector<TRegisterHistory> Changed;   // in the order the snapshots list them
    std::vector<std::string> PassedOver;     // "FOLDER: why", for snapshots that could not be read
};

// The visits of the unit with this serial number under `folder` (the folder
// itself and its subfolders kHistoryDepth deep; links are not followed, folders
// that cannot be read are passed over). Throws vyx::Error when `folder` is not
// a folder that can be read.
THistory UnitHistory(const std::filesystem::path& folder, const std::string& serial);

// The change of one writable register since the last visit.
struct TDrift {
    std::string Name, Address;
    std::string Before, Now;          // the values as shown
    std::optional<double> Change;     // Now - Before; none unless both are numbers
    std::optional<double> Percent;    // of Before; none also when Before is 0
    std::string ChangeText, PercentText;  // "+2,00", "+0,20 %"; empty when none
};

struct TSinceLastVisit {
    bool Found = false;               // the unit had a visit before `currentAsLeft`
    std::string Date, Technician, Report;
    std::filesystem::path Folder;
    std::optional<int> Days;          // calendar days between the two dates
    std::vector<TDrift> Registers;    // writable registers whose words differ
};
// The last visit of `history` older than `currentAsLeft`, and what changed in
// the writable registers since.
TSinceLastVisit SinceLastVisit(const THistory& history, const TSnapshot& currentAsLeft);

// A register's writable: access RW or RP.
bool Writable(const TSnapshotRegister& r);
// A value text as a number: "1000,00", "-3", "12.5"; none for anything else.
std::optional<double> ValueNumber(const std::string& text);
// What a visit left in a register, as shown: its value, "nie odczytano: WHY", or "(brak)".
std::string HistoryValue(const std::optional<TSnapshotRegister>& r);

}  // namespace vyx::service
