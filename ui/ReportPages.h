// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The service report on paper: its HTML laid out by Qt's text engine on A4
// pages, "strona X z Y" at the foot of every page (after the report's number
// when it has one), and no heading left alone at the foot of a page: a heading
// that the page would part from what follows it begins the next page. The same
// drawing makes the PDF file and the printed pages, so both say the same.
#include <QString>
#include <string>

class QPagedPaintDevice;
class QTextDocument;

namespace vyx::ui {

// A4 with the report's margins (15 mm at the top, 12 mm elsewhere).
void UseReportPage(QPagedPaintDevice& device);

// Draws the report onto `device`'s pages (a QPdfWriter or a QPrinter), the
// first page onto the page the device stands at; the number of pages drawn.
// 0 when the device cannot be painted on (a printer that refuses the job).
int PaintReport(const QString& html, const QString& number, QPagedPaintDevice& device);

// The report as the bytes of an A4 PDF file.
std::string ReportPdf(const std::string& html, const std::string& number);

// Moves to the next page every heading of `document`, laid out in pages, that
// would end its page with nothing of what it heads below it; the number moved.
int KeepHeadingsWithText(QTextDocument& document);

}  // namespace vyx::ui
