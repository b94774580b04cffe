// SPDX-License-Identifier: GPL-3.0-or-later
// The window's start-up, panes and logs, connection panel and numbers.
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <clocale>
#include <fstream>
#include <sstream>

#include "tests/support/FileText.h"
#include "tests/support/Pty.h"
#include "tests/ui/WindowFixture.h"
#include "ui/Boxes.h"
#include "ui/FormSupport.h"
#include "ui/LogFile.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

const QColor kMediumGreyQ(160, 160, 164);

}  // namespace

TEST_F(WindowTest, StartUpState) {
    ui::TForm1& f = *form;
    const struct {
        const char* what;
        QVariant actual, expected;
    } rows[] = {
        {"title", f.windowTitle(), "vyx-cfg"},
        {"speeds", Items(f.cbxBaud), QStringList{"9600", "19200", "38400", "57600", "115200"}},
        {"speed", f.cbxBaud->currentText(), "19200"},
        {"parities", Items(f.cbxParity),
         QStringList{"even parity", "odd parity", "no parity: 2 STOP", "no parity: 1 STOP"}},
        {"parity", f.cbxParity->currentText(), "even parity"},
        {"ports", f.ComCBox->count(), 0},
        {"connection", f.shConnect->Color(), kMediumGreyQ},
        {"TX", f.ledTX->Color(), kMediumGreyQ},
        {"RX", f.ledRx->Color(), kMediumGreyQ},
        {"slave", f.eSlave->text(), "247"},
        {"slave colour", f.eSlave->palette().color(QPalette::Text), QColor(128, 0, 0)},
        {"reset", f.btReset->text(), "Reset"},
        {"devices", f.cbxDevice->count(), 0},
        {"monitor", f.gbMon->title(), " Monitor "},
        {"register", f.lbReg->text(), "----"},
        {"period", f.ePeriod->text(), "2000"},
        {"monitoring", f.cbMonitor->isChecked(), false},
        {"scale shown", f.cbxScale->isVisibleTo(&f), false},
        {"scale enabled", f.cbxScale->isEnabled(), false},
        {"calibration shown", f.gbKal->isVisibleTo(&f), false},
        {"calibration enabled", f.gbKal->isEnabled(), false},
        {"quantities", Items(f.cbxKalibracja), QStringList{"100R", "400R"}},
        {"quantity chosen", f.cbxKalibracja->currentIndex(), -1},
        {"count", f.eCount->text(), "16"},
        {"start", f.Button1->text(), "Start"},
        {"mean", f.eMed->text(), "8"},
        {"save", f.btZapisz->text(), "Zapisz"},
        {"tree tip", f.VT->toolTip(), "Okno rejestrów"},
        {"tree widths",
         QVariantList{f.VT->header()->sectionSize(0), f.VT->header()->sectionSize(1), f.VT->header()->sectionSize(2)},
         QVariantList{180, 80, 137}},
        {"value header", f.Model->headerData(2, Qt::Horizontal, Qt::DisplayRole), "Wartość"},
        {"result tip", f.Memo1->toolTip(), "Okno logów"},
        {"result editable", f.Memo1->isReadOnly(), false},
        {"comm read-only", f.Memo2->isReadOnly(), true},
        {"status", f.stBar->text(), ""},
        {"timers", QVariantList{f.Timer1->isActive(), f.stbTimer->isActive(), f.txTimer->isActive(), f.rxTimer->isActive()},
         QVariantList{false, false, false, false}},
        {"periods", QVariantList{f.stbTimer->interval(), f.txTimer->interval(), f.rxTimer->interval()},
         QVariantList{3000, 100, 100}},
        {"tab moves on", QVariantList{f.Memo1->tabChangesFocus(), f.Memo2->tabChangesFocus()}, QVariantList{true, true}},
    };
    for (const auto& row : rows) EXPECT_EQ(row.actual, row.expected) << row.what;
}

TEST_F(WindowTest, FirstActivationOnlySelectsTheDefaults) {
    form->cbxParity->setCurrentIndex(-1);
    form->cbxBaud->setCurrentIndex(4);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(form->cbxParity->currentIndex(), 0);
    EXPECT_EQ(form->cbxBaud->currentText(), "19200");

    form->cbxBaud->setCurrentIndex(0);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(form->cbxBaud->currentText(), "9600");
}

TEST_F(WindowTest, PortListRefillKeepsTheTypedText) {
    const std::string sim = StartSim();
    ASSERT_FALSE(sim.empty());
    form->ComCBox->setEditText("moj port");
    form->ComCBoxEnter();
    const QStringList items = Items(form->ComCBox);
    ASSERT_GE(items.size(), 2);
    EXPECT_EQ(items.back(), "odłączony");  // after the paths, without regard to case
    EXPECT_TRUE(items.contains(QString::fromStdString((folder / "vyx" / "VXT-20F").string())));
    EXPECT_EQ(form->ComCBox->currentText(), "moj port");

    // An adapter's entry names it in its tooltip, whatever the sorted place.
    ui::Refill(form->ComCBox, {"/dev/ttyS0", "/dev/serial/by-id/usb-FTDI-if00-port0"},
               {{"/dev/serial/by-id/usb-FTDI-if00-port0", "FTDI (teraz /dev/ttyUSB0)"}});
    EXPECT_EQ(form->ComCBox->itemData(0, Qt::ToolTipRole).toString(), "FTDI (teraz /dev/ttyUSB0)");
    EXPECT_FALSE(form->ComCBox->itemData(1, Qt::ToolTipRole).isValid());
}

TEST_F(WindowTest, ConnectReconnectDisconnectAndFail) {
    const QString sim = QString::fromStdString(StartSim());
    ASSERT_FALSE(sim.isEmpty());
    const QColor green(0, 255, 0), red(255, 0, 0), grey(128, 128, 128);

    ChoosePort(sim);
    EXPECT_EQ(form->shConnect->Color(), green);
    EXPECT_EQ(form->stBar->text(), "Port szeregowy otwarty: " + sim + " @19200,e,8,1");
    EXPECT_TRUE(form->stbTimer->isActive());

    const struct {
        int parity;
        const char* speed;
        const char* mode;
    } changes[] = {{1, "19200", "19200,o,8,1"}, {2, "19200", "19200,n,8,2"}, {3, "4800", "4800,n,8,1"},
                   {0, "38400", "38400,e,8,1"}};
    for (const auto& c : changes) {
        form->cbxParity->setCurrentIndex(c.parity);
        form->cbxBaud->setEditText(c.speed);
        Act([&] { form->cbxParitySelect(); });
        EXPECT_EQ(form->PortMode(), c.mode);
        EXPECT_TRUE(form->PortOpen()) << c.mode;
        EXPECT_EQ(form->shConnect->Color(), green);
    }

    ChoosePort("odłączony");
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(form->shConnect->Color(), grey);
    EXPECT_EQ(form->stBar->text(), "Port zamknięty!");
    form->stBar->setText("x");
    ChoosePort("odłączony");  // nothing open: nothing changes
    EXPECT_EQ(form->stBar->text(), "x");

    Act([&] { form->cbxBaudSelect(); });  // no port: no open
    EXPECT_FALSE(form->PortOpen());

    ChoosePort("/dev/vyx-no-such-port");
    EXPECT_EQ(form->shConnect->Color(), red);
    EXPECT_EQ(form->stBar->text(), "brak urządzenia /dev/vyx-no-such-port");
    ChoosePort("odłączony");
    EXPECT_EQ(form->shConnect->Color(), red);
}

TEST_F(WindowTest, APortWhoseDeviceWentAwayShowsClosed) {
    ChoosePort(QString::fromStdString(StartSim()));
    ChooseDevice(kSampleDevice);
    Click(u"R0");
    sims.back()->Stop(SIGKILL);
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(form->shConnect->Color(), QColor(255, 0, 0));
    EXPECT_EQ(form->stBar->text(), "Port zamknięty!");
}

TEST_F(WindowTest, TimersKeepTheirPeriodWhereTheyMust) {
    form->stbTimer->start();
    QTest::qWait(300);
    ChoosePort("odłączony");  // starts stbTimer again
    EXPECT_LT(form->stbTimer->remainingTime(), 2900);
    form->stBar->setText("Port zamknięty!");
    form->stbTimerTimer();
    EXPECT_EQ(form->stBar->text(), "");

    form->EnableLedTimer(ui::TLed::Rx, true);
    form->SetLedTimerInterval(ui::TLed::Rx, 1000);
    QTest::qWait(300);
    form->SetLedTimerInterval(ui::TLed::Rx, 1000);
    form->EnableLedTimer(ui::TLed::Rx, true);
    EXPECT_LT(form->rxTimer->remainingTime(), 900);

    form->StartHighlightTimer();
    QTest::qWait(300);
    form->StartHighlightTimer();
    EXPECT_GT(form->HighlightTimer->remainingTime(), 300);
}

TEST_F(WindowTest, ResetSendsTheRestartDiagnosticExceptToTheBroadcastAddress) {
    TPty pty;
    ChoosePort(QString::fromStdString(pty.SlavePath()));
    ASSERT_TRUE(form->PortOpen());
    boxes.Answer = false;  // asked first: "Nie" sends nothing
    Act([&] { form->btResetClick(); });
    EXPECT_EQ(boxes.Questions, QStringList{"Zrestartować urządzenie o adresie 247?"});
    EXPECT_TRUE(pty.ReadClient(1, std::chrono::milliseconds(200)).empty());
    boxes.Answer = true;
    Act([&] { form->btResetClick(); });
    EXPECT_EQ(pty.ReadClient(8, std::chrono::seconds(2)), (Bytes{0xF7, 0x08, 0x00, 0x01, 0xFF, 0x00, 0xE4, 0xAD}));
    for (const char* slave : {"0", "256"}) {
        form->eSlave->setText(slave);
        Act([&] { form->btResetClick(); });
        EXPECT_TRUE(pty.ReadClient(1, std::chrono::milliseconds(200)).empty()) << slave;
    }

    ChoosePort("odłączony");
    form->eSlave->setText("247");
    Act([&] { form->btResetClick(); });
    EXPECT_EQ(boxes.Messages, QStringList{"brak połączenia !"});
}

TEST(ErrorBox, FullStopOnlyAfterALetterOrDigit) {
    const std::pair<QString, QString> rows[] = {
        {"'x' is not a valid integer value", "'x' is not a valid integer value."},
        {"rejestr poza zakresem", "rejestr poza zakresem."},
        {"Wartość 12", "Wartość 12."},
        {"brak połączenia !", "brak połączenia !"},
        {"zły plik.", "zły plik."},
        {"Łódź", "Łódź."},
        {"", ""},
    };
    for (const auto& [text, shown] : rows) EXPECT_EQ(ui::ErrorBoxText(text), shown);
}

// The program asked to end: the box open now closes, and every later one is
// answered at once as "Nie" would answer it, so nothing waits for a person.
TEST(DialogBoxes, DismissAllClosesTheOpenBoxAndAnswersTheLaterOnes) {
    ui::TDialogBoxes boxes;
    bool open = false, stuck = false;
    QTimer::singleShot(0, [&] {
        open = QApplication::activeModalWidget() != nullptr;
        boxes.DismissAll();
    });
    // A safety net: a box still open later is a failure, not a hung test.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) stuck = true, box->close();
    });
    guard.start(10000);
    boxes.ShowError(nullptr, "plik nie został zapisany");
    EXPECT_TRUE(open);
    EXPECT_FALSE(boxes.Ask(nullptr, "Zrestartować urządzenie o adresie 247?"));
    EXPECT_TRUE(boxes.AskSaveFileName(nullptr, "/tmp").isEmpty());
    boxes.ShowMessage(nullptr, "brak połączenia !");
    EXPECT_FALSE(stuck);
}

TEST_F(WindowTest, PaneMenus) {
    form->AppendResultLine(u"wynik");
    form->AppendCommLine(u"< $F7");
    const fs::path target = folder / "zapis.txt";
    std::ofstream(target) << "stary";
    boxes.SaveAs = QString::fromStdString(target.string());
    form->Zapiszdopliku1Click();
    EXPECT_EQ(Undated(FileText(target)), "wynik\r\n");
    // A dated name in the log's folder is proposed.
    const QString proposed = QString::fromStdString((folder / "bin" / "wyniki-").string());
    EXPECT_TRUE(boxes.AskedIn.startsWith(proposed) && boxes.AskedIn.endsWith(".txt")) << boxes.AskedIn.toStdString();
    boxes.SaveAs.clear();  // cancelled: nothing written
    form->AppendResultLine(u"drugi");
    form->Zapiszdopliku1Click();
    EXPECT_EQ(Undated(FileText(target)), "wynik\r\n");

    boxes.SaveAs = QString::fromStdString((folder / "no-such-folder" / "x.txt").string());
    Act([&] { form->Zapiszdopliku1Click(); });
    ASSERT_EQ(boxes.Errors.size(), 1);
    EXPECT_TRUE(boxes.Errors[0].startsWith("Nie można utworzyć pliku") &&
                boxes.Errors[0].endsWith(": nie ma takiego pliku ani folderu."))
        << boxes.Errors[0].toStdString();

    form->Kopiuj1Click();
    EXPECT_EQ(form->Memo1->textCursor().selectedText().size(), form->Memo1->toPlainText().size());
    form->Wyczy2Click();
    EXPECT_FALSE(form->Memo2->HasLines());
    EXPECT_TRUE(form->Memo1->HasLines());
    form->AppendCommLine(u"> $F7");
    form->Wyczy1Click();
    EXPECT_FALSE(form->Memo1->HasLines());
    EXPECT_FALSE(form->Memo2->HasLines());

    form->Wersjaprogramu1Click();
    EXPECT_EQ(Last(boxes.Messages), "Program vyx-cfg\r\nwersja: V5 (03-24)");
}

// A read and a write of a REAL register end to end, under C and under a locale
// with a decimal comma.
TEST_F(WindowTest, RealReadAndWriteWhateverTheLocale) {
    const QString sim = QString::fromStdString(StartSim());
    ChoosePort(sim);
    ChooseDevice(kSampleDevice);
    for (const char* locale : {"C", "pl_PL.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        TNode* n100 = Click(u"N100");
        n100->Record.Value = u"1234,5";
        Act([&] { form->Transaction.WriteRegister(*n100, 247); });
        Act([&] { form->VTColumnDblClick(ui::kColName); });
        EXPECT_EQ(n100->Record.Value, u"1234,50") << locale;
        EXPECT_TRUE(Last(form->Memo1->Lines()).endsWith("1234,50"));
        EXPECT_NE(form->ledTX->Color(), kMediumGreyQ);  // its 100 ms may be over already
        EXPECT_EQ(form->ledRx->Color(), QColor(0, 255, 0));
        EXPECT_TRUE(Last(form->Memo2->Lines()).startsWith("> $F70304")) << form->Memo2->toPlainText().toStdString();
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();

    // A port chosen while a reply is handled is closed only once the transaction has ended.
    bool openDuringReply = false;
    QTimer::singleShot(0, form.get(), [&] {
        form->ComCBox->setEditText(QString::fromUtf16(ui::kDisconnected));
        form->Run([&] { form->ComCBoxSelect(); });
        openDuringReply = form->PortOpen();
    });
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_TRUE(openDuringReply);
    EXPECT_FALSE(form->PortOpen());
}

TEST_F(WindowTest, AStatusMessageStaysItsThreeSecondsAndAFieldOutOfRangeSaysWhy) {
    form->eWait->setText("7");
    Act([&] { form->eWaitExit(); });
    EXPECT_EQ(form->eWait->text(), QString::number(kReplyWaitDefaultMs));
    EXPECT_EQ(form->stBar->text(), QString("Czas odp. bez zmian: dozwolone %1–%2 ms").arg(kReplyWaitMinMs).arg(kReplyWaitMaxMs));
    form->eGap->setText("5000");
    Act([&] { form->eGapExit(); });
    EXPECT_EQ(form->eGap->text(), "0");
    EXPECT_EQ(form->stBar->text(), "Przerwa bez zmian: dozwolone 0–1000 ms");
    // Each message restarts the clock: the one just shown is not cleared by an older one's.
    EXPECT_TRUE(form->stbTimer->isActive());
    EXPECT_GT(form->stbTimer->remainingTime(), 1000);
}
