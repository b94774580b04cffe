// SPDX-License-Identifier: GPL-3.0-or-later
// vyx report: the service report of a unit, one HTML document from the snapshots
// as found and as left and the calibration record, for printing to paper or PDF.
#include <cstdio>
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
#include "service/Snapshot.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;

namespace {

const char kUsage[] =
    "Usage: vyx report --before A.json --after B.json [--calibration C.json]\n"
    "                  [--technician NAME] [--site TEXT] [--notes TEXT]\n"
    "                  [--identity NAME[,NAME...]] [--history DIR] [--force]\n"
    "                  [-o OUT.html]\n"
    "Writes the service report of a unit: one self-contained HTML document (print\n"
    "it to paper or PDF, A4) with the device file, line, slave, dates, technician,\n"
    "site, notes and the device's identity, the calibration runs of the record\n"
    "file with their readings and results, the registers whose words differ\n"
    "between the snapshots A (as found) and B (as left), the registers that failed\n"
    "to read, and an appendix of every register before and after.\n\n"
    "Options:\n"
    "  --before A.json   the snapshot of the unit as found (vyx backup)\n"
    "  --after B.json    the snapshot of the unit as left\n"
    "  --calibration C.json  the calibration record (vyx calibrate --record)\n"
    "  --technician NAME, --site TEXT, --notes TEXT   shown in the header\n"
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
    const std::string html = ReportHtml(in);
    if (o.Has("--output")) {
        const std::string out = o.Get("--output", "");
        SaveFileBytes(PathFromUtf8(out), html);
        std::fprintf(stderr, "report written to %s\n", out.c_str());
    } else {
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
                             {"--before", "--after", "--calibration", "--technician", "--site", "--notes",
                              "--identity", "--history", "--output"},
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
