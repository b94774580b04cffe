// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The service report, the document a customer signs: one self-contained HTML
// document (inline CSS with print styles for A4, no script, no external files)
// from the snapshots of a unit as found and as left and the calibration runs
// between them: a header with the service company, the report's number, the
// device file, line settings in words or network port, slave, dates in Polish,
// technician, site, notes and the device's identity; the visit in one
// paragraph; the calibration runs and writes; the writable registers that
// changed; the read-only ones read with other values at both ends, side by
// side; those that failed to read; the signatures of technician and customer;
// an appendix of every register before and after with its words. The body
// shows values as the window does, with the device file's note beside them. Every text from the
// device, the device file or the technician is HTML-escaped. Nothing here knows
// a toolkit: `vyx report` and the window both call ReportHtml.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/CalibrationRecord.h"
#include "service/History.h"
#include "service/Snapshot.h"

namespace vyx::service {

struct TReportInput {
    TSnapshot Before, After;              // as found, as left
    std::vector<TCalibrationRun> Runs;    // in the order they ran
    // The runs' plots as the window drew them (PNG), by the runs' order; a run
    // without one (none, or an empty one) is reported without a plot.
    std::vector<std::string> RunPlots;
    std::string Number;                   // the report's number, "SR-2026-0007"; empty: left out
    std::string Company;                  // the service company; empty: left out
    std::string Technician, Site, Notes;  // as typed; empty ones are left out
    // The names of the identity registers; empty: DefaultIdentity of After.
    std::vector<std::string> Identity;
    std::string Created;                  // when the report was made; LocalTimeText
    std::string BeforeFile, AfterFile;    // where the snapshots were read from; may be empty
    // The unit's last visit and what changed since (SinceLastVisit); the report
    // has the section "Od ostatniej wizyty" only when this is given.
    std::optional<TSinceLastVisit> SinceLast;
};

// The registers that say which unit it is: the read-only TEXT registers and
// those whose names hold "numer", "typ", "wersja" or "serial" (in any case), in
// the snapshot's order, each name and address once.
std::vector<const TSnapshotRegister*> DefaultIdentity(const TSnapshot& snapshot);
// The first register of each name, in the order given. Throws vyx::Error for a
// name the snapshot does not hold.
std::vector<const TSnapshotRegister*> IdentityByNames(const TSnapshot& snapshot,
                                                      const std::vector<std::string>& names);

// Why the inputs do not belong together: the snapshots (or a run) taken from
// other device files, e.g. "the snapshot before was taken from VXT-20F.dat, the
// one after from VXP-10.dat". Empty when they do.
std::string ReportMismatch(const TReportInput& input);

// The registers read at both ends of the visit with other words: the writable
// ones (access RW or RP), which the technician changed, or the read-only ones
// (measurements, counters, states), which the unit changes itself.
std::vector<TDifference> ChangedRegisters(const TSnapshot& before, const TSnapshot& after);
std::vector<TDifference> ChangedReadings(const TSnapshot& before, const TSnapshot& after);

// The whole document, UTF-8. Throws vyx::Error for an identity name that is in
// neither snapshot.
std::string ReportHtml(const TReportInput& input);

// & < > " ' as character references.
std::string HtmlEscape(std::string_view text);

// The name of a unit's service folder: the date and time (YYYY-MM-DD_HHMM from
// an ISO 8601 time such as "2026-12-08T14:30:05+01:00"), the device file's name
// without ".dat" and the serial number, joined by '_' and each cleaned to ASCII
// letters, digits, '-' and '_' (Polish letters lose their marks, every other run
// of characters becomes one '-'); a part that is empty after cleaning is left
// out. E.g. "2026-12-08_1430_VXT-20F_10234".
std::string ReportFolderName(std::string_view time, std::string_view deviceFile, std::string_view serial);
// The serial number of the snapshot's unit: the value of "Numer fabryczny",
// else of the first identity register (DefaultIdentity) whose name holds
// "numer" or "serial"; read ones only. Empty when there is none.
std::string SnapshotSerial(const TSnapshot& snapshot);
// The same from a snapshot: its time, its device file and SnapshotSerial.
std::string ReportFolderName(const TSnapshot& snapshot);

}  // namespace vyx::service
