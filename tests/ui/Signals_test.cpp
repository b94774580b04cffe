// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window's set of signals over a line of two simulated units: added
// from the tree, read in rounds with one unit missing, judged one by one,
// recorded with the set's header, measured between two markers, kept per port.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "tests/support/FileText.h"
#include "tests/ui/WindowFixture.h"
#include "ui/SignalList.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class SignalsWindowTest : public WindowTest {
protected:
    void Add(const char* slave, std::u16string_view name) {
        form->eSlave->setText(slave);
        TNode* node = form->Tree.FindRegisterByName(name);
        ASSERT_NE(node, nullptr);
        Act([&] { form->DodajDoWykresuClick(form->Model->IndexOf(node)); });
    }
};

}  // namespace

TEST_F(SignalsWindowTest, ARoundReadsEverySignalAFailureMarksOnlyItsCurve) {
    NEEDS_SIMULATOR();
    const QString port = QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0", "--unit", kSampleDevice + ":12"}));
    ChoosePort(port);
    ChooseDevice(kSampleDevice);
    ui::TTrendWindow* trend = form->Trend;
    Add("247", u"R0");
    Add("247", u"Prąd wyjściowy");
    Add("12", u"R0");
    Add("13", u"R0");  // nobody answers there
    Add("12", u"R0");  // listed already: not again
    ASSERT_EQ(trend->Signals->Signals().size(), 4);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_EQ(trend->Signals->View->topLevelItem(2)->text(ui::TSignalList::kColUnit), "@12 VXT-20F.dat");

    trend->eN->setText("3");
    trend->eTolerance->setText("0,5");
    fs::create_directories(folder / "rec");
    trend->SetRecording(true, QString::fromStdString((folder / "rec").string()));
    trend->ePeriod->setText("100");
    trend->btStart->click();
    ASSERT_TRUE(trend->SetRunning());
    ASSERT_TRUE(WaitUntil([&] { return trend->SetStability().size() == 4 && trend->SetStability()[2].Stable(); }));
    trend->btStart->click();
    EXPECT_FALSE(trend->SetRunning());

    ASSERT_EQ(trend->Plot->CurveCount(), 4);
    const auto r0 = trend->Plot->CurveData(0);
    EXPECT_EQ(r0->constBegin()->value, 1000);
    EXPECT_TRUE(trend->Plot->CurveData(3)->isEmpty());  // no reading ever came: only its marks
    // The status names the one signal that never settles; the round outlasts the period.
    const QString status = trend->stStatus->text();
    EXPECT_TRUE(status.contains("niestabilne: R0 @13")) << status.toStdString();
    EXPECT_FALSE(status.contains("R0 @247")) << status.toStdString();

    // The recording: the set's header, then a line per round with the missing unit named.
    ASSERT_NE(trend->Recorder(), nullptr) << trend->stStatus->text().toStdString();
    const QStringList lines =
        QString::fromStdString(FileText(trend->Recorder()->CurrentFile())).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("czas;R0 [")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("] @13;przyczyna")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(";1000;4,05;1000;;R0 @13: brak odpowiedzi urządzenia")) << lines[1].toStdString();

    // "Zapisz CSV" writes from the plot what the recording wrote as it came.
    boxes.SaveAs = QString::fromStdString((folder / "set.csv").string());
    trend->SaveCsv();
    EXPECT_EQ(FileText(folder / "set.csv"), FileText(trend->Recorder()->CurrentFile()));

    // Two markers: the time between them and each curve's values.
    const double last = (r0->constEnd() - 1)->key;
    trend->Plot->SetMarker(0, r0->constBegin()->key);
    trend->Plot->SetMarker(1, last);
    EXPECT_TRUE(trend->lbMarkers->text().startsWith("Δt = ")) << trend->lbMarkers->text().toStdString();
    ASSERT_EQ(trend->twMarkers->topLevelItemCount(), 4);
    ASSERT_GE(trend->twMarkers->topLevelItem(1)->columnCount(), 7);
    const QTreeWidgetItem* current = trend->twMarkers->topLevelItem(1);
    // A steady current: the same at both markers, and no difference.
    EXPECT_TRUE(current->text(1).startsWith("4,050000")) << current->text(1).toStdString();
    for (int c : {2, 4, 5, 6}) EXPECT_EQ(current->text(c), current->text(1)) << c;
    EXPECT_EQ(current->text(3), "0,00000000");
    EXPECT_EQ(trend->twMarkers->topLevelItem(3)->text(1), "");

    // Kept per port: another port shows none, and the settings hold them.
    EXPECT_EQ(form->CurrentSettings().Trend.Signals.value(trend->Signals->Port()).size(), 4);
    trend->ShowPort("/dev/elsewhere");
    EXPECT_TRUE(trend->Signals->Signals().isEmpty());
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}
