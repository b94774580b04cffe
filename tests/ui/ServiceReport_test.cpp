// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a service visit with the toolkit's own dialogs, each a nested event
// loop in which monitoring readings keep arriving: the report dialog refuses a
// save without ending anything and stays usable.
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "tests/ui/WindowFixture.h"
#include "ui/ReportDialog.h"
#include "ui/TextPane.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

using namespace vyx;
using namespace vyx::test;

namespace {

// Runs `act` on the modal window of type T once it has been up for `afterMs`,
// checking on a timer that goes with `context`; nothing when none comes within a
// minute. `every`: on each such window, for as long as `context` lives.
template <class T>
void WhenModal(QObject* context, int afterMs, std::function<void(T*)> act, bool every = false) {
    auto* poll = new QTimer(context);
    auto waited = std::make_shared<QElapsedTimer>();
    auto up = std::make_shared<QElapsedTimer>();
    waited->start();
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [=] {
        T* modal = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (!modal) up->invalidate();
        else if (!up->isValid()) up->start();
        if (modal ? up->elapsed() < afterMs : every || waited->elapsed() < 60000) return;
        if (every) {
            up->invalidate();
            act(modal);
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (modal) act(modal);
    });
    poll->start();
}

class ServiceReportTest : public WindowTest {
protected:
    ServiceReportTest() {
        form.reset();
        form = std::make_unique<ui::TForm1>(real, folder / "bin" / "vyx-cfg");
    }
    ui::TDialogBoxes real;
};

}  // namespace

TEST_F(ServiceReportTest, ARefusedSaveSaysWhyInTheDialogWhileReadingsArriveAndTheDialogStaysUsable) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ASSERT_TRUE(form->PortOpen());
    ChooseDevice(kSampleDevice);
    form->show();
    form->Trend->Open();
    Act([&] { form->StanZastanyClick(); });
    form->cbxKalibracja->setCurrentIndex(1);  // 400R
    form->eCount->setText("3");
    form->Button1->click();
    Settle();
    // "Zapisz" asks first: "Tak".
    WhenModal<QMessageBox>(form.get(), 0, [](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QStringLiteral("Tak")) b->click();
    });
    form->btZapisz->click();
    Settle();
    ASSERT_TRUE(Last(form->Memo1->Lines()).startsWith("N400: zweryfikowano")) << Last(form->Memo1->Lines()).toStdString();
    Act([&] { form->StanPozostawionyClick(); });
    ASSERT_TRUE(form->Visit.AsFound && form->Visit.AsLeft);
    ASSERT_EQ(form->Visit.Runs.size(), 1U);
    Click(u"R0");
    form->ePeriod->setText("100");
    form->cbMonitor->click();
    ASSERT_TRUE(form->Timer1->isActive());

    const fs::path reports = folder / "raporty";
    fs::create_directories(reports);
    QStringList refusals, shownBoxes;
    int readingsMeanwhile = 0;
    WhenModal<ui::TReportDialog>(form.get(), 0, [&](ui::TReportDialog* dialog) {
        dialog->eTechnician->setText(QStringLiteral("Łukasz Żółć"));
        dialog->eSite->setText(QStringLiteral("Gdańsk, ul. Źródlana"));
        dialog->eFolder->clear();
        // A refusal is no box: each that came would be closed, and counted, after 20 s.
        WhenModal<QMessageBox>(
            form.get(), 20000,
            [&](QMessageBox* box) {
                shownBoxes << box->text();
                box->reject();
            },
            true);
        // The folder dialog is cancelled once a reading has come under it.
        const int before = form->Trend->Plot->GoodCount();
        WhenModal<QFileDialog>(form.get(), 300, [&](QFileDialog* d) {
            QElapsedTimer t;
            t.start();
            while (form->Trend->Plot->GoodCount() == before && t.elapsed() < 60000) QTest::qWait(20);
            readingsMeanwhile = form->Trend->Plot->GoodCount() - before;
            d->reject();
        });
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("…")) b->click();
        dialog->btSave->click();
        refusals << (dialog->isVisible() && dialog->stError->isVisible() ? dialog->stError->text() : QString());
        dialog->eFolder->setText(QString::fromStdString((folder / "nie ma").string()));
        dialog->btSave->click();
        refusals << (dialog->isVisible() && dialog->stError->isVisible() ? dialog->stError->text() : QString());
        // The same dialog then saves, and its box says where.
        dialog->eFolder->setText(QString::fromStdString(reports.string()));
        WhenModal<QMessageBox>(form.get(), 500, [&](QMessageBox* box) {
            shownBoxes << box->text();
            box->accept();
        });
        dialog->btSave->click();
        if (dialog->isVisible()) dialog->reject();  // a failure above leaves it open
    });
    Act([&] { form->RaportClick(); });
    ASSERT_EQ(refusals.size(), 2);
    EXPECT_EQ(refusals[0], QStringLiteral("Nie zapisano raportu: wybierz folder na raport."));
    EXPECT_TRUE(refusals[1].startsWith(QStringLiteral("Nie zapisano raportu: folder "))) << refusals[1].toStdString();
    EXPECT_TRUE(refusals[1].endsWith(QStringLiteral("nie ma nie istnieje."))) << refusals[1].toStdString();
    ASSERT_EQ(shownBoxes.size(), 1) << shownBoxes.join("|").toStdString();
    EXPECT_TRUE(shownBoxes[0].startsWith(QStringLiteral("Zapisano raport w folderze:"))) << shownBoxes[0].toStdString();
    // One report's folder, and the index of its number beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(reports), fs::directory_iterator()), 2);
    EXPECT_TRUE(fs::is_regular_file(reports / "numery-raportow.txt"));
    EXPECT_EQ(form->Visit.Report.Technician, QStringLiteral("Łukasz Żółć"));
    // Monitoring went on under the dialogs.
    EXPECT_GT(readingsMeanwhile, 0);
    EXPECT_TRUE(form->Timer1->isActive());
    form->cbMonitor->click();
    Settle();
}
