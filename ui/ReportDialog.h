// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Raport serwisowy…": the service company, the technician, the unit's site
// (remembered by its serial number) and this visit's notes, the folder the
// report goes under and the registers that identify the unit, with the report
// previewed as it will be saved, with what changed since the unit's last visit
// among the reports under that folder. "Drukuj…" prints it. Saving makes a new folder named by the date and
// time, the device file and the unit's serial number, and writes into it the
// report as HTML and PDF, both snapshots, the calibration record and the visit
// record that the unit's history reads (service/History.h), each by the
// program's safe save; the report's number, the next of the chosen folder, is
// then added to that folder's index (ReportNumber.h). A save that is refused (no folder, a folder that is not
// there, a file that cannot be written) says why in the dialog's own error line
// and leaves the dialog as it was, to choose another folder or try again.
#include <QDialog>
#include <QStringList>
#include <filesystem>
#include <optional>

#include "service/Report.h"
#include "ui/Settings.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTextBrowser;

namespace vyx::ui {

class TBoxes;

class TReportDialog : public QDialog {
public:
    // `input` holds the snapshots and the runs; the dialog adds what is typed.
    TReportDialog(TBoxes& boxes, service::TReportInput input, const TReportSettings& remembered, QWidget* parent);

    QLineEdit* eCompany;
    QLineEdit* eTechnician;
    QLineEdit* eSite;
    QPlainTextEdit* eNotes;
    QLineEdit* eFolder;
    QListWidget* lstIdentity;  // every register of the unit; the ticked ones identify it
    QTextBrowser* Preview;
    QLabel* stError;  // why the last save was refused; hidden while there is nothing to say
    QPushButton* btSave;
    QPushButton* btPrint;

    // The input as the fields and ticks now make it.
    service::TReportInput Input() const;
    // Writes the folder of the report under eFolder's folder; the folder made.
    // Throws vyx::Error, naming what could not be written.
    std::filesystem::path Save();
    // "Zapisz raport": saves, says where and closes; a refused save says why in
    // stError and the dialog stays. Nothing it meets leaves it as an exception.
    void SaveClicked();
    // "Drukuj…": the report through the system's print dialog, paged as the PDF.
    void PrintClicked();
    // What the next report starts with: the company, the technician, the folder,
    // this unit's site and the identity for this device file; never the notes.
    TReportSettings Settings() const;

private:
    void ShowPreview();
    void ShowRefusal(const QString& why);
    // Looks for the unit's last visit among the reports under eFolder's folder;
    // none without a folder or a serial number.
    void FindLastVisit();

    TBoxes& boxes_;
    service::TReportInput input_;
    TReportSettings remembered_;
    std::optional<service::TSinceLastVisit> sinceLast_;
};

}  // namespace vyx::ui
