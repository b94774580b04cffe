// SPDX-License-Identifier: GPL-3.0-or-later
// vyx history: a unit's service visits found under a report folder, and what
// each left in the writable registers that changed from one visit to another.
#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Text.h"
#include "service/History.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;

namespace {

const char kUsage[] =
    "Usage: vyx history --serial N [--csv] DIR\n"
    "Lists the service visits of the unit with serial number N found under the\n"
    "report folder DIR (the folders the window's service report writes, up to\n"
    "three levels deep): one line per visit and register with the visit's date,\n"
    "technician and report number, the register and the value the visit left in\n"
    "it, for every writable register (RW, RP) that changed between visits. A visit\n"
    "whose registers did not change is listed once, without a register.\n\n"
    "Options:\n"
    "  --serial N   the unit's serial number (its register \"Numer fabryczny\")\n"
    "  --csv        comma-separated values with a header line\n"
    "Exit status: 0 visits listed, 3 no visit of the unit under DIR, 1 failure,\n"
    "2 wrong arguments.\n";

using TLine = std::array<std::string, 5>;

std::string Csv(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (const char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Columns as wide as their widest text (counted in characters, not bytes).
void PrintTable(const std::vector<TLine>& lines) {
    std::array<size_t, 5> width{};
    for (const TLine& l : lines)
        for (size_t i = 0; i < l.size(); ++i) width[i] = std::max(width[i], FromUtf8(l[i]).size());
    for (const TLine& l : lines) {
        std::string text;
        for (size_t i = 0; i < l.size(); ++i) {
            text += l[i];
            if (i + 1 < l.size()) text += std::string(width[i] - FromUtf8(l[i]).size() + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        std::printf("%s\n", text.c_str());
    }
}

int History(const cli::Options& o) {
    if (!o.Has("--serial")) throw std::invalid_argument("--serial is required");
    const std::string serial = o.Get("--serial", "");
    if (serial.find_first_not_of(" \t") == std::string::npos) throw std::invalid_argument("--serial: an empty number");
    if (o.Positional().size() != 1) throw std::invalid_argument("name one report folder");
    const std::string dir = o.Positional()[0];
    const THistory h = UnitHistory(PathFromUtf8(dir), serial);
    for (const std::string& why : h.PassedOver) std::fprintf(stderr, "note: passed over %s\n", why.c_str());
    if (h.Visits.empty()) {
        std::fprintf(stderr, "no visit of unit %s under %s\n", serial.c_str(), dir.c_str());
        return kExitNotClean;
    }
    const bool csv = o.Has("--csv");
    std::vector<TLine> lines;
    lines.push_back(csv ? TLine{"date", "technician", "report", "register", "value"}
                        : TLine{"Data", "Technik", "Raport", "Rejestr", "Wartość"});
    for (size_t v = 0; v < h.Visits.size(); ++v) {
        const TVisit& visit = h.Visits[v];
        const std::string none = csv ? "" : "-";
        const std::string technician = visit.Record && !visit.Record->Technician.empty() ? visit.Record->Technician : none;
        const std::string report = visit.Record && !visit.Record->Report.empty() ? visit.Record->Report : none;
        if (h.Changed.empty()) lines.push_back({visit.Date(), technician, report, none, none});
        for (const TRegisterHistory& r : h.Changed)
            lines.push_back({visit.Date(), technician, report, r.Address + " " + r.Name, HistoryValue(r.At[v])});
    }
    if (csv) {
        for (const TLine& l : lines)
            std::printf("%s,%s,%s,%s,%s\n", Csv(l[0]).c_str(), Csv(l[1]).c_str(), Csv(l[2]).c_str(), Csv(l[3]).c_str(),
                        Csv(l[4]).c_str());
    } else {
        PrintTable(lines);
    }
    std::fprintf(stderr, "%zu %s of unit %s, %zu %s changed\n", h.Visits.size(), h.Visits.size() == 1 ? "visit" : "visits",
                 serial.c_str(), h.Changed.size(), h.Changed.size() == 1 ? "writable register" : "writable registers");
    return kExitOk;
}

}  // namespace

int RunHistory(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    try {
        const cli::Options o(argc, argv, {"--serial"}, {"--csv"});
        return History(o);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx history: %s\n\n%s", e.what(), kUsage);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyx history: %s\n", e.what());
        return kExitFailure;
    }
}
