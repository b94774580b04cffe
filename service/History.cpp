// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/History.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <tuple>

#include "base/Error.h"
#include "base/Text.h"
#include "service/JsonFields.h"
#include "service/Report.h"

namespace vyx::service {
namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// Larger files are no snapshots of ours: they are passed over unread.
constexpr uintmax_t kMaxDocumentBytes = 64u << 20;

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    size_t from = 0;
    while (from < s.size() && (s[from] == ' ' || s[from] == '\t')) ++from;
    return s.substr(from);
}

bool Digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long long Number(std::string_view s) {
    long long v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The local date of "2026-12-08T14:30:05+01:00" as days since 1970; none for another form.
std::optional<long long> LocalDay(std::string_view t) {
    if (t.size() < 10 || t[4] != '-' || t[7] != '-' || !Digits(t.substr(0, 4)) || !Digits(t.substr(5, 2)) ||
        !Digits(t.substr(8, 2)))
        return std::nullopt;
    return DaysFromCivil(static_cast<int>(Number(t.substr(0, 4))), static_cast<int>(Number(t.substr(5, 2))),
                         static_cast<int>(Number(t.substr(8, 2))));
}

// The moment of an ISO 8601 time with its offset, in seconds since 1970 UTC.
// Visits of summer and winter time are ordered by the moment, not the text.
std::optional<long long> Moment(std::string_view t) {
    const std::optional<long long> day = LocalDay(t);
    if (!day || t.size() < 19 || (t[10] != 'T' && t[10] != ' ') || t[13] != ':' || t[16] != ':' ||
        !Digits(t.substr(11, 2)) || !Digits(t.substr(14, 2)) || !Digits(t.substr(17, 2)))
        return std::nullopt;
    long long seconds = *day * 86400 + Number(t.substr(11, 2)) * 3600 + Number(t.substr(14, 2)) * 60 +
                        Number(t.substr(17, 2));
    std::string_view rest = t.substr(19);
    if (!rest.empty() && rest[0] == '.') {  // fractions of a second
        rest.remove_prefix(1);
        while (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') rest.remove_prefix(1);
    }
    if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':' && Digits(rest.substr(1, 2)) &&
        Digits(rest.substr(4, 2))) {
        const long long offset = Number(rest.substr(1, 2)) * 3600 + Number(rest.substr(4, 2)) * 60;
        seconds -= rest[0] == '+' ? offset : -offset;
    } else if (!rest.empty() && rest != "Z") {
        return std::nullopt;
    }
    return seconds;
}

// A signed number with a decimal comma, as the window shows values.
std::string Signed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+.*f", decimals, v);
    std::string out = buf;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

int Decimals(const std::string& text) {
    const size_t at = text.find_first_of(",.");
    return at == std::string::npos ? 0 : static_cast<int>(text.size() - at - 1);
}

// The folders at most `depth` below `folder`, the folder first. Links are not
// followed; a folder that cannot be listed is passed over.
void Folders(const fs::path& folder, int depth, std::vector<fs::path>& out) {
    out.push_back(folder);
    if (depth <= 0) return;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    std::vector<fs::path> children;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code sec;
        if (fs::is_directory(it->symlink_status(sec)) && !sec) children.push_back(it->path());
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) Folders(child, depth - 1, out);
}

// A plain file, no link, of a size a document of ours can have.
bool PlainFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::is_regular_file(status)) return false;
    const uintmax_t size = fs::file_size(path, ec);
    return !ec && size <= kMaxDocumentBytes;
}

}  // namespace

bool Writable(const TSnapshotRegister& r) {
    std::string access = r.Access;
    for (char& c : access) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    access = Trim(access);
    return access == "RW" || access == "RP";
}

std::optional<double> ValueNumber(const std::string& text) {
    std::string s = Trim(text);
    std::replace(s.begin(), s.end(), ',', '.');
    if (s.empty() || s.find_first_not_of("+-0123456789.") != std::string::npos) return std::nullopt;
    if (s[0] == '+') s.erase(0, 1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string HistoryValue(const std::optional<TSnapshotRegister>& r) {
    if (!r) return "(brak)";
    if (!r->Read()) return "nie odczytano: " + r->Error;
    return r->Value;
}

ordered_json VisitRecordToJson(const TVisitRecord& record) {
    ordered_json doc;
    doc["format"] = kVisitRecordFormat;
    doc["date"] = record.Date;
    doc["technician"] = record.Technician;
    doc["report"] = record.Report;
    doc["points"] = record.Points;
    return doc;
}

TVisitRecord VisitRecordFromJson(const json& doc) {
    using namespace json_fields;
    if (!doc.is_object()) throw SnapshotError("expected an object");
    const json& format = Field<SnapshotError>(doc, "format", "");
    if (!format.is_number_integer() || format.get<int64_t>() != kVisitRecordFormat)
        throw SnapshotError("format: " + format.dump() + " is not a visit record format this vyx reads (it reads 1)");
    TVisitRecord r;
    r.Date = Text<SnapshotError>(doc, "date", "");
    r.Technician = Text<SnapshotError>(doc, "technician", "");
    r.Report = Text<SnapshotError>(doc, "report", "");
    if (doc.contains("points")) {
        const json& points = doc["points"];
        if (!points.is_array()) throw SnapshotError("points: expected an array");
        for (size_t i = 0; i < points.size(); ++i) {
            if (!points[i].is_string()) throw SnapshotError("points[" + std::to_string(i) + "]: expected a string");
            r.Points.push_back(points[i].get<std::string>());
        }
    }
    return r;
}

std::optional<TVisitRecord> LoadVisitRecord(const fs::path& path) {
    if (!PlainFile(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    try {
        return VisitRecordFromJson(json::parse(in));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string TVisit::Date() const { return Record && !Record->Date.empty() ? Record->Date : AsLeft.Time; }

THistory UnitHistory(const fs::path& folder, const std::string& serial) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw Error(PathToUtf8(folder) + ": not a folder");
    fs::directory_iterator probe(folder, ec);
    if (ec) throw Error("cannot read " + PathToUtf8(folder) + ": " + ec.message());

    THistory h;
    h.Serial = Trim(serial);
    std::vector<fs::path> folders;
    Folders(folder, kHistoryDepth, folders);
    for (const fs::path& f : folders) {
        const fs::path asLeft = f / kAsLeftFile;
        std::error_code sec;
        if (!fs::exists(fs::symlink_status(asLeft, sec))) continue;
        TVisit visit;
        visit.Folder = f;
        try {
            if (!PlainFile(asLeft)) throw Error(PathToUtf8(asLeft) + ": not a plain file of a snapshot's size");
            visit.AsLeft = LoadSnapshot(asLeft);
        } catch (const std::exception& e) {
            h.PassedOver.emplace_back(e.what());
            continue;
        }
        if (Trim(SnapshotSerial(visit.AsLeft)) != h.Serial || h.Serial.empty()) continue;
        visit.Record = LoadVisitRecord(f / kVisitRecordFile);
        h.Visits.push_back(std::move(visit));
    }
    // By the moment of the snapshot; a time of another form goes last, by its text.
    std::stable_sort(h.Visits.begin(), h.Visits.end(), [](const TVisit& a, const TVisit& b) {
        const auto ma = Moment(a.AsLeft.Time), mb = Moment(b.AsLeft.Time);
        return std::make_tuple(!ma, ma.value_or(0), a.AsLeft.Time) < std::make_tuple(!mb, mb.value_or(0), b.AsLeft.Time);
    });

    // Every writable register once, by name and address, in the order first seen.
    std::vector<std::pair<std::string, std::string>> order;
    for (const TVisit& v : h.Visits)
        for (const TSnapshotRegister& r : v.AsLeft.Registers)
            if (Writable(r) && std::find(order.begin(), order.end(), std::pair{r.Name, r.Address}) == order.end())
                order.emplace_back(r.Name, r.Address);
    for (const auto& [name, address] : order) {
        TRegisterHistory rh{name, address, {}};
        const std::vector<uint16_t>* seen = nullptr;
        bool changed = false;
        for (const TVisit& v : h.Visits) {
            const TSnapshotRegister* r = v.AsLeft.Find(name, address);
            rh.At.push_back(r ? std::optional<TSnapshotRegister>(*r) : std::nullopt);
            if (!r || !r->Read()) continue;
            if (seen && *seen != r->Words) changed = true;
            seen = &r->Words;
        }
        if (changed) h.Changed.push_back(std::move(rh));
    }
    return h;
}

TSinceLastVisit SinceLastVisit(const THistory& history, const TSnapshot& now) {
    TSinceLastVisit out;
    const std::optional<long long> nowMoment = Moment(now.Time);
    const TVisit* last = nullptr;
    for (const TVisit& v : history.Visits) {
        const std::optional<long long> m = Moment(v.AsLeft.Time);
        // The visit being reported on may already be in the folder: only an older one counts.
        if (nowMoment ? (m && *m < *nowMoment) : v.AsLeft.Time < now.Time) last = &v;
    }
    if (!last) return out;
    out.Found = true;
    out.Date = last->Date();
    out.Folder = last->Folder;
    if (last->Record) {
        out.Technician = last->Record->Technician;
        out.Report = last->Record->Report;
    }
    const std::optional<long long> then = LocalDay(last->AsLeft.Time), today = LocalDay(now.Time);
    if (then && today) out.Days = static_cast<int>(*today - *then);

    for (const TSnapshotRegister& r : now.Registers) {
        if (!Writable(r) || !r.Read() || now.Find(r.Name, r.Address) != &r) continue;
        const TSnapshotRegister* before = last->AsLeft.Find(r.Name, r.Address);
        if (!before || !before->Read() || before->Words == r.Words) continue;
        TDrift d{r.Name, r.Address, before->Value, r.Value, {}, {}, {}, {}};
        const std::optional<double> a = ValueNumber(before->Value), b = ValueNumber(r.Value);
        if (a && b) {
            d.Change = *b - *a;
            d.ChangeText = Signed(*d.Change, std::max(Decimals(before->Value), Decimals(r.Value)));
            if (*a != 0) {
                d.Percent = *d.Change / std::fabs(*a) * 100;
                d.PercentText = Signed(*d.Percent, 2) + " %";
            }
        }
        out.Registers.push_back(std::move(d));
    }
    return out;
}

}  // namespace vyx::service
