// SPDX-License-Identifier: GPL-3.0-or-later
// What the window remembers between sessions, the reply wait, the line's gap and
// echo, where the window opens, its shortcuts, and the window on the screen it
// opens on.
#include <QAction>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <fstream>

#include "tests/ui/WindowFixture.h"
#include "ui/Placement.h"
#include "ui/Settings.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/TrendWindow.h"

using namespace vyx;
using namespace vyx::test;

namespace {

void WriteFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

// The settings and geometry, apart: the geometry depends on the screen.
ui::TWindowSettings WithoutPlace(ui::TWindowSettings s) {
    s.Geometry = {};
    s.Maximized = false;
    return s;
}

}  // namespace

class SettingsTest : public WindowTest {
protected:
    fs::path SettingsFile() const { return folder / "config" / "vyx-cfg" / "vyx-cfg.ini"; }
    void Restart(ui::TFormOptions options = {}) {
        form.reset();
        form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg", options);
    }
    void SetWait(const QString& ms) {
        form->eWait->setText(ms);
        Act([&] { form->eWaitExit(); });
    }
    void SetGap(const QString& ms) {
        form->eGap->setText(ms);
        Act([&] { form->eGapExit(); });
    }
};

#ifndef _WIN32  // the user's and the shared device folders are Linux's
TEST_F(SettingsTest, TheRememberedDeviceIsFoundInTheSharedFolder) {
    const fs::path shared = folder / "share" / "vyx-cfg" / "devices";
    fs::create_directories(shared);
    fs::copy_file(kSampleDevice, shared / "VXT-20F.dat");
    ui::TWindowSettings settings = form->CurrentSettings();
    settings.DeviceFile = "VXT-20F.dat";
    ASSERT_TRUE(ui::WriteSettings(settings, ui::SettingsFilePath()));
    Restart();
    EXPECT_EQ(form->cbxDevice->currentText(), "VXT-20F.dat");
    EXPECT_NE(form->Tree.FindRegisterByName(u"R0"), nullptr);
}
#endif

TEST_F(SettingsTest, ACleanCloseRemembersAndTheNextStartTakesThem) {
    NEEDS_SIMULATOR();
    ASSERT_EQ(ui::SettingsFilePath(), QString::fromStdString(SettingsFile().string()));
    const QString sim = QString::fromStdString(StartSim());
    ChoosePort(sim);
    ChooseDevice(kSampleDevice);
    form->cbxBaud->setCurrentIndex(2);
    form->cbxParity->setCurrentIndex(1);
    form->eSlave->setText("5");
    SetWait("300");
    SetGap("25");
    form->eReplug->setText("15");
    Act([&] { form->eReplugExit(); });
    form->cbEcho->click();
    form->ePeriod->setText("500");
    form->eCount->setText("8");
    form->setGeometry(100, 120, 1200, 900);
    form->btWykres->click();
    form->Trend->eN->setText("7");
    form->Trend->eTolerance->setText("0,5%");
    const ui::TWindowSettings closing = form->CurrentSettings();
    EXPECT_TRUE(closing.Trend.Open);
    ASSERT_TRUE(form->close());
    EXPECT_EQ(ui::ReadSettings(ui::SettingsFilePath()), closing);

    Restart();
    EXPECT_EQ(form->StartSettings(), closing);
    EXPECT_EQ(form->CurrentSettings(), closing);  // in the controls, the device file loaded
    EXPECT_NE(form->Tree.FindRegisterByName(u"R0"), nullptr);
    EXPECT_TRUE(form->cbEcho->isChecked() && form->eGap->text() == "25");  // shown as in force
    EXPECT_EQ(form->eReplug->text(), "15");
    EXPECT_FALSE(form->PortOpen());  // named, not opened
    EXPECT_NE(form->shConnect->Color(), QColor(0, 255, 0));
    form->cbxBaud->setCurrentIndex(0);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(form->cbxBaud->currentText(), "38400");
    EXPECT_EQ(form->cbxParity->currentText(), "odd parity");

    // Choosing the named port opens it with the remembered wait.
    Act([&] { form->ComCBoxSelect(); });
    EXPECT_TRUE(form->PortOpen());
    EXPECT_EQ(Timeouts().ReadTotalConstant, 300U);
    EXPECT_EQ(form->stBar->text(), "Port szeregowy otwarty: " + sim + " @38400,o,8,1, odp. 300 ms");

    // A device file that is gone is not loaded, and says nothing.
    form->close();
    fs::remove(folder / "bin" / "VXT-20F.dat");
    Restart();
    EXPECT_EQ(form->Tree.First(), nullptr);
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(SettingsTest, BadSettingsGiveTheDefaultsWithoutABox) {
    const ui::TWindowSettings defaults;
    const struct {
        const char* what;
        std::string bytes;
    } files[] = {
        {"binary", std::string("\x00\xff\x7f[[[\x01=\xfe\n\x00", 12)},
        {"values out of range",
         "[connection]\nport=\"/dev/tty\x01\"\nspeed=fast\nparity=9\nslave=300\nreplyWait=9\ngap=1001\nreplugWait=3601\necho=1\n"
         "[device]\nfile=../elsewhere/x.dat\n[monitor]\nperiod=99\n[calibration]\ncount=0\n"
         "[window]\nx=10\ny=10\nwidth=-5\nheight=700\nmaximized=true\n"
         "[trend]\nn=1\nspan=5\ntolerance=\"\x02\"\nwidth=0\n"},
        {"truncated", "[connection]\nport=/dev/ttyUSB0\nspeed=1920"},
    };
    for (const auto& f : files) {
        WriteFile(SettingsFile(), f.bytes);
        Restart();
        ui::TWindowSettings expected = defaults;
        if (std::string(f.what) == "truncated") {
            expected.Port = "/dev/ttyUSB0";  // what is whole is taken
            expected.Baud = "1920";
        }
        EXPECT_EQ(WithoutPlace(form->StartSettings()), expected) << f.what;
        EXPECT_TRUE(form->StartSettings().Geometry.isNull()) << f.what;
        EXPECT_EQ(form->eWait->text(), QString::number(expected.ReplyWaitMs)) << f.what;
        EXPECT_EQ(form->Transaction.Line(), TLineOptions{}) << f.what;
    }
    // A settings "file" that cannot be read as one.
    fs::remove(SettingsFile());
    fs::create_directories(SettingsFile());
    Restart();
    EXPECT_EQ(form->StartSettings(), defaults);
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(SettingsTest, ResetSettingsStartsWithTheDefaults) {
    form->eSlave->setText("9");
    SetWait("900");
    ASSERT_TRUE(form->close());
    Restart({.DefaultSettings = true});
    EXPECT_EQ(form->StartSettings(), ui::TWindowSettings{});
    EXPECT_EQ(form->eSlave->text(), "247");
    EXPECT_EQ(form->ReplyWaitMs(), 40);
    ASSERT_TRUE(form->close());  // and the defaults are remembered from now on
    EXPECT_EQ(ui::ReadSettings(ui::SettingsFilePath()).Slave, "247");
}

TEST_F(SettingsTest, TheReplyWaitReachesThePortAndLetsASlowDeviceAnswer) {
    NEEDS_SIMULATOR();
    const TTimeouts standard{30, 0, 40, 0, 30};
    // The line's gap is checked as the wait is.
    for (const auto& [bad, badGap] :
         {std::pair{"abc", "abc"}, {"9", "-1"}, {"10001", "1001"}, {"100,5", "2,5"}, {"", ""}}) {
        SetWait("250");
        SetGap("20");
        SetWait(bad);
        SetGap(badGap);
        form->eReplug->setText(badGap == std::string("1001") ? "3601" : badGap);
        Act([&] { form->eReplugExit(); });
        EXPECT_EQ(form->eReplug->text(), "60") << badGap;  // 0 to 3600 s
        EXPECT_EQ(form->eWait->text(), "250") << bad;
        EXPECT_EQ(form->ReplyWaitMs(), 250) << bad;
        EXPECT_EQ(form->eGap->text(), "20") << badGap;
        EXPECT_EQ(form->Transaction.Line().GapMs, 20) << badGap;
    }
    SetWait(" 40 ");
    SetGap(" 0 ");
    EXPECT_EQ(form->eWait->text(), "40");
    EXPECT_EQ(form->Transaction.Line().GapMs, 0);

    const QString sim = QString::fromStdString(StartSim(kSampleDevice, {"--delay", "150"}));
    ChoosePort(sim);
    ASSERT_TRUE(form->PortOpen());
    ChooseDevice(kSampleDevice);
    Click(u"R0");
    // Applied to the open port at once; only the first-byte wait changes. Ten times
    // the device's delay: a loaded machine may hold the simulator that long.
    SetWait("1500");
    TTimeouts slow = standard;
    slow.ReadTotalConstant = 1500;
    EXPECT_EQ(Timeouts(), slow);
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_TRUE(Last(form->Memo1->Lines()).contains("R0")) << Last(form->Memo1->Lines()).toStdString();
    EXPECT_EQ(form->stReason->text(), "");

    SetWait("40");
    EXPECT_EQ(Timeouts(), standard);
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(form->stReason->text(), "brak odpowiedzi urządzenia");

    // The status text names a wait other than the standard one.
    Act([&] { form->Connect(); });
    EXPECT_EQ(form->stBar->text(), "Port szeregowy otwarty: " + sim + " @19200,e,8,1");
    SetWait("200");
    Act([&] { form->Connect(); });
    EXPECT_EQ(form->stBar->text(), "Port szeregowy otwarty: " + sim + " @19200,e,8,1, odp. 200 ms");
    EXPECT_EQ(Timeouts().ReadTotalConstant, 200U);
}

TEST_F(SettingsTest, ShortcutsReadSaveAndTellTheVersion) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim()));
    ChooseDevice(kSampleDevice);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->VT->setFocus();
    form->VT->setCurrentIndex(form->Model->IndexOf(form->Tree.FindRegisterByName(u"R0")));
    QTest::keyClick(form->VT, Qt::Key_F5);
    Settle();
    EXPECT_TRUE(Last(form->Memo1->Lines()).contains("R0")) << Last(form->Memo1->Lines()).toStdString();

    boxes.SaveAs = QString::fromStdString((folder / "wyniki.txt").string());
    QTest::keyClick(form->VT, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(folder / "wyniki.txt"));

    QTest::keyClick(form->VT, Qt::Key_F1);
    ASSERT_EQ(boxes.Messages.size(), 1);
    EXPECT_TRUE(boxes.Messages[0].startsWith("Program vyx-cfg"));

    EXPECT_FALSE(form->Trend->isVisible());
    QTest::keyClick(form->VT, Qt::Key_F6);
    EXPECT_TRUE(form->Trend->isVisible());

    for (const QMenu* menu : {form->PopupMenu1, form->PopupMenu2})
        for (const QAction* action : menu->actions())
            if (action->text() == "Wyczyść") {
                EXPECT_TRUE(action->shortcut().isEmpty());
            }
}

// Run on the desktop screen and again on a laptop's (1366 x 768).
class ScreenFit : public WindowTest {};

TEST_F(ScreenFit, TheWindowFitsItsScreen) {
    const bool laptop = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")).contains("laptop");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(screen.size(), laptop ? QSize(1366, 768) : QSize(1920, 1080));
    ChooseDevice(kSampleDevice);  // with the calibration group: the tallest panel
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();

    // The groups keep their heights, and the new field fits in its group.
    QGroupBox* connection = qobject_cast<QGroupBox*>(form->eWait->parentWidget());
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->height(), 209);
    EXPECT_LE(connection->minimumSizeHint().height(), 209);
    // The wait and the gap share the slave address's width, each wide enough for
    // its number, in the window's fonts (wine has neither and falls back to a
    // wider one, for which the fixed group is not laid out).
    const QString family = QFontInfo(form->eGap->font()).family();
    if (family == QStringLiteral("Microsoft Sans Serif") || family == QStringLiteral("Liberation Sans")) {
        const auto x = [&](const QWidget* w, int at) { return w->mapTo(connection, QPoint(at, 0)).x(); };
        EXPECT_EQ(x(form->eWait, 0), x(form->eSlave, 0));
        EXPECT_EQ(x(form->eGap, form->eGap->width()), x(form->eSlave, form->eSlave->width()));
    }
    for (const QLineEdit* edit : {form->eWait, form->eGap})
        EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance("5000") + 8);
    EXPECT_EQ(form->gbMon->height(), 160);
    EXPECT_EQ(form->gbKal->height(), 201);

    // Centred, with a window manager's frame, where the pointer is.
    EXPECT_EQ(form->geometry().marginsAdded(ui::kFrameAllowance).center(), screen.center());
    EXPECT_TRUE(screen.contains(form->geometry().marginsAdded(ui::kFrameAllowance)));
    QScrollBar* bar = form->PanelScroll->verticalScrollBar();
    if (!laptop) {
        EXPECT_EQ(form->size(), form->FullMinimum());
        EXPECT_EQ(form->VT->width(), 401);
        EXPECT_EQ(form->PanelScroll->width(), 270);
        EXPECT_EQ(bar->maximum(), 0);
        // Too narrow a place: the tree gives up width, down to 200.
        const QRect narrow(0, 0, 900, 834);
        form->FitTo({narrow, false});
        form->setGeometry(narrow);
        QApplication::processEvents();
        EXPECT_LT(form->VT->width(), 401);
        EXPECT_GE(form->VT->width(), 200);
        return;
    }
    EXPECT_LT(form->height(), form->FullMinimum().height());
    EXPECT_EQ(form->VT->width(), 401);  // the width fits
    EXPECT_GT(bar->maximum(), 0);  // the panel scrolls to its last control
    form->PanelScroll->ensureWidgetVisible(form->btZapisz);
    EXPECT_TRUE(form->PanelScroll->viewport()->rect().contains(
        form->btZapisz->mapTo(form->PanelScroll->viewport(), form->btZapisz->rect().bottomRight())));
}

TEST_F(SettingsTest, ThePlotsSignalsAreKeptPerPortAndABadOneIsPassedOver) {
    ui::TWindowSettings s;
    const ui::TTrendSignal r0{2, "VXT-20F.dat", "R0", "", "30001", "INT", "1", false, false, ""};
    const ui::TTrendSignal current{2, "VXT-20F.dat", "Prąd wyjściowy", "mA", "30009", "PREC", "2", true, true, "1%"};
    s.Trend.Signals["/dev/ttyUSB0"] = {r0, current};
    s.Trend.Signals["/dev/ttyUSB1"] = {r0};
    const QString path = QString::fromStdString((folder / "signals.ini").string());
    ASSERT_TRUE(ui::WriteSettings(s, path));
    EXPECT_EQ(ui::ReadSettings(path).Trend.Signals, s.Trend.Signals);
    // Out of range, unknown or unsafe: each passed over, the good ones kept.
    WriteFile(folder / "signals.ini",
              "[trendSignals]\nsize=5\n1\\port=/dev/a\n1\\slave=248\n1\\name=R0\n1\\address=30001\n1\\type=INT\n"
              "1\\length=1\n2\\port=/dev/a\n2\\slave=2\n2\\name=R0\n2\\address=30001\n2\\type=BIT\n2\\length=1\n"
              "3\\port=/dev/a\n3\\slave=2\n3\\name=R0\n3\\address=30001\n3\\type=INT\n3\\length=1\n"
              "3\\file=../x.dat\n4\\port=/dev/a\n4\\slave=2\n4\\name=R0\n4\\address=30001\n4\\type=INT\n"
              "4\\length=0\n5\\port=/dev/a\n5\\slave=2\n5\\name=R0\n5\\address=30001\n5\\type=INT\n5\\length=1\n");
    const ui::TTrendSignals read = ui::ReadSettings(path).Trend.Signals;
    ASSERT_EQ(read.value("/dev/a").size(), 1);
    EXPECT_EQ(read.value("/dev/a")[0].Slave, 2);
}
