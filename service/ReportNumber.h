// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The numbers of service reports, "SR-2026-0007": each year's reports in a
// folder numbered from 0001 on, never one number twice. The folder keeps the
// numbers given in a small index, `numery-raportow.txt` (a line each: the
// number, a tab and the report's name); the names of the folder's entries and
// of the entries of its subfolders count as well, so that a report named by its
// number is seen even when the index was lost.
#include <filesystem>
#include <string>
#include <string_view>

namespace vyx::service {

inline constexpr const char* kReportIndex = "numery-raportow.txt";

// "SR-2026-0007".
std::string ReportNumberText(int year, int number);

// The next number of `year` in `folder`: one past the highest of that year in
// its index and its entries' names, "SR-YEAR-0001" when there is none (a folder
// that does not exist has none). Throws vyx::Error when the index is there but
// cannot be read.
std::string NextReportNumber(const std::filesystem::path& folder, int year);

// The report the folder's index gives `number` to; empty when the number is free.
// Throws vyx::Error when the index is there but cannot be read.
std::string ReportNumberHolder(const std::filesystem::path& folder, std::string_view number);

// Adds the number and the report's name at the end of the folder's index,
// keeping every line it held (SaveFileBytes). Throws vyx::Error.
void RecordReportNumber(const std::filesystem::path& folder, std::string_view number, std::string_view report);

// The year of an ISO 8601 time, "2026-12-09T00:36:09+00:00"; 0 when it has none.
int YearOf(std::string_view time);

}  // namespace vyx::service
