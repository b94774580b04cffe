// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The report's words for what the snapshots and the record hold in codes: a
// date and time as a Polish reader writes it, the line setting, the stability
// of a run's readings, a write and its check, and the whole visit in a few
// sentences. Plain text, escaped where it goes into the document. A text of
// another form is given back as it is: the report never hides what a file holds.
#include <string>
#include <string_view>

#include "service/CalibrationRecord.h"
#include "service/Report.h"

namespace vyx::service {

// "9 grudnia 2026, 00:36" from "2026-12-09T00:36:09+00:00": the local time as
// written in the text, whatever its offset; "9 grudnia 2026" from a date alone.
std::string PolishDateTime(std::string_view iso);

// "19200 bit/s, parzystość parzysta, 8 bitów danych, 1 bit stopu" from
// "19200,e,8,1" (parity n, e or o).
std::string LineSettingText(std::string_view mode);

// "1 rejestr", "3 rejestry", "12 rejestrów": the count with its word in the
// form Polish gives it.
std::string CountText(size_t n, const char* one, const char* few, const char* many);

// The stability of a run's readings, never of the unit: "rozrzut 2,00 w
// tolerancji 3,00" from "stabilny: rozrzut 2,00 <= 3,00", "rozrzut 4,00 poza
// tolerancją 3,00" from "niestabilny: rozrzut 4,00 > 3,00".
std::string StabilityText(std::string_view verdict);

// How a write ended, without the register words: "zweryfikowano", "odczytano
// 1234,00 zamiast 1000", or the record's own reason why nothing was written.
std::string VerificationText(const TCalibrationWrite& write);

// A run's write: "zapis średniej 1002 do N100, zweryfikowano" when the run's
// mean went in, else "zapis wartości 1000 do N400, wpisana ręcznie, zweryfikowano".
std::string WriteText(const TCalibrationRun& run);

// The visit in a few sentences: each calibration run (its readings, their
// stability, its write and whether it was verified), each write without a run,
// the writable registers changed, and the registers that could not be read.
std::string VisitSummary(const TReportInput& input);

}  // namespace vyx::service
