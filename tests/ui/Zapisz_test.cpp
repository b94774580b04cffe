// SPDX-License-Identifier: GPL-3.0-or-later
// "Zapisz" in the window asks before it writes a calibration point, against the
// simulator: the box names the register, its value in the device, the value to
// write and where it came from; "Nie" writes nothing.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "tests/ui/WindowFixture.h"
#include "ui/MeanSource.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class ZapiszTest : public WindowTest {
protected:
    void Open(std::vector<std::string> simOptions) {
        simOptions.insert(simOptions.end(), {"--noise", "0"});
        ChoosePort(QString::fromStdString(StartSim(kSampleDevice, simOptions)));
        ASSERT_TRUE(form->PortOpen());
        ChooseDevice(kSampleDevice);
    }
    // "Zapisz" at a point (0 100R, 1 400R, -1 none), answered as `answer`: the
    // box's text (empty when none came) and the requests it sent.
    std::pair<QString, uint64_t> Zapisz(int point, bool answer) {
        form->cbxKalibracja->setCurrentIndex(point);
        boxes.Answer = answer;
        boxes.Questions.clear();
        const uint64_t before = form->Transaction.RequestsSent();
        form->btZapisz->click();
        Settle();
        EXPECT_LE(boxes.Questions.size(), 1);
        return {Last(boxes.Questions), form->Transaction.RequestsSent() - before};
    }
    // The register's value in the device, read as a double-click reads it.
    std::u16string DeviceValue(std::u16string_view name) {
        TNode* node = Click(name);
        Act([&] { form->VTColumnDblClick(ui::kColName); });
        return node->Record.Value;
    }
};

}  // namespace

TEST_F(ZapiszTest, TheBoxNamesTheDeviceValueTheValueAndItsSourceAndNieWritesNothing) {
    NEEDS_SIMULATOR();
    Open({});
    auto [question, sent] = Zapisz(-1, true);  // no point chosen: nothing asked or sent
    EXPECT_EQ(std::make_pair(question, sent), std::make_pair(QString(), uint64_t{0}));
    EXPECT_EQ(form->stBar->text(), "Zapisz: wybierz wielkość 100R lub 400R");

    // The start-up value, no calibration yet: "Nie" leaves the device as it was,
    // and the register monitoring would read stays the one clicked.
    Click(u"Ciśnienie");
    std::tie(question, sent) = Zapisz(1, false);
    EXPECT_EQ(form->lbReg->text(), "30003  Ciśnienie");
    EXPECT_EQ(form->Sequences.CurrentNode()->Record.Name, u"Ciśnienie");
    EXPECT_EQ(question, "Zapisać do rejestru 40003 N400?\nwartość w urządzeniu: 4000,00\nwartość do zapisu: 8\n"
                        "źródło: wartość początkowa, bez kalibracji");
    EXPECT_EQ(sent, 1u);  // the read before alone
    EXPECT_EQ(Last(form->Memo1->Lines()), "N400: nie zapisano: nie potwierdzono");
    EXPECT_EQ(DeviceValue(u"N400"), u"4000,00");

    form->cbxKalibracja->setCurrentIndex(0);
    form->eCount->setText("3");
    form->Button1->click();
    Settle();
    EXPECT_EQ(form->lbReg->text(), "30001  R0");  // where the calibration left it
    std::tie(question, sent) = Zapisz(0, true);
    const QRegularExpression calibrated(
        "^Zapisać do rejestru 40001 N100\\?\nwartość w urządzeniu: 1000,00\nwartość do zapisu: 1000\n"
        "źródło: średnia kalibracji 100R z \\d\\d:\\d\\d:\\d\\d, 3 odczyty$");
    EXPECT_TRUE(calibrated.match(question).hasMatch()) << question.toStdString();
    EXPECT_EQ(sent, 3u);  // read before, write, read back
    EXPECT_EQ(Last(form->Memo1->Lines()), "N100: zweryfikowano");

    // The 100R mean with 400R chosen: the box says so.
    std::tie(question, sent) = Zapisz(1, false);
    EXPECT_TRUE(question.endsWith("\nUwaga: średnia pochodzi z kalibracji 100R, a zapis dotyczy 400R."))
        << question.toStdString();
    EXPECT_EQ(sent, 1u);
    EXPECT_EQ(DeviceValue(u"N400"), u"4000,00");

    // Typed by the technician: written on "Tak", no warning.
    form->eMed->clear();
    QTest::keyClicks(form->eMed, "1234");
    std::tie(question, sent) = Zapisz(1, true);
    EXPECT_TRUE(question.endsWith("\nwartość do zapisu: 1234\nźródło: wpisana ręcznie")) << question.toStdString();
    EXPECT_EQ(Last(form->Memo1->Lines()), "N400: zweryfikowano");
    EXPECT_EQ(DeviceValue(u"N400"), u"1234,00");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

// A device that does not answer: the box says the value was not read, and
// "Tak" still sends the write.
TEST_F(ZapiszTest, AFailedReadBeforeIsNamedAndTakStillWrites) {
    NEEDS_SIMULATOR();
    Open({"--silence", "1"});
    SetTimeouts({30, 0, 300, 0, 30});  // nothing will answer: no reason to wait long
    const auto [question, sent] = Zapisz(1, true);
    EXPECT_TRUE(question.contains("\nwartość w urządzeniu: nieodczytana, brak odpowiedzi urządzenia\n"))
        << question.toStdString();
    EXPECT_EQ(sent, 2u);  // the read before and the write
    EXPECT_EQ(Last(form->Memo1->Lines()), "N400: zapis nieudany: brak odpowiedzi urządzenia");
}

// The window closed while the box is open (SIGTERM): whatever the answer, nothing is written.
TEST_F(ZapiszTest, ClosingTheWindowWhileItAsksWritesNothing) {
    NEEDS_SIMULATOR();
    Open({});
    boxes.WhileAsked = [&] { form->close(); };
    const auto [question, sent] = Zapisz(1, true);
    EXPECT_FALSE(question.isEmpty());
    EXPECT_EQ(sent, 1u);  // the read before alone
    EXPECT_EQ(Last(form->Memo1->Lines()), "N400: nie zapisano: przerwano");
    EXPECT_FALSE(form->PortOpen());  // closed once the handler returned
}

TEST(MeanSource, ACalibrationsReadingsAreCountedInPolish) {
    const struct {
        size_t n;
        const char* text;
    } cases[] = {{1, "1 odczyt"}, {4, "4 odczyty"}, {5, "5 odczytów"}, {12, "12 odczytów"}, {22, "22 odczyty"}};
    for (const auto& c : cases)
        EXPECT_EQ(ui::MeanSourceText(ui::TMeanSource::Calibration(u"400R", "00:31:02", c.n)),
                  QString("średnia kalibracji 400R z 00:31:02, ") + c.text);
}
