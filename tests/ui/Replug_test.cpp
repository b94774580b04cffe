// SPDX-License-Identifier: GPL-3.0-or-later
// An adapter pulled out and plugged back in, played by a simulator reached through
// its link: the simulator ends (its terminal hangs up, its link goes) and a new
// one comes back under the same link, on another terminal, as a by-id link does.
#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <cmath>
#include <csignal>

#include "tests/support/FileText.h"
#include "tests/ui/WindowFixture.h"
#include "ui/RegisterModel.h"
#include "ui/Replug.h"
#include "ui/SignalList.h"
#include "ui/TextPane.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"
#include "ui/WarningArea.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class ReplugTest : public WindowTest {
protected:
    // The adapter plugged in: a simulator behind the link "adapter".
    void PlugIn(std::vector<std::string> options) {
        options.insert(options.end(), {"--noise", "0", "--name", "adapter"});
        StartSim(kSampleDevice, options);
        ASSERT_TRUE(fs::is_symlink(link.toStdString()));
    }
    // Pulled out: said at once in the result pane.
    void PullOut() {
        Sim().Stop(SIGINT);
        ASSERT_TRUE(WaitUntil([&] { return form->Memo1->Lines().contains("adapter odłączony: " + link); }))
            << form->Memo1->Lines().join("|").toStdString();
        ASSERT_FALSE(fs::exists(link.toStdString()));
    }
    void Open(std::vector<std::string> options) {
        NEEDS_SIMULATOR();
        link = QString::fromStdString((folder / "vyx" / "adapter").string());
        PlugIn(options);
        ChoosePort(link);
        ASSERT_TRUE(form->PortOpen());
        form->eWait->setText("3000");  // a busy machine may answer late; kept for the reopening
        Act([&] { form->eWaitExit(); });
        ChooseDevice(kSampleDevice);
    }
    QString link;
};

}  // namespace

TEST_F(ReplugTest, MonitoringAndItsRecordingResumeWithTheGapMarked) {
    Open({});
    ui::TTrendWindow* trend = form->Trend;
    fs::create_directories(folder / "rec");
    trend->SetRecording(true, QString::fromStdString((folder / "rec").string()));
    Click(u"R0");
    form->ePeriod->setText("100");
    form->cbMonitor->click();
    ASSERT_TRUE(WaitUntil([&] { return trend->Plot->GoodCount() >= 3; }));
    PullOut();
    EXPECT_EQ(form->stWarning->text(), "adapter odłączony: " + link);
    // The run waits with its box ticked; no reading is tried meanwhile.
    EXPECT_TRUE(form->cbMonitor->isChecked());
    EXPECT_FALSE(form->Timer1->isActive());
    const int before = trend->Plot->GoodCount();

    PlugIn({});
    ASSERT_TRUE(WaitUntil([&] { return trend->Plot->GoodCount() >= before + 3; }));
    EXPECT_TRUE(form->PortOpen());
    EXPECT_TRUE(form->stWarning->text().isEmpty()) << form->stWarning->text().toStdString();
    const QStringList lines = form->Memo1->Lines();
    const QRegularExpression gap(QStringLiteral("^przerwa w połączeniu: \\d\\d:\\d\\d:\\d\\d–\\d\\d:\\d\\d:\\d\\d$"));
    const QStringList gaps = lines.filter(gap);
    ASSERT_EQ(gaps.size(), 1) << lines.join("|").toStdString();
    EXPECT_FALSE(lines.join("|").contains("przerwano")) << lines.join("|").toStdString();

    // The plot: the span shaded, and the curve broken between the readings either side.
    EXPECT_EQ(trend->Plot->GapCount(), 1);
    const auto data = trend->Plot->ReadingsData();
    int breaks = 0;
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) breaks += std::isnan(it->value);
    EXPECT_GE(breaks, 1);
    EXPECT_FALSE(std::isnan((data->constEnd() - 1)->value));

    // The recording goes on in the same file, with the gap as a line of its own.
    form->cbMonitor->click();
    ASSERT_NE(trend->Recorder(), nullptr);
    const std::string csv = FileText(trend->Recorder()->CurrentFile());
    EXPECT_NE(csv.find(";;" + gaps[0].toStdString() + "\n"), std::string::npos) << csv;
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

// A running signal set waits while the adapter is away and goes on when it is back,
// its curve broken and its file given the gap as a round without values.
TEST_F(ReplugTest, ASignalSetResumesWithTheGapInItsFile) {
    Open({});
    ui::TTrendWindow* trend = form->Trend;
    TNode* r0 = form->Tree.FindRegisterByName(u"R0");
    ASSERT_NE(r0, nullptr);
    Act([&] { form->DodajDoWykresuClick(form->Model->IndexOf(r0)); });
    fs::create_directories(folder / "rec");
    trend->SetRecording(true, QString::fromStdString((folder / "rec").string()));
    trend->ePeriod->setText("100");
    trend->btStart->click();
    const auto rounds = [&] { return trend->Plot->CurveData(0)->size(); };
    ASSERT_TRUE(WaitUntil([&] { return rounds() >= 3; }));
    PullOut();
    EXPECT_TRUE(trend->SetRunning());
    PlugIn({});
    const auto before = rounds();
    ASSERT_TRUE(WaitUntil([&] { return rounds() >= before + 3; }));
    const QStringList gaps = form->Memo1->Lines().filter(QStringLiteral("przerwa w połączeniu: "));
    ASSERT_EQ(gaps.size(), 1);
    trend->btStart->click();
    const std::string csv = FileText(trend->Recorder()->CurrentFile());
    EXPECT_NE(csv.find(";;R0: " + gaps[0].toStdString() + "\n"), std::string::npos) << csv;
}

// A walk's results would mix two connections: it ends, and the adapter's return
// reopens the port without taking it up again.
TEST_F(ReplugTest, AWalkEndsAndStaysEnded) {
    Open({"--delay", "700"});  // some 6 s for the group
    Click(u"Pomiar");
    form->Run([&] { form->VTColumnDblClick(ui::kColName); });
    ASSERT_TRUE(WaitUntil([&] { return Undated(form->Memo1->Lines()).size() >= 1; }));
    ASSERT_TRUE(form->WalkMode());
    PullOut();
    ASSERT_TRUE(WaitUntil([&] { return !form->WalkMode() && form->Settled(); }));
    const QStringList lines = form->Memo1->Lines();
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^przerwano przy "))).size(), 1)
        << lines.join("|").toStdString();

    PlugIn({});
    ASSERT_TRUE(WaitUntil([&] { return form->PortOpen(); }));
    Settle();
    EXPECT_EQ(form->Memo1->Lines().size(), lines.size() + 1);  // the gap's line only
    EXPECT_TRUE(Last(form->Memo1->Lines()).startsWith("przerwa w połączeniu: "));
    EXPECT_EQ(form->Sequences.Activity(), TActivity::Idle);
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

// Past the time set, the wait ends with the monitoring run; an adapter back later
// is left alone.
TEST_F(ReplugTest, AnAdapterAwayLongerThanTheTimeSetEndsTheWait) {
    Open({});
    form->eReplug->setText("1");
    Act([&] { form->eReplugExit(); });
    Click(u"R0");
    form->ePeriod->setText("100");
    form->cbMonitor->click();
    ASSERT_TRUE(WaitUntil([&] { return form->Trend->Plot->GoodCount() >= 2; }));
    PullOut();
    ASSERT_TRUE(WaitUntil([&] { return !form->cbMonitor->isChecked(); }));
    const QStringList lines = form->Memo1->Lines();
    const qsizetype end = lines.indexOf("koniec oczekiwania na adapter: " + link);
    ASSERT_GE(end, 0) << lines.join("|").toStdString();
    EXPECT_EQ(lines.back(), "");  // the run closed as unticking closes it
    EXPECT_TRUE(form->stWarning->text().isEmpty());
    PlugIn({});
    Spin(2500);
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(form->Memo1->Lines(), lines);
}

// Windows may give an adapter another COM name when it is plugged back in. One
// with a serial number is still the same adapter: the port reopens under its new
// name and the field follows. Alike adapters without one are told apart by their
// names alone: another name is another adapter, left alone.
TEST_F(ReplugTest, AnAdapterBackUnderAnotherNameIsKnownByItsSerialNumber) {
    for (const std::string serial : {"A50285BI", ""}) {
        SCOPED_TRACE(serial);
        const QString moved = QString::fromStdString((folder / "vyx" / "moved").string());
        // This system names no USB ids: both names stand for one FTDI adapter here.
        form->Replug->Entries = [&] {
            std::vector<TPortEntry> entries;
            for (const QString& path : {link, moved})
                entries.push_back({.Path = path.toStdString(), .VendorId = 0x0403, .ProductId = 0x6001, .Serial = serial});
            return entries;
        };
        Open({});
        Click(u"R0");
        Act([&] { form->DodajDoWykresuClick(form->VT->currentIndex()); });
        form->ePeriod->setText("100");
        form->cbMonitor->click();
        ASSERT_TRUE(WaitUntil([&] { return form->Trend->Plot->GoodCount() >= 2; }));
        PullOut();
        const int before = form->Trend->Plot->GoodCount();
        StartSim(kSampleDevice, {"--noise", "0", "--name", "moved"});
        if (serial.empty()) {
            Spin(2500);
            EXPECT_FALSE(form->PortOpen());
            EXPECT_EQ(form->ComCBox->currentText(), link);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return form->Trend->Plot->GoodCount() >= before + 2; }));
            EXPECT_EQ(form->ComCBox->currentText(), moved);
            EXPECT_TRUE(form->Memo1->Lines().contains("adapter wrócił jako " + moved));
            EXPECT_EQ(form->Memo1->Lines().filter(QStringLiteral("przerwa w połączeniu: ")).size(), 1);
            // The port's signals went along: the set under the new name is the one added.
            EXPECT_EQ(form->Trend->Signals->Port(), moved);
            ASSERT_EQ(form->Trend->Signals->Signals().size(), 1);
            EXPECT_FALSE(form->Trend->Signals->All().contains(link));
        }
        form->cbMonitor->click();
        Sim().Stop(SIGINT);
    }
}
