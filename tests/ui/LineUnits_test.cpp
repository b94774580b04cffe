// SPDX-License-Identifier: GPL-3.0-or-later
// The units on the line: the window's scan of a simulated line of three units,
// each found with its device file; choosing one reads its serial number;
// "Anuluj" ends a scan and its dialog at once; the list kept per port.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <unistd.h>

#include <fstream>

#include "tests/ui/WindowFixture.h"
#include "ui/FormSupport.h"
#include "ui/ScanDialog.h"
#include "ui/TextPane.h"
#include "ui/UnitList.h"

namespace vyx::ui {
// Readable failures.
inline void PrintTo(const TLineUnit& u, std::ostream* os) {
    *os << u.Slave << ' ' << u.Mode.toStdString() << ' ' << u.Type.toStdString() << " nr " << u.Serial.toStdString()
        << ' ' << u.File.toStdString();
}
}  // namespace vyx::ui

using namespace vyx;
using namespace vyx::test;

namespace {

const std::string kVxp10 = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";

ui::TLineUnit Unit(int slave, const char* mode, const char* type, const char* serial, const char* file) {
    return {slave, mode, type, serial, file};
}

class LineUnitsTest : public WindowTest {
protected:
    // The dialog of "Szukaj urządzeń…", over addresses from..to.
    ui::TScanDialog& OpenScan(int from, int to) {
        Act([&] { form->SzukajClick(); });
        EXPECT_NE(form->ScanDialog(), nullptr);
        form->ScanDialog()->sbFrom->setValue(from);
        form->ScanDialog()->sbTo->setValue(to);
        return *form->ScanDialog();
    }
};

}  // namespace

TEST_F(LineUnitsTest, AScanFindsEveryUnitWithItsFileAndChoosingOneReadsItsSerialNumber) {
    NEEDS_SIMULATOR();
    for (const std::string& file : {kSampleDevice, kVxp10})
        fs::copy_file(file, folder / "bin" / fs::path(file).filename());
    const QString port = QString::fromStdString(StartSim(
        kSampleDevice, {"--noise", "0", "--slave", "3", "--unit", kVxp10 + ":5", "--unit", kSampleDevice + ":12:noident"}));
    ChoosePort(port);
    ASSERT_TRUE(form->PortOpen());
    // A simulator on a busy machine may answer late: a wide wait, 12 addresses.
    form->eWait->setText("1000");
    Act([&] { form->eWaitExit(); });

    ui::TScanDialog& dialog = OpenScan(1, 12);
    EXPECT_FALSE(dialog.cbStandard->isChecked());
    EXPECT_TRUE(dialog.lbDuration->text().startsWith("Czas przeszukiwania: do ")) << dialog.lbDuration->text().toStdString();
    EXPECT_TRUE(dialog.lbDuration->text().endsWith(" (12 prób)")) << dialog.lbDuration->text().toStdString();
    dialog.cbStandard->setChecked(true);  // 20 settings, the panel's among them
    EXPECT_TRUE(dialog.lbDuration->text().endsWith(" (240 prób)")) << dialog.lbDuration->text().toStdString();
    dialog.cbStandard->setChecked(false);
    dialog.btSzukaj->click();
    EXPECT_TRUE(form->Scanning());
    ASSERT_TRUE(WaitUntil([&] { return !form->Scanning(); }));
    Settle();

    const QList<ui::TLineUnit> expected{Unit(3, "19200,e,8,1", "VXT-20F", "10234", "VXT-20F.dat"),
                                        Unit(5, "19200,e,8,1", "VXP-10", "2211", "VXP-10.dat"),
                                        Unit(12, "19200,e,8,1", "VXT-20F", "10234", "VXT-20F.dat")};
    EXPECT_EQ(form->UnitList->Units(), expected);
    ASSERT_EQ(dialog.lstFound->topLevelItemCount(), 3);
    EXPECT_EQ(dialog.lstFound->topLevelItem(1)->text(4), "VXP-10.dat");
    EXPECT_EQ(dialog.pbProgress->value(), 12);
    EXPECT_EQ(dialog.btAnuluj->text(), "Zamknij");
    EXPECT_TRUE(form->PortOpen());  // opened again, as it was before
    EXPECT_EQ(Last(form->Memo1->Lines()), "znaleziono urządzeń: 3");

    // Each unit chosen becomes the connection, and its serial number is read.
    dialog.close();
    for (const ui::TLineUnit& unit : expected) {
        const qsizetype lines = form->Memo1->Lines().size();
        Act([&] { form->UnitChosen(unit); });
        EXPECT_EQ(form->eSlave->text(), QString::number(unit.Slave));
        EXPECT_EQ(form->cbxDevice->currentText(), unit.File);
        EXPECT_EQ(form->stBar->text(), QString("%1 %2 nr %3").arg(unit.Slave).arg(unit.Type, unit.Serial));
        // The read's result line, its name cut to the pane's column.
        const TNode* serial = form->Tree.FindRegisterByName(u"Numer fabryczny");
        ASSERT_NE(serial, nullptr);
        EXPECT_EQ(form->Memo1->Lines().size(), lines + 1);
        EXPECT_EQ(Last(form->Memo1->Lines()), ui::Q(serial->Record.Address) + "  Numer fabry " + unit.Serial);
    }
    // A unit on another line setting: the port is opened again with it.
    const ui::TLineUnit odd = Unit(5, "9600,o,8,1", "", "", "VXP-10.dat");
    form->UnitList->Merge(form->UnitList->Port(), odd);
    Act([&] { form->UnitChosen(odd); });
    EXPECT_EQ(form->cbxBaud->currentText(), "9600");
    EXPECT_EQ(form->cbxParity->currentIndex(), 1);
    EXPECT_TRUE(form->PortOpen());
    EXPECT_EQ(form->PortMode(), "9600,o,8,1");
    EXPECT_EQ(form->stBar->text(), "5 VXP-10 nr 2211");  // the type from the file, the number as read
    EXPECT_TRUE(form->UnitList->Units().contains(Unit(5, "9600,o,8,1", "VXP-10", "2211", "VXP-10.dat")));
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(LineUnitsTest, AnulujEndsTheScanAndItsDialogAtOnce) {
    NEEDS_SIMULATOR();
    Act([&] { form->SzukajClick(); });  // no port named
    EXPECT_EQ(form->ScanDialog(), nullptr);
    EXPECT_EQ(boxes.Messages, QStringList{"brak portu: najpierw wybierz port, na którym szukać urządzeń"});
    // On a network port only the addresses are tried.
    form->ComCBox->setEditText("tcp://127.0.0.1:1");
    ui::TScanDialog& network = OpenScan(1, 2);
    EXPECT_FALSE(network.cbStandard->isEnabled() || network.cbSlow->isEnabled());
    EXPECT_EQ(network.Plan().Modes, std::vector<std::string>{""});
    network.close();

    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ASSERT_TRUE(form->PortOpen());
    // "Anuluj", Escape and the dialog's close button.
    const std::function<void(ui::TScanDialog&)> closings[] = {
        [](ui::TScanDialog& d) { d.btAnuluj->click(); }, [](ui::TScanDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](ui::TScanDialog& d) { d.close(); }};
    for (const auto& closing : closings) {
        ui::TScanDialog& dialog = OpenScan(1, 247);
        QPointer<ui::TScanDialog> shown = &dialog;
        dialog.btSzukaj->click();
        ASSERT_TRUE(WaitUntil([&] { return dialog.pbProgress->value() >= 2; }));
        form->Run([&] { form->SzukajClick(); });  // one scan at a time
        EXPECT_EQ(form->stBar->text(), "Trwa przeszukiwanie linii: poczekaj na jego koniec");
        EXPECT_EQ(form->ScanDialog(), &dialog);
        closing(dialog);
        EXPECT_FALSE(shown && shown->isVisible());  // gone without waiting for the line
        ASSERT_TRUE(WaitUntil([&] { return !form->Scanning() && !shown; }));
        Settle();
        EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano: anulowano");
        EXPECT_TRUE(form->PortOpen());
        EXPECT_TRUE(form->UnitList->Units().isEmpty());  // nobody at 1 and on
    }
}

TEST_F(LineUnitsTest, UnitsAddedByHandAreKeptPerPortAcrossARestart) {
    ChooseDevice(kSampleDevice);
    const auto choosePort = [&](const QString& name) {
        form->ComCBox->setEditText(name);
        Act([&] { form->ComCBoxSelect(); });  // it does not open: the list follows the name all the same
    };
    choosePort("/nonexistent/ttyA");
    for (const char* slave : {"0", "248", "x"}) {
        form->eSlave->setText(slave);
        form->UnitList->btDodaj->click();
        EXPECT_EQ(form->stBar->text(), "Dodaj bieżącą: adres urządzenia od 1 do 247") << slave;
    }
    form->eSlave->setText("17");
    form->UnitList->btDodaj->click();
    const ui::TLineUnit added = Unit(17, "19200,e,8,1", "VXT-20F", "", "VXT-20F.dat");  // no serial read
    EXPECT_EQ(form->UnitList->Units(), QList{added});
    EXPECT_EQ(form->UnitList->View->topLevelItem(0)->text(3), "?");
    choosePort("/nonexistent/ttyB");
    EXPECT_TRUE(form->UnitList->Units().isEmpty());
    form->eSlave->setText("3");
    form->UnitList->btDodaj->click();
    choosePort("/nonexistent/ttyA");
    EXPECT_EQ(form->UnitList->Units(), QList{added});

    ASSERT_TRUE(form->close());
    form.reset();
    form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
    EXPECT_EQ(form->UnitList->Units(), QList{added});
    form->UnitList->View->setCurrentItem(form->UnitList->View->topLevelItem(0));
    form->UnitList->btUsun->click();
    EXPECT_TRUE(form->UnitList->Units().isEmpty());
    choosePort("/nonexistent/ttyB");
    EXPECT_EQ(form->UnitList->Units().size(), 1);
}

TEST(ScanDuration, SaysTheTriesInPolish) {
    const struct {
        int slaves;
        const char* tries;
    } rows[] = {{1, "(1 próba)"}, {3, "(3 próby)"}, {12, "(12 prób)"}, {22, "(22 próby)"}, {115, "(115 prób)"}};
    for (const auto& row : rows) {
        service::TScanPlan plan;
        plan.Modes = {"19200,e,8,1"};
        for (int s = 1; s <= row.slaves; ++s) plan.Slaves.push_back(s);
        EXPECT_TRUE(ui::DurationLine(plan).endsWith(QString(" ") + row.tries)) << ui::DurationLine(plan).toStdString();
    }
}

TEST(LineUnitSettings, EntriesThatDoNotHoldArePassedOver) {
    const fs::path file = fs::temp_directory_path() / ("vyx-units-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(file) << "[lineUnits]\n"
                           "1\\port=/dev/ttyUSB0\n1\\slave=5\n1\\mode=9600,o,8,1\n1\\type=VXP-10\n1\\file=VXP-10.dat\n"
                           "2\\port=/dev/ttyUSB0\n2\\slave=248\n"           // no unit's address
                           "3\\port=/dev/ttyUSB0\n3\\slave=7\n3\\file=../x.dat\n"  // a path out of the device folders
                           "4\\port=/dev/ttyUSB0\n4\\slave=8\n4\\mode=19200;e\n"
                           "5\\port=\n5\\slave=9\n"
                           "6\\port=tcp://10.0.0.5:4001\n6\\slave=1\n"      // a network port: no mode
                           "size=6\n";
    const ui::TLineUnits units = ui::ReadSettings(QString::fromStdString(file.string())).Units;
    fs::remove(file);
    EXPECT_EQ(units.value("/dev/ttyUSB0"), QList{Unit(5, "9600,o,8,1", "VXP-10", "", "VXP-10.dat")});
    EXPECT_EQ(units.value("tcp://10.0.0.5:4001"), QList{Unit(1, "", "", "", "")});
    EXPECT_EQ(units.size(), 2);
}
