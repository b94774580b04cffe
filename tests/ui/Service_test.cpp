// SPDX-License-Identifier: GPL-3.0-or-later
// The "Serwis" menu against the simulator: the snapshots, read as a walk reads,
// cancelled with "Anuluj", refused without a port; the report of a visit.
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>

#include "tests/support/FileText.h"
#include "tests/ui/WindowFixture.h"
#include "ui/HistoryDialog.h"
#include "ui/ReportDialog.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class ServiceMenuTest : public WindowTest {};

}  // namespace

TEST_F(ServiceMenuTest, TheAsFoundStateReadsEveryRegisterAsAWalkShowsIt) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ChooseDevice(kSampleDevice);
    Act([&] { form->StanZastanyClick(); });
    ASSERT_TRUE(form->Visit.AsFound.has_value());
    EXPECT_TRUE(form->Visit.AsFound->Complete());
    EXPECT_EQ(form->Visit.AsFound->Device, "VXT-20F.dat");
    const QStringList lines = Undated(form->Memo1->Lines());
    const size_t count = form->Visit.AsFound->Registers.size();
    ASSERT_GE(lines.size(), static_cast<qsizetype>(count + 3));
    EXPECT_EQ(lines[1], "stan zastany:");
    EXPECT_EQ(Last(lines), QString("odczytano rejestrów: %1 z %1").arg(count));
    const service::TSnapshotRegister* r0 = form->Visit.AsFound->Find("R0", "30001");
    ASSERT_NE(r0, nullptr);
    EXPECT_EQ(QString::fromStdString(r0->Value), "1000");
    EXPECT_EQ(form->Tree.FindRegisterByName(u"R0")->Record.Value, u"1000");  // the tree shows it
    EXPECT_TRUE(lines.contains("30001  R0          1000"));
    EXPECT_TRUE(form->VT->isEnabled());
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(ServiceMenuTest, TheRegistersNotReadAreListedWithWhy) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0", "--exceptions", "1"})));
    ChooseDevice(kSampleDevice);
    Act([&] { form->StanZastanyClick(); });
    ASSERT_TRUE(form->Visit.AsFound.has_value());
    const qsizetype count = static_cast<qsizetype>(form->Visit.AsFound->Registers.size());
    const QStringList lines = Undated(form->Memo1->Lines());
    const qsizetype at = lines.indexOf(QString("odczytano rejestrów: 0 z %1").arg(count));
    ASSERT_GE(at, 0) << lines.join("|").toStdString();
    ASSERT_EQ(lines.size(), at + 1 + count);  // one line for each register, after the count
    EXPECT_TRUE(lines.contains("nieodczytany 30001 R0: wyjątek 4: awaria urządzenia"));
    for (qsizetype i = at + 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith("nieodczytany ")) << lines[i].toStdString();
}

TEST_F(ServiceMenuTest, AnulujKeepsNothingAndWithoutAPortNothingStarts) {
    NEEDS_SIMULATOR();
    ChooseDevice(kSampleDevice);
    Act([&] { form->StanZastanyClick(); });
    EXPECT_FALSE(form->Visit.AsFound.has_value());
    EXPECT_EQ(boxes.Messages, QStringList{"brak połączenia !"});

    // A slow device: "Anuluj" comes while its registers are being read. So does
    // reject() (a box dismissed from outside), which says nothing of "Anuluj" and
    // deletes the dialog: the read out ends there and no step reaches the dialog.
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--delay", "100"})));
    using TClose = void (QProgressDialog::*)();
    for (const TClose close : {TClose{&QProgressDialog::cancel}, TClose{&QProgressDialog::reject}}) {
        QTimer::singleShot(500, form.get(), [&] {
            ASSERT_NE(form->Visit.Progress.data(), nullptr);
            (form->Visit.Progress->*close)();
        });
        Act([&] { form->StanZastanyClick(); });
        EXPECT_FALSE(form->Visit.AsFound.has_value());
        EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano: anulowano");
        EXPECT_EQ(form->Visit.Progress.data(), nullptr);
        EXPECT_TRUE(form->VT->isEnabled());
    }
}

TEST_F(ServiceMenuTest, AVisitsReportHoldsTheVerifiedCalibrationAndItsPdfTheUnit) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ChooseDevice(kSampleDevice);
    Act([&] { form->StanZastanyClick(); });
    ASSERT_TRUE(form->Visit.AsFound.has_value());
    form->cbxKalibracja->setCurrentIndex(0);  // 100R
    form->eCount->setText("3");
    form->Button1->click();
    Settle();
    form->eMed->setText("1001");
    form->btZapisz->click();
    Settle();
    EXPECT_TRUE(form->Memo1->Lines().contains("N100: zweryfikowano")) << form->Memo1->Lines().join("|").toStdString();
    Act([&] { form->StanPozostawionyClick(); });
    ASSERT_TRUE(form->Visit.AsLeft.has_value());
    ASSERT_EQ(form->Visit.Runs.size(), 1U);
    ASSERT_TRUE(form->Visit.Runs[0].Write.has_value());
    EXPECT_TRUE(form->Visit.Runs[0].Write->Verified());

    service::TReportInput input;
    input.Before = *form->Visit.AsFound;
    input.After = *form->Visit.AsLeft;
    input.Runs = form->Visit.Runs;
    input.RunPlots = form->Visit.Plots;
    ui::TReportSettings remembered;
    remembered.Folder = QString::fromStdString(folder.string());
    ui::TReportDialog dialog(boxes, input, remembered, form.get());
    dialog.eTechnician->setText("Jan <script>Kowalski</script>");
    const fs::path made = dialog.Save();
    const fs::path again = dialog.Save();  // a second report of the same minute gets a folder of its own
    EXPECT_EQ(again.filename().string(), made.filename().string() + " (2)");
    // Each report of the folder numbered anew, the PDF as the HTML.
    EXPECT_NE(FileText(made / "raport.html").find("-0001</h1>"), std::string::npos);
    EXPECT_NE(FileText(again / "raport.html").find("-0002</h1>"), std::string::npos);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d_\\d{4}_VXT-20F_10234$")
                    .match(QString::fromStdString(made.filename().string()))
                    .hasMatch())
        << made;
    for (const char* file : {"raport.html", "stan-zastany.json", "stan-pozostawiony.json", "kalibracja.json"})
        EXPECT_TRUE(fs::is_regular_file(made / file)) << file;
    const std::string html = FileText(made / "raport.html");
    EXPECT_EQ(html.find("<script>Kowalski"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;Kowalski"), std::string::npos);

    // The run's readings under their heading, with the plot the window drew of it.
    EXPECT_NE(html.find("Odczyty kalibracji 1</h4>"), std::string::npos);
    EXPECT_NE(html.find("src=\"data:image/png;base64,iVBOR"), std::string::npos);
    // The unit's first visit in the folder; a later one finds it as its last.
    EXPECT_NE(html.find("Brak wcześniejszej wizyty"), std::string::npos);
    input.After.Time = "2099-01-01T10:00:00+01:00";
    const std::optional<service::TSinceLastVisit> since = ui::TReportDialog(boxes, input, remembered, form.get()).Input().SinceLast;
    ASSERT_TRUE(since && since->Found);
    EXPECT_TRUE(since->Report.starts_with("SR-")) << since->Report;

    // The PDF is readable, numbers its pages and names the unit and the changed register.
    const auto pdfText = [](const fs::path& file) {
        std::string text;
        if (FILE* pdf = popen(("pdftotext '" + file.string() + "' - 2>&1").c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = fread(buf, 1, sizeof buf, pdf)) > 0;) text.append(buf, n);
            pclose(pdf);
        }
        return text;
    };
    const std::string text = pdfText(made / "raport.pdf");
    EXPECT_TRUE(QRegularExpression("strona 1 z [2-9]").match(QString::fromStdString(text)).hasMatch()) << text;
    EXPECT_NE(text.find("10234"), std::string::npos) << text;
    EXPECT_NE(text.find("N100"), std::string::npos) << text;
    EXPECT_NE(text.find("1001,00"), std::string::npos) << text;
    for (const char* said : {"Protokół serwisowy nr SR-", "Technik", "Klient", "Podpis"})
        EXPECT_NE(text.find(said), std::string::npos) << said;
    EXPECT_EQ(dialog.Settings().Identity.value("VXT-20F.dat").isEmpty(), false);
    // "Drukuj…" prints the same pages.
    boxes.PrintTo = QString::fromStdString((folder / "wydruk.pdf").string());
    dialog.btPrint->click();
    EXPECT_NE(pdfText(folder / "wydruk.pdf").find("Protokół serwisowy nr SR-"), std::string::npos);

    // Beside each report its visit record, which the unit's history shows.
    const std::optional<service::TVisitRecord> record = service::LoadVisitRecord(made / service::kVisitRecordFile);
    ASSERT_TRUE(record.has_value());
    // The report's own number: the first of the folder, the second visit's the next.
    EXPECT_TRUE(record->Report.starts_with("SR-") && record->Report.ends_with("-0001")) << record->Report;
    EXPECT_EQ(record->Technician, "Jan <script>Kowalski</script>");
    EXPECT_EQ(record->Points, std::vector<std::string>{"100R"});
    ui::THistoryDialog history(service::UnitHistory(folder, "10234"), form.get());
    ASSERT_EQ(history.tblVisits->rowCount(), 2);
    EXPECT_EQ(history.tblVisits->item(1, 2)->text().toStdString(), record->Report.substr(0, 7) + "-0002");
    fs::path opened;
    history.OpenReport = [&](const fs::path& file) { opened = file; };
    qobject_cast<QPushButton*>(history.tblVisits->cellWidget(1, 3))->click();
    EXPECT_EQ(opened, again / "raport.html");
}

TEST_F(ServiceMenuTest, AnulujWhileTheProgressShowsTheNextRegisterEndsTheReadOutThere) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ChooseDevice(kSampleDevice);
    // "Anuluj" pressed as the bar moves to the third register: the modal progress
    // dialog handles the click inside its setValue.
    QTimer::singleShot(0, form.get(), [&] {
        ASSERT_NE(form->Visit.Progress.data(), nullptr);
        QProgressDialog* progress = form->Visit.Progress;
        auto* bar = progress->findChild<QProgressBar*>();
        QPushButton* anuluj = progress->findChild<QPushButton*>();
        ASSERT_TRUE(bar && anuluj);
        QObject::connect(bar, &QProgressBar::valueChanged, anuluj, [anuluj](int v) {
            if (v == 3) QMetaObject::invokeMethod(anuluj, &QPushButton::click, Qt::QueuedConnection);
        });
    });
    Act([&] { form->StanZastanyClick(); });
    EXPECT_FALSE(form->Visit.AsFound.has_value());
    EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano: anulowano");
    EXPECT_EQ(form->Visit.Progress.data(), nullptr);
}

TEST_F(ServiceMenuTest, TheNextReportKeepsTheCompanyAndEachUnitsSiteButNeverTheNotes) {
    const auto unit = [](const char* serial) {
        service::TSnapshot s;
        s.Device = "VXT-20F.dat";
        s.Time = "2026-12-09T00:36:09+00:00";
        s.Registers = {{"Numer fabryczny", "40059", "WORD", "1", "RO", serial, {1}, "", ""}};
        service::TReportInput input;
        input.Before = input.After = s;
        return input;
    };
    ui::TReportSettings remembered;
    // One visit after another: 10234, then 20777, then 10234 again.
    const struct {
        const char *serial, *siteShown, *siteTyped;
    } visits[] = {{"10234", "", "Gdańsk, Zbiornik 1"}, {"20777", "", "Kraków"}, {"10234", "Gdańsk, Zbiornik 1", nullptr}};
    for (const auto& v : visits) {
        ui::TReportDialog dialog(boxes, unit(v.serial), remembered, form.get());
        EXPECT_EQ(dialog.eSite->text(), QString::fromUtf8(v.siteShown)) << v.serial;
        EXPECT_EQ(dialog.eNotes->toPlainText(), QString()) << v.serial;
        EXPECT_EQ(dialog.eCompany->text(), remembered.Company);
        if (remembered.Company.isEmpty()) dialog.eCompany->setText(QStringLiteral("Serwis Żółć sp. z o.o."));
        if (v.siteTyped) dialog.eSite->setText(QString::fromUtf8(v.siteTyped));
        dialog.eNotes->setPlainText(QStringLiteral("wymiana czujnika u klienta ") + v.serial);
        remembered = dialog.Settings();
    }
    EXPECT_EQ(remembered.Company, QStringLiteral("Serwis Żółć sp. z o.o."));
    // Through the settings file; an older file's one site and notes are of no unit and are passed over.
    const QString path = QString::fromStdString((folder / "report.ini").string());
    ui::TWindowSettings written;
    written.Report = remembered;
    ASSERT_TRUE(ui::WriteSettings(written, path));
    EXPECT_EQ(ui::ReadSettings(path).Report, remembered);
    {
        QSettings old(path, QSettings::IniFormat);
        old.setValue("report/site", "Poznań");
        old.setValue("report/notes", "stare uwagi");
    }
    EXPECT_EQ(ui::ReadSettings(path).Report, remembered);
    const QMap<QString, QString> sites{{"10234", QStringLiteral("Gdańsk, Zbiornik 1")}, {"20777", "Kraków"}};
    EXPECT_EQ(remembered.Sites, sites);
}
