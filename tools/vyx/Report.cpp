// SPDX-License-Identifier: GPL-3.0-or-later
// vyx report: the service report of a unit, one HTML document from the snapshots
// as found and as left and the calibration record, for printing to paper or PDF.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "service/CalibrationRecord.h"
#include "service/History.h"
#include "service/Report.h"
#include "service/ReportNumber.h"
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;
namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: vyx report --before A.json --after B.json [--calibration C.json]\n"
    "                  [--company TEXT] [--technician NAME] [--site TEXT]\n"
    "                  [--notes TEXT] [--number TEXT] [--identity NAME[,NAME...]]\n"
    "                  [--history DIR] [--force] [-o OUT.html]\n"
    "Writes the service report of a unit, the document the customer signs: one\n"
    "self-contained HTML document (print it to paper or PDF, A4) with the service\n"
    "company, the report's number, the device file, line, slave, dates, technician,\n"
    "site, notes and the device's identity, the visit in one paragraph, the\n"
    "calibration runs and writes of the record file, the writable registers (RW,\n"
    "RP) whose words differ between the snapshots A (as found) and B (as left),\n"
    "the read-only ones read with other values at both ends, the registers that\n"
    "failed to read, the signatures of technician and customer, and an appendix of\n"
    "every register before and after. With --history, what changed since the\n"
    "unit's last visit under DIR (\"Od ostatniej wizyty\").\n\n"
    "Options:\n"
    "  --before A.json   the snapshot of the unit as found (vyx backup)\n"
    "  --after B.json    the snapshot of the unit as left\n"
    "  --calibration C.json  the calibration record (vyx calibrate --record)\n"
    "  --company TEXT, --technician NAME, --site TEXT, --notes TEXT\n"
    "                    shown in the header\n"
    "  --number TEXT     the report's number (default with -o OUT.html: the next\n"
    "                    SR-YYYY-NNNN of its folder, kept in the folder's\n"
    "                    numery-raportow.txt; to standard output or a device: none);\n"
    "                    a number the folder already gave is refused\n"
    "  --identity NAMES  the registers that identify the unit, by name, comma-\n"
    "                    separated (default: the read-only TEXT registers and those\n"
    "                    whose names hold numer, typ, wersja or serial)\n"
    "  --history DIR     add \"Od ostatniej wizyty\": the unit's last visit found\n"
    "                    under the report folder DIR (as vyx history finds it)\n"
    "                    and the writable registers changed since, with the\n"
    "                    change and the change in per cent\n"
    "  --force           report on snapshots of different device files\n"
    "  -o, --output OUT.html  the document (default: standard output)\n"
    "Exit status: 0 report written, 1 an input missing or damaged, 2 wrong\n"
    "arguments.\n";

std::vector<std::string> SplitNames(const std::string& text) {
    std::vector<std::string> names;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        std::string name = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        while (!name.empty() && name.front() == ' ') name.erase(name.begin());
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) throw std::invalid_argument("--identity: an empty name");
        names.push_back(std::move(name));
        if (comma == std::string::npos) return names;
        from = comma + 1;
    }
}

int Report(const cli::Options& o) {
    if (!o.Positional().empty()) throw std::invalid_argument("unexpected argument " + o.Positional()[0]);
    if (!o.Has("--before") || !o.Has("--after")) throw std::invalid_argument("--before and --after are required");
    TReportInput in;
    in.BeforeFile = o.Get("--before", "");
    in.AfterFile = o.Get("--after", "");
    in.Before = LoadSnapshot(PathFromUtf8(in.BeforeFile));
    in.After = LoadSnapshot(PathFromUtf8(in.AfterFile));
    if (o.Has("--calibration")) in.Runs = LoadCalibrationRecord(PathFromUtf8(o.Get("--calibration", "")));
    in.Company = o.Get("--company", "");
    in.Technician = o.Get("--technician", "");
    in.Site = o.Get("--site", "");
    in.Notes = o.Get("--notes", "");
    if (o.Has("--identity")) {
        in.Identity = SplitNames(o.Get("--identity", ""));
        IdentityByNames(in.After, in.Identity);  // an unknown name is refused here, before anything is written
    }
    if (o.Has("--history")) {
        const std::string serial = SnapshotSerial(in.After);
        if (serial.empty()) throw Error("the snapshot after has no serial number: --history cannot tell the unit");
        const THistory history = UnitHistory(PathFromUtf8(o.Get("--history", "")), serial);
        for (const std::string& why : history.PassedOver) std::fprintf(stderr, "note: passed over %s\n", why.c_str());
        in.SinceLast = SinceLastVisit(history, in.After);
    }
    in.Created = LocalTimeText();
    if (const std::string mismatch = ReportMismatch(in); !mismatch.empty() && !o.Has("--force"))
        throw Error(mismatch + "; --force makes the report anyway");
    in.Number = o.Get("--number", "");
    if (o.Has("--output")) {
        const std::string out = o.Get("--output", "");
        const fs::path path = PathFromUtf8(out), folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        // A report filed in a folder is numbered there; one sent to a device is not filed.
        std::error_code ec;
        const bool filed = !fs::exists(path, ec) || fs::is_regular_file(path, ec);
        if (in.Number.empty() && filed) in.Number = NextReportNumber(folder, YearOf(in.Created));
        else if (filed)
            if (const std::string holder = ReportNumberHolder(folder, in.Number); !holder.empty())
                throw Error("report number " + in.Number + " is already " + holder + "'s in " +
                            PathToUtf8(folder / kReportIndex) + "; leave --number out for the next free one");
        const std::string html = ReportHtml(in);
        if (filed) {
            SaveFileBytes(path, html);
        } else {
            // A device or a pipe (/dev/stdout) takes the bytes as they are: nothing to replace safely.
            std::ofstream device(path, std::ios::binary);
            if (!(device << html) || !device.flush()) throw Error("cannot write the report to " + out);
        }
        // Kept once the report is written, so that no later report of the folder takes it.
        if (filed) RecordReportNumber(folder, in.Number, PathToUtf8(path.filename()));
        std::fprintf(stderr, "report written to %s\n", out.c_str());
    } else {
        const std::string html = ReportHtml(in);
        std::fwrite(html.data(), 1, html.size(), stdout);
    }
    for (const auto& [s, label] : {std::pair{&in.Before, "before"}, std::pair{&in.After, "after"}})
        if (!s->Complete()) std::fprintf(stderr, "note: the snapshot %s is incomplete\n", label);
    return kExitOk;
}

}  // namespace

int RunReport(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    static char output[] = "--output";
    std::vector<char*> args(argv, argv + argc);
    for (char*& a : args)
        if (std::string(a) == "-o") a = output;
    try {
        const cli::Options o(static_cast<int>(args.size()), args.data(),
                             {"--before", "--after", "--calibration", "--company", "--technician", "--site",
                              "--notes", "--number", "--identity", "--history", "--output"},
                             {"--force"});
        return Report(o);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx report: %s\n\n%s", e.what(), kUsage);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyx report: %s\n", e.what());
        return kExitFailure;
    }
}
