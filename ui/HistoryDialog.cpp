// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistoryDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "base/Text.h"

namespace vyx::ui {
namespace fs = std::filesystem;

namespace {

QString Q8(const std::string& utf8) { return QString::fromStdString(utf8); }

QTableWidget* Table(int rows, const QStringList& heads) {
    auto* t = new QTableWidget(rows, static_cast<int>(heads.size()));
    t->setHorizontalHeaderLabels(heads);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void Cell(QTableWidget* t, int row, int column, const QString& text) { t->setItem(row, column, new QTableWidgetItem(text)); }

}  // namespace

THistoryDialog::THistoryDialog(service::THistory history, QWidget* parent)
    : QDialog(parent), history_(std::move(history)) {
    setWindowTitle(QStringLiteral("Historia jednostki ") + Q8(history_.Serial));
    resize(900, 600);
    OpenReport = [](const fs::path& file) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q8(PathToUtf8(file))));
    };
    const auto& visits = history_.Visits;
    stSummary = new QLabel;
    stSummary->setTextFormat(Qt::PlainText);
    stSummary->setWordWrap(true);
    QString summary = QStringLiteral("Numer fabryczny %1: wizyt %2, zmienionych rejestrów zapisywalnych %3.")
                          .arg(Q8(history_.Serial))
                          .arg(visits.size())
                          .arg(history_.Changed.size());
    if (!history_.PassedOver.empty())
        summary += QStringLiteral(" Pominięto nieczytelnych stanów: %1.").arg(history_.PassedOver.size());
    stSummary->setText(summary);

    tblVisits = Table(static_cast<int>(visits.size()),
                      {QStringLiteral("Data"), QStringLiteral("Technik"), QStringLiteral("Numer raportu"),
                       QStringLiteral("Raport")});
    for (int row = 0; row < static_cast<int>(visits.size()); ++row) {
        const service::TVisit& v = visits[static_cast<size_t>(row)];
        Cell(tblVisits, row, 0, Q8(v.Date()));
        Cell(tblVisits, row, 1, v.Record ? Q8(v.Record->Technician) : QString());
        Cell(tblVisits, row, 2, v.Record ? Q8(v.Record->Report) : QString());
        tblVisits->item(row, 0)->setToolTip(Q8(PathToUtf8(v.Folder)));
        auto* open = new QPushButton(QStringLiteral("Otwórz raport"));
        open->setEnabled(!ReportOf(row).empty());
        connect(open, &QPushButton::clicked, this, [this, row] {
            if (const fs::path file = ReportOf(row); !file.empty() && OpenReport) OpenReport(file);
        });
        tblVisits->setCellWidget(row, 3, open);
    }
    tblVisits->resizeColumnsToContents();
    tblVisits->horizontalHeader()->setStretchLastSection(false);  // a button as wide as its text

    QStringList heads{QStringLiteral("Rejestr")};
    for (const service::TVisit& v : visits) heads << Q8(v.Date());
    tblRegisters = Table(static_cast<int>(history_.Changed.size()), heads);
    for (int row = 0; row < static_cast<int>(history_.Changed.size()); ++row) {
        const service::TRegisterHistory& r = history_.Changed[static_cast<size_t>(row)];
        Cell(tblRegisters, row, 0, Q8(r.Address + "  " + r.Name));
        for (size_t v = 0; v < r.At.size(); ++v)
            Cell(tblRegisters, row, static_cast<int>(v) + 1, Q8(service::HistoryValue(r.At[v])));
    }
    tblRegisters->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addWidget(stSummary);
    column->addWidget(tblVisits, 1);
    column->addWidget(new QLabel(QStringLiteral("Zmienione rejestry zapisywalne:")));
    column->addWidget(tblRegisters, 2);
    column->addWidget(buttons);
}

fs::path THistoryDialog::ReportOf(int row) const {
    if (row < 0 || row >= static_cast<int>(history_.Visits.size())) return {};
    for (const char* name : {"raport.html", "raport.pdf"}) {
        fs::path file = history_.Visits[static_cast<size_t>(row)].Folder / name;
        std::error_code ec;
        if (fs::is_regular_file(file, ec)) return file;
    }
    return {};
}

}  // namespace vyx::ui
