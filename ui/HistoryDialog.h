// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Historia jednostki…": the service visits of one unit found under the report
// folder, oldest first, each with its date, technician, report number and a
// button that opens its report; below them the writable registers that changed
// from one visit to another, one row each, one column per visit.
#include <QDialog>
#include <functional>

#include "service/History.h"

class QLabel;
class QTableWidget;

namespace vyx::ui {

class THistoryDialog : public QDialog {
public:
    THistoryDialog(service::THistory history, QWidget* parent);

    QLabel* stSummary;
    QTableWidget* tblVisits;     // Data, Technik, Numer raportu, Raport
    QTableWidget* tblRegisters;  // Rejestr, then one column per visit

    // Opens a visit's report; by default in the system's viewer. A test puts its own here.
    std::function<void(const std::filesystem::path&)> OpenReport;
    // The report of visit `row` (its HTML, else its PDF); empty when it has none.
    std::filesystem::path ReportOf(int row) const;

private:
    service::THistory history_;
};

}  // namespace vyx::ui
