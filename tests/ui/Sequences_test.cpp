// SPDX-License-Identifier: GPL-3.0-or-later
// Group walks, monitoring and calibration in the window, against the simulator.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class SequencesWindowTest : public WindowTest {
protected:
    void SetUp() override {
        ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
        ASSERT_TRUE(form->PortOpen());
        ChooseDevice(kSampleDevice);
    }
};

}  // namespace

TEST_F(SequencesWindowTest, DoubleClickOnAGroupWalksItAndIgnoresClicksMeanwhile) {
    TNode* group = Click(u"Kalibracja");
    bool treeEnabledDuringWalk = true;
    QTimer::singleShot(0, form.get(), [&] {
        treeEnabledDuringWalk = form->VT->isEnabled();
        Click(u"R0");  // ignored while the walk runs
    });
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_FALSE(treeEnabledDuringWalk);
    EXPECT_TRUE(form->VT->isEnabled());
    EXPECT_FALSE(form->WalkMode());
    EXPECT_EQ(form->Sequences.CurrentNode(), nullptr);
    const QStringList lines = Undated(form->Memo1->Lines());
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(group->ChildCount()));
    for (size_t i = 0; i < group->ChildCount(); ++i)
        EXPECT_TRUE(lines[static_cast<qsizetype>(i)].startsWith(QString::fromStdU16String(group->Child(i)->Record.Address)));
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(SequencesWindowTest, MonitoringAddsTimeStampedLines) {
    Click(u"R0");
    form->ePeriod->setText("50");  // too short: does not start
    form->cbMonitor->click();
    EXPECT_FALSE(form->cbMonitor->isChecked());
    EXPECT_FALSE(form->Timer1->isActive());

    form->ePeriod->setText("100");
    form->cbMonitor->click();
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_FALSE(form->VT->isEnabled());
    EXPECT_FALSE(form->Button1->isEnabled() || form->btReset->isEnabled());
    QTest::qWait(800);
    form->cbMonitor->click();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->VT->isEnabled());
    const QStringList lines = Undated(form->Memo1->Lines());
    ASSERT_GE(lines.size(), 5) << lines.join("|").toStdString();
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "30001  R0:");
    EXPECT_EQ(Last(lines), "");  // unticking adds an empty line too
    const QRegularExpression sample("^\\d\\d:\\d\\d:\\d\\d  1000$");
    for (qsizetype i = 2; i < lines.size() - 1; ++i) EXPECT_TRUE(sample.match(lines[i]).hasMatch()) << lines[i].toStdString();
}

// The window checks what it alone knows before monitoring starts: a register
// shown, and a period that is a number; either way the box unticks and nothing is sent.
TEST_F(SequencesWindowTest, MonitoringNeedsARegisterShownAndAPeriodThatIsANumber) {
    form->ePeriod->setText("100");
    form->cbMonitor->click();  // a device file loaded, no register clicked: "----"
    EXPECT_FALSE(form->cbMonitor->isChecked());
    EXPECT_EQ(form->stBar->text(), "Monitorowanie: najpierw kliknij rejestr w drzewie");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();

    Click(u"Pomiar");
    form->cbMonitor->click();
    EXPECT_EQ(form->stBar->text(), "Monitorowanie: wybierz rejestr, nie grupę ani bit");
    Click(u"R0");
    form->ePeriod->setText("50");
    form->cbMonitor->click();
    EXPECT_EQ(form->stBar->text(), "Monitorowanie: okres co najmniej 100 ms");
    EXPECT_FALSE(form->cbMonitor->isChecked());
    form->ePeriod->setText("sto");
    form->cbMonitor->click();
    EXPECT_FALSE(form->cbMonitor->isChecked());
    EXPECT_FALSE(form->Timer1->isActive());
    ASSERT_EQ(boxes.Errors.size(), 1);
    EXPECT_TRUE(boxes.Errors[0].startsWith("'sto' is not a valid integer value")) << boxes.Errors[0].toStdString();
    EXPECT_EQ(form->Transaction.RequestsSent(), 0u);
}

TEST_F(SequencesWindowTest, CalibrationPrintsItsSummaryAndZapiszWritesTheMean) {
    form->cbxKalibracja->setCurrentIndex(0);  // 100R
    form->eCount->setText("3");
    form->Button1->click();
    Settle();
    const QStringList lines = form->Memo1->Lines();
    EXPECT_TRUE(lines.contains("========           1000 ")) << lines.join("|").toStdString();
    EXPECT_TRUE(lines.contains("err:               0,000 "));
    EXPECT_EQ(form->eMed->text(), "1000");

    form->eMed->setText("1001");
    form->btZapisz->click();  // asked, and answered "Tak"
    Settle();
    EXPECT_EQ(boxes.Questions.size(), 1);
    EXPECT_EQ(form->Tree.FindRegisterByName(u"N100")->Record.Value, u"1001,00");  // read back
    EXPECT_EQ(Last(form->Memo1->Lines()), "N100: zweryfikowano");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

// A slow device: every reply comes 1.5 s after its request, time enough for the
// test to act while a read is out, even on a loaded machine.
class SlowDeviceTest : public WindowTest {
protected:
    void SetUp() override {
        ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0", "--delay", "1500"})));
        ASSERT_TRUE(form->PortOpen());
        SetTimeouts({30, 0, 5000, 0, 30});
        ChooseDevice(kSampleDevice);
    }
};

TEST_F(SlowDeviceTest, UntickingMidReadAbandonsItAndTheNextReadGetsItsOwnReply) {
    Click(u"R0");
    form->ePeriod->setText("100");
    form->cbMonitor->click();
    ASSERT_TRUE(WaitUntil([&] { return Last(form->Memo2->Lines()).startsWith("<"); }));  // the read is out
    form->cbMonitor->click();  // acts at once: the controls come back before the reply
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_EQ(Undated(form->Memo1->Lines()), (QStringList{"", "30001  R0:", ""}));
    TNode* pressure = Click(u"Ciśnienie");  // the abandoned read's reply has come meanwhile
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(pressure->Record.Value, u"1,25");
    EXPECT_EQ(form->Tree.FindRegisterByName(u"R0")->Record.Value, u"");  // never stored
    EXPECT_TRUE(form->Memo2->Lines().contains("> $F7040203E8719B (odrzucone)"))
        << form->Memo2->toPlainText().toStdString();
    EXPECT_EQ(Last(form->Memo1->Lines()), "30003  Ciśnienie   1,25");
}

TEST_F(SlowDeviceTest, ClosingMidWalkEndsItAtOnce) {
    Click(u"Pomiar");
    form->Run([&] { form->VTColumnDblClick(ui::kColName); });
    ASSERT_TRUE(WaitUntil([&] { return form->Memo1->Lines().size() >= 2; }));  // a reading or two in
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(form->Sequences.Activity(), TActivity::Idle);
    form.reset();  // the bus ends once the read out has
    EXPECT_LT(t.elapsed(), 20000);
}
