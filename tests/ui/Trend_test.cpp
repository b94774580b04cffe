// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window fed by monitoring and calibration runs against the simulator.
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <bit>
#include <csignal>
#include <functional>

#include "tests/support/FileText.h"
#include "tests/support/ScriptedLine.h"
#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"
#include "ui/WarningArea.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class TrendTest : public WindowTest {
protected:
    void Start(std::vector<std::string> simOptions) {
        NEEDS_SIMULATOR();
        ChoosePort(QString::fromStdString(StartSim(kSampleDevice, std::move(simOptions))));
        ASSERT_TRUE(form->PortOpen());
        ChooseDevice(kSampleDevice);
        trend = form->Trend;
    }
    void SetRule(const QString& n, const QString& tolerance) {
        trend->eN->setText(n);
        trend->eTolerance->setText(tolerance);
        emit trend->eTolerance->editingFinished();
    }
    void Monitor(bool on) {
        if (on) {
            Click(u"R0");
            form->ePeriod->setText("100");
        }
        form->cbMonitor->click();
        ASSERT_EQ(form->Timer1->isActive(), on);
    }
    ui::TTrendWindow* trend = nullptr;
};

const QRegularExpression kCsvLine(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3};(\\d+;|;\\S.*)$"));

}  // namespace

TEST_F(TrendTest, MonitoringPlotsReadingsAndFailuresFollowsAndJudgesStability) {
    Start({"--noise", "3", "--crc-errors", "0.2"});
    form->btWykres->click();
    EXPECT_TRUE(trend->isVisible());
    SetRule("3", "100");
    fs::create_directories(folder / "rec");
    trend->SetRecording(true, QString::fromStdString((folder / "rec").string()));
    Monitor(true);
    ASSERT_TRUE(WaitUntil([&] { return trend->Plot->GoodCount() >= 20 && trend->Plot->FailureCount() >= 2; }));
    ASSERT_TRUE(WaitUntil([&] { return trend->Stability().Stable(); }));
    EXPECT_TRUE(trend->stStatus->text().startsWith("stabilny od ")) << trend->stStatus->text().toStdString();
    const QColor band = trend->Plot->Band()->brush().color();
    EXPECT_TRUE(trend->Plot->Band()->visible() && band.green() > band.red()) << band.name().toStdString();
    // Following: the newest reading is in view.
    const double newest = (trend->Plot->ReadingsData()->constEnd() - 1)->key;
    EXPECT_TRUE(trend->cbAuto->isChecked());
    EXPECT_TRUE(trend->Plot->xAxis->range().contains(newest));

    // A tolerance no noise meets: amber once N readings are in. Five equal
    // readings of the noisy R0 do happen (once in some 1500 windows) and settle
    // it for a moment; the next reading unsettles it again.
    SetRule("5", "0");
    ASSERT_TRUE(WaitUntil([&] { return trend->Stability().Run() == 5 && !trend->Stability().Stable(); }));
    EXPECT_TRUE(trend->stStatus->text().startsWith("niestabilny: rozrzut ")) << trend->stStatus->text().toStdString();
    EXPECT_FALSE(trend->Plot->Band()->brush().color().green() > trend->Plot->Band()->brush().color().red());
    Monitor(false);

    // The failures the result pane counts are the plot's marks; the rest are its points.
    const QRegularExpression summary(QStringLiteral("^nieudane odczyty: (\\d+) z (\\d+)$"));
    QRegularExpressionMatch m;
    for (const QString& line : form->Memo1->Lines())
        if (summary.match(line).hasMatch()) m = summary.match(line);
    ASSERT_TRUE(m.hasMatch());
    EXPECT_EQ(trend->Plot->FailureCount(), m.captured(1).toInt());
    EXPECT_EQ(trend->Plot->GoodCount(), m.captured(2).toInt() - m.captured(1).toInt());

    // "Zapisz CSV" writes what the plot holds, in the recording's very format.
    boxes.SaveAs = QString::fromStdString((folder / "plot.csv").string());
    trend->SaveCsv();
    const std::string saved = FileText(folder / "plot.csv");
    const QStringList lines = QString::fromStdString(saved).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), trend->Plot->GoodCount() + trend->Plot->FailureCount());
    for (const QString& line : lines) EXPECT_TRUE(kCsvLine.match(line).hasMatch()) << line.toStdString();
    EXPECT_TRUE(saved.find(";;błąd CRC odpowiedzi\n") != std::string::npos) << saved;
    boxes.SaveAs = QString::fromStdString((folder / "plot.png").string());
    trend->SaveImage();
    EXPECT_EQ(FileText(folder / "plot.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    ASSERT_NE(trend->Recorder(), nullptr);
    EXPECT_EQ(FileText(trend->Recorder()->CurrentFile()), saved);
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(TrendTest, ASettlingSignalTurnsTheBandGreenOnlyOnceItHasSettled) {
    // R0 rises from 0 towards 1000 with a time constant of 1,5 s: its first five
    // readings spread far beyond 2 for some 7 s after the simulator starts.
    Start({"--noise", "0", "--settle", "1,5"});
    SetRule("5", "2");
    Monitor(true);
    ASSERT_TRUE(WaitUntil([&] { return trend->Stability().Run() == 5; }));
    EXPECT_FALSE(trend->Stability().Stable());
    EXPECT_TRUE(trend->stStatus->text().startsWith("niestabilny")) << trend->stStatus->text().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return trend->Stability().Stable(); }));
    EXPECT_TRUE(trend->stStatus->text().startsWith("stabilny od ")) << trend->stStatus->text().toStdString();
    Monitor(false);
    const auto data = trend->Plot->ReadingsData();
    EXPECT_LT(data->constBegin()->value + 2, (data->constEnd() - 1)->value);
    // Settled within the rule: some 8 below 1000, still rising less than 2 in 0,4 s.
    EXPECT_GT((data->constEnd() - 1)->value, 980);
}

// No box opens inside a reading: the recording stops, both windows say why,
// and monitoring goes on.
TEST_F(TrendTest, RecordingThatCannotWriteStopsWithAnErrorAndMonitoringGoesOn) {
    Start({"--noise", "0"});
    trend->SetRecording(true, QString::fromStdString((folder / "no such folder").string()));
    Monitor(true);
    ASSERT_TRUE(WaitUntil([&] { return !trend->Recording(); }));
    EXPECT_FALSE(trend->btRecord->isChecked());
    // In Polish, in the lasting warnings' area, which no transaction clears.
    const QString why = "nagrywanie przerwane: Nie można utworzyć pliku \"" +
                        QString::fromStdString((folder / "no such folder").string());
    EXPECT_TRUE(form->stWarning->text().startsWith(why)) << form->stWarning->text().toStdString();
    EXPECT_TRUE(form->stWarning->text().endsWith(": nie ma takiego pliku ani folderu"));
    EXPECT_TRUE(trend->stStatus->text().contains(why)) << trend->stStatus->text().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return trend->Plot->GoodCount() >= 3; }));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
    EXPECT_TRUE(form->stWarning->isVisibleTo(form.get()));
    Monitor(false);
    trend->SetRecording(false);  // switched off by hand: the warning has done its work
    EXPECT_TRUE(form->stWarning->text().isEmpty());
}

// A port that vanishes under monitoring (the adapter pulled) ends the run with
// its lines in the result pane, and no box opens in the middle of it.
TEST_F(TrendTest, APortThatVanishesEndsMonitoringWithItsLinesAndNoBox) {
    Start({"--noise", "0"});
    Monitor(true);
    ASSERT_TRUE(WaitUntil([&] { return form->Memo1->Lines().size() >= 4; }));
    Sim().Stop(SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return !form->Timer1->isActive(); }));
    EXPECT_FALSE(form->cbMonitor->isChecked());
    // The reading the port went under fails, or the next one cannot be sent.
    const QStringList lines = form->Memo1->Lines();
    const qsizetype at = lines.indexOf("przerwano: port zamknięty");
    ASSERT_GE(at, 0) << lines.join("|").toStdString();
    EXPECT_TRUE(at == lines.size() - 2 || lines[at + 1].startsWith("nieudane odczyty: 1 z "));
    EXPECT_EQ(lines.back(), "");
    EXPECT_TRUE(boxes.Messages.isEmpty() && boxes.Errors.isEmpty()) << boxes.Messages.join("|").toStdString();
}

TEST_F(TrendTest, ACalibrationIsDrawnAndJudgedOnlyWhenAToleranceIsSet) {
    Start({"--noise", "0"});
    form->cbxKalibracja->setCurrentIndex(0);
    form->eCount->setText("3");
    for (const QString& tolerance : {QString(), QStringLiteral("0,5")}) {
        SetRule("20", tolerance);
        form->Memo1->ClearLines();
        form->Button1->click();
        Settle();
        const QStringList lines = form->Memo1->Lines();
        const qsizetype err = lines.indexOf("err:               0,000 ");
        ASSERT_GE(err, 0) << lines.join("|").toStdString();
        EXPECT_EQ(lines.value(err + 1), tolerance.isEmpty() ? "" : "stabilny: rozrzut 0 <= 0,500");
        EXPECT_EQ(trend->Plot->GoodCount(), 3);  // each run its own series
        EXPECT_TRUE(trend->lbTitle->text().startsWith("kalibracja: R0"));
    }
    // The report's picture of the run, fitted to it, leaves the window's view as it
    // was, and the least span holds for the view again.
    const QCPRange shown = trend->Plot->xAxis->range();
    EXPECT_EQ(trend->SeriesPng().substr(0, 4), "\x89PNG");
    EXPECT_EQ(trend->Plot->xAxis->range(), shown);
    trend->Plot->xAxis->setRange(0, 2);
    EXPECT_DOUBLE_EQ(trend->Plot->xAxis->range().size(), ui::kMinSpanS);
}

TEST_F(TrendTest, AReadingsNumberIsTheFloatsNotItsShownText) {
    // N100 (REAL, low word first) reads 0.004 and 0.006 in turn: both show as
    // "0,00" or "0,01", but the statistics and the CSV take the floats.
    TScriptedLine line([](const Bytes& request, size_t index) {
        const auto bits = std::bit_cast<uint32_t>(index % 2 ? 0.006f : 0.004f);
        const std::vector<uint16_t> words{static_cast<uint16_t>(bits), static_cast<uint16_t>(bits >> 16)};
        return std::vector<TChunk>{{{}, ReadReply(request, words)}};
    });
    ChoosePort(QString::fromStdString(line.Path()));
    ASSERT_TRUE(form->PortOpen());
    form->eWait->setText("3000");  // a busy machine may answer late
    Act([&] { form->eWaitExit(); });
    ChooseDevice(kSampleDevice);
    trend = form->Trend;
    form->btWykres->click();
    SetRule("4", "");
    Click(u"N100");
    form->ePeriod->setText("100");
    form->cbMonitor->click();
    ASSERT_TRUE(WaitUntil([&] { return trend->Plot->GoodCount() >= 4; }));
    form->cbMonitor->click();

    const TReadingStats stats = trend->Stability().Stats();
    ASSERT_EQ(stats.Count, 4u);
    EXPECT_NEAR(stats.Spread(), 0.002, 1e-9);
    EXPECT_NEAR(stats.StdDev, 0.0011547, 1e-7);  // ±0.001 about 0.005, n - 1 = 3
    EXPECT_EQ(trend->lbSpread->text(), "0,00200");
    EXPECT_EQ(trend->lbSigma->text(), "0,00115");
    boxes.SaveAs = QString::fromStdString((folder / "floats.csv").string());
    trend->SaveCsv();
    const std::string saved = FileText(folder / "floats.csv");
    EXPECT_NE(saved.find(";0,004;\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(";0,006;\n"), std::string::npos) << saved;
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(TrendTest, ThePlotWindowOpensOnAScreenAtASaneSizeAndNamesAreText) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ui::TTrendSettings s;
    s.Geometry = QRect(screen.topLeft() + QPoint(10, 10), QSize(30000, 30000));
    form->Trend->ApplySettings(s);
    EXPECT_TRUE(screen.contains(form->Trend->geometry())) << form->Trend->width() << "x" << form->Trend->height();
    // A place on a monitor that is gone: it opens beside the main window instead.
    form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
    s.Geometry = QRect(screen.right() + 5000, 0, 400, 300);
    form->Trend->ApplySettings(s);
    form->Trend->Open();
    EXPECT_TRUE(screen.intersects(form->Trend->geometry()));

    TRegData record{u"<img src=x width=3000>", u"<b>jednostka</b>", u"40001", u"REAL", u"2", u"RW", u""};
    form->Trend->Reading(TActivity::Monitoring, record, std::chrono::system_clock::now(), TReading{}, "x");
    EXPECT_EQ(form->Trend->lbTitle->text(), "<img src=x width=3000> [<b>jednostka</b>]");
    EXPECT_LT(form->Trend->lbTitle->sizeHint().width(), 1000);
}
