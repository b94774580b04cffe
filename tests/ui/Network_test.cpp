// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a serial device server: the port field takes a network name,
// greys what only a serial line has, and reads through it.
#include <QComboBox>
#include <QLineEdit>

#include "tests/support/ModbusTcpSlave.h"
#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

TEST_F(WindowTest, AModbusTcpPortReadsR0AndGreysSpeedAndParity) {
    const QString serial = QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0", "--mbtcp", "0"}));
    ASSERT_FALSE(serial.isEmpty());
    const QString port = QString::fromStdString(Sim().Line(1));
    ASSERT_TRUE(port.startsWith("mbtcp://127.0.0.1:")) << port.toStdString();

    ChoosePort(port);
    ASSERT_TRUE(form->PortOpen());
    EXPECT_EQ(form->stBar->text(), "Połączono: " + port);
    EXPECT_FALSE(form->cbxBaud->isEnabled());
    EXPECT_FALSE(form->cbxParity->isEnabled());
    // Another reply wait is said after the name, as on a serial line.
    form->eWait->setText("1500");
    Act([&] { form->eWaitExit(); });
    ChoosePort(port);
    ASSERT_TRUE(form->PortOpen());
    EXPECT_EQ(form->stBar->text(), "Połączono: " + port + ", odp. 1500 ms");
    EXPECT_FALSE(form->cbxBaud->isEnabled());
    EXPECT_FALSE(form->cbxParity->isEnabled());
    ChooseDevice(kSampleDevice);
    TNode* r0 = Click(u"R0");
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(r0->Record.Value, u"1000");
    // The communication pane shows the MBAP header as it went over the wire.
    EXPECT_TRUE(form->Memo2->Lines().last().startsWith("> $0001000000")) << form->Memo2->toPlainText().toStdString();

    ChoosePort(QString("mbtcp://127.0.0.1:%1").arg(ClosedPort()));
    EXPECT_FALSE(form->PortOpen());
    EXPECT_TRUE(form->stBar->text().startsWith("połączenie odrzucone: ")) << form->stBar->text().toStdString();

    // Back on the serial line, its settings count again.
    ChoosePort(serial);
    EXPECT_TRUE(form->PortOpen());
    EXPECT_TRUE(form->cbxBaud->isEnabled());
    EXPECT_TRUE(form->cbxParity->isEnabled());
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(WindowTest, ADamagedModbusTcpHeaderIsNamedNotTakenForLineNoise) {
    // The simulator sends its broken CRCs on Modbus TCP as a header of protocol $5A5A.
    ASSERT_FALSE(StartSim(kSampleDevice, {"--crc-errors", "1", "--mbtcp", "0"}).empty());
    const QString port = QString::fromStdString(Sim().Line(1));
    ChoosePort(port);
    ASSERT_TRUE(form->PortOpen());
    ChooseDevice(kSampleDevice);
    TNode* r0 = Click(u"R0");
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(r0->Record.Value, u"");
    EXPECT_EQ(form->stReason->text(), "uszkodzona odpowiedź: nagłówek MBAP (protokół 23130)");
    EXPECT_TRUE(form->Memo2->Lines().last().startsWith("> $00015A5A")) << form->Memo2->toPlainText().toStdString();
}
