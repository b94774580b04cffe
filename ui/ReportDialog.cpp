// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReportDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <optional>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "service/CalibrationRecord.h"
#include "service/ReportNumber.h"
#include "service/History.h"
#include "ui/Boxes.h"
#include "ui/ReportPages.h"

namespace vyx::ui {
namespace fs = std::filesystem;

namespace {

QString Q8(const std::string& utf8) { return QString::fromStdString(utf8); }

// The unit's serial number as left, else as found; empty when neither has it.
QString Serial(const service::TReportInput& input) {
    const std::string after = service::SnapshotSerial(input.After);
    return Q8(after.empty() ? service::SnapshotSerial(input.Before) : after);
}

}  // namespace

TReportDialog::TReportDialog(TBoxes& boxes, service::TReportInput input, const TReportSettings& remembered,
                             QWidget* parent)
    : QDialog(parent), boxes_(boxes), input_(std::move(input)), remembered_(remembered) {
    setWindowTitle(QStringLiteral("Raport serwisowy"));
    resize(1000, 700);
    eCompany = new QLineEdit(remembered.Company);
    eTechnician = new QLineEdit(remembered.Technician);
    // The site is this unit's, when it has been here before; notes are this visit's alone.
    eSite = new QLineEdit(remembered.Sites.value(Serial(input_)));
    eNotes = new QPlainTextEdit;
    eNotes->setMaximumHeight(80);
    eFolder = new QLineEdit(remembered.Folder);
    auto* btFolder = new QPushButton(QStringLiteral("…"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(eFolder, 1);
    folderRow->addWidget(btFolder);

    // Every register of the unit, ticked when it identifies it: as remembered
    // for this device file, else the read-only texts and the numbers, types and versions.
    lstIdentity = new QListWidget;
    const QString device = Q8(input_.After.Device);
    QStringList ticked = remembered.Identity.value(device);
    if (!remembered.Identity.contains(device))
        for (const service::TSnapshotRegister* r : service::DefaultIdentity(input_.After)) ticked << Q8(r->Name);
    QStringList seen;
    for (const service::TSnapshotRegister& r : input_.After.Registers) {
        if (seen.contains(Q8(r.Name))) continue;
        seen << Q8(r.Name);
        auto* item = new QListWidgetItem(Q8(r.Name), lstIdentity);
        item->setCheckState(ticked.contains(Q8(r.Name)) ? Qt::Checked : Qt::Unchecked);
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Firma serwisowa:"), eCompany);
    form->addRow(QStringLiteral("Technik:"), eTechnician);
    form->addRow(QStringLiteral("Miejsce:"), eSite);
    form->addRow(QStringLiteral("Uwagi:"), eNotes);
    form->addRow(QStringLiteral("Folder:"), folderRow);
    form->addRow(new QLabel(QStringLiteral("Rejestry identyfikujące urządzenie:")));
    form->addRow(lstIdentity);

    Preview = new QTextBrowser;
    Preview->setOpenLinks(false);
    stError = new QLabel;
    stError->setWordWrap(true);
    stError->setTextFormat(Qt::PlainText);  // paths and the system's words as they are
    stError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stError->setStyleSheet(QStringLiteral("color: #c00; font-weight: bold;"));
    stError->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    btSave = buttons->addButton(QStringLiteral("Zapisz raport"), QDialogButtonBox::AcceptRole);
    btPrint = buttons->addButton(QStringLiteral("Drukuj…"), QDialogButtonBox::ActionRole);

    auto* side = new QVBoxLayout;
    side->addLayout(form);
    auto* row = new QHBoxLayout;
    row->addLayout(side, 1);
    row->addWidget(Preview, 2);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row, 1);
    column->addWidget(stError);
    column->addWidget(buttons);

    for (QLineEdit* field : {eCompany, eTechnician, eSite})
        connect(field, &QLineEdit::textChanged, this, &TReportDialog::ShowPreview);
    connect(eNotes, &QPlainTextEdit::textChanged, this, &TReportDialog::ShowPreview);
    connect(lstIdentity, &QListWidget::itemChanged, this, &TReportDialog::ShowPreview);
    // A folder typed or chosen anew: the refusal of the last one no longer applies.
    connect(eFolder, &QLineEdit::textChanged, stError, &QWidget::hide);
    connect(eFolder, &QLineEdit::textChanged, this, &TReportDialog::ShowPreview);  // the number is the folder's
    // The folder's reports are searched once a folder is typed or chosen, not on
    // every key: half a path such as "/" would be a search of the whole disk.
    connect(eFolder, &QLineEdit::editingFinished, this, [this] {
        FindLastVisit();
        ShowPreview();
    });
    connect(btFolder, &QPushButton::clicked, this, [this] {
        if (const QString folder = boxes_.AskFolder(this, eFolder->text()); !folder.isEmpty()) {
            eFolder->setText(folder);
            FindLastVisit();
            ShowPreview();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btSave, &QPushButton::clicked, this, &TReportDialog::SaveClicked);
    connect(btPrint, &QPushButton::clicked, this, &TReportDialog::PrintClicked);
    FindLastVisit();
    ShowPreview();
}

void TReportDialog::SaveClicked() {
    // The refusal is only noted here: it is shown once nothing of the failed save
    // is on the stack any more, and without a box of its own, whose event loop
    // would let the readings and every other window run under this handler.
    std::optional<QString> refused;
    fs::path folder;
    try {
        folder = Save();
    } catch (const std::exception& e) {
        refused = QString::fromUtf8(PolishText(e));
    } catch (...) {
        refused = QStringLiteral("nieznany błąd zapisu");
    }
    if (refused) {
        ShowRefusal(*refused);
        return;
    }
    stError->clear();
    stError->hide();
    boxes_.ShowMessage(this, QStringLiteral("Zapisano raport w folderze:\r\n") + Q8(PathToUtf8(folder)));
    accept();
}

void TReportDialog::ShowRefusal(const QString& why) {
    stError->setText(QStringLiteral("Nie zapisano raportu: ") + ErrorBoxText(why));
    stError->show();
    // Without a folder the field that wants one takes the focus.
    if (eFolder->text().trimmed().isEmpty()) eFolder->setFocus(Qt::OtherFocusReason);
}

void TReportDialog::PrintClicked() {
    QPrinter printer(QPrinter::HighResolution);
    UseReportPage(printer);
    printer.setDocName(QStringLiteral("Raport serwisowy"));
    if (!boxes_.AskPrinter(this, printer)) return;
    std::optional<QString> refused;
    try {
        const service::TReportInput input = Input();
        if (PaintReport(Q8(service::ReportHtml(input)), Q8(input.Number), printer) == 0)
            refused = QStringLiteral("drukarka nie przyjęła wydruku");
    } catch (const std::exception& e) {
        refused = QString::fromUtf8(PolishText(e));
    }
    if (refused) {
        stError->setText(QStringLiteral("Nie wydrukowano raportu: ") + ErrorBoxText(*refused));
        stError->show();
    }
}

service::TReportInput TReportDialog::Input() const {
    service::TReportInput input = input_;
    input.Company = eCompany->text().trimmed().toStdString();
    input.Technician = eTechnician->text().trimmed().toStdString();
    input.Site = eSite->text().trimmed().toStdString();
    input.Notes = eNotes->toPlainText().trimmed().toStdString();
    input.Identity.clear();  // none ticked: the report takes the default identity
    for (int i = 0; i < lstIdentity->count(); ++i)
        if (lstIdentity->item(i)->checkState() == Qt::Checked) input.Identity.push_back(lstIdentity->item(i)->text().toStdString());
    input.Created = service::LocalTimeText();
    // The number the report would get in the folder as typed; the save takes it anew.
    const QString parent = eFolder->text().trimmed();
    try {
        if (!parent.isEmpty())
            input.Number = service::NextReportNumber(PathFromUtf8(parent.toStdString()), service::YearOf(input.Created));
    } catch (const std::exception&) {
        input.Number.clear();  // the save says why
    }
    input.SinceLast = sinceLast_;
    return input;
}

void TReportDialog::FindLastVisit() {
    sinceLast_.reset();
    const QString parent = eFolder->text().trimmed();
    const std::string serial = Serial(input_).toStdString();
    std::error_code ec;
    if (parent.isEmpty() || serial.empty() || !fs::is_directory(PathFromUtf8(parent.toStdString()), ec)) return;
    try {
        sinceLast_ = service::SinceLastVisit(service::UnitHistory(PathFromUtf8(parent.toStdString()), serial), input_.After);
    } catch (const std::exception&) {
        // A folder that cannot be read has no history to tell; the save says what is wrong with it.
    }
}

void TReportDialog::ShowPreview() {
    try {
        Preview->setHtml(Q8(service::ReportHtml(Input())));
    } catch (const std::exception& e) {
        Preview->setPlainText(QString::fromUtf8(e.what()));
    }
}

fs::path TReportDialog::Save() {
    const QString parentText = eFolder->text().trimmed();
    if (parentText.isEmpty()) throw Error("wybierz folder na raport");
    const fs::path parent = PathFromUtf8(parentText.toStdString());
    std::error_code ec;
    if (!fs::is_directory(parent, ec)) throw Error("folder " + PathToUtf8(parent) + " nie istnieje");
    FindLastVisit();  // reports saved since the preview count
    service::TReportInput input = Input();
    input.Number = service::NextReportNumber(parent, service::YearOf(input.Created));
    const std::string html = service::ReportHtml(input);  // refuses a bad identity before anything is made
    const std::string name = service::ReportFolderName(input.After);
    fs::path folder = parent / PathFromUtf8(name);
    for (int k = 2; fs::exists(folder, ec); ++k) folder = parent / PathFromUtf8(name + " (" + std::to_string(k) + ")");
    if (!fs::create_directory(folder, ec)) throw Error("nie można utworzyć folderu " + PathToUtf8(folder));
    try {
        SaveFileBytes(folder / "raport.html", html);
        SaveFileBytes(folder / "raport.pdf", ReportPdf(html, input.Number));
        SaveFileBytes(folder / service::kAsFoundFile, service::SnapshotToJson(input.Before).dump(2) + "\n");
        SaveFileBytes(folder / service::kAsLeftFile, service::SnapshotToJson(input.After).dump(2) + "\n");
        if (!input.Runs.empty())
            SaveFileBytes(folder / "kalibracja.json", service::RecordToJson(input.Runs).dump(2) + "\n");
        // What the unit's history shows of this visit.
        service::TVisitRecord visit{input.Created, input.Technician, input.Number, {}};
        for (const service::TCalibrationRun& run : input.Runs) visit.Points.push_back(run.Point);
        SaveFileBytes(folder / service::kVisitRecordFile, service::VisitRecordToJson(visit).dump(2) + "\n");
        service::RecordReportNumber(parent, input.Number, PathToUtf8(folder.filename()));
    } catch (...) {
        // The folder was made just now for this report: half a report is not left in it.
        fs::remove_all(folder, ec);
        throw;
    }
    return folder;
}

TReportSettings TReportDialog::Settings() const {
    TReportSettings s = remembered_;
    s.Company = eCompany->text();
    s.Technician = eTechnician->text();
    // A unit without a serial number cannot be known again: its site is not kept.
    if (const QString serial = Serial(input_); !serial.isEmpty()) {
        if (const QString site = eSite->text().trimmed(); site.isEmpty())
            s.Sites.remove(serial);
        else
            s.Sites[serial] = site;
    }
    s.Folder = eFolder->text();
    QStringList ticked;
    for (int i = 0; i < lstIdentity->count(); ++i)
        if (lstIdentity->item(i)->checkState() == Qt::Checked) ticked << lstIdentity->item(i)->text();
    s.Identity[Q8(input_.After.Device)] = ticked;
    return s;
}

}  // namespace vyx::ui
