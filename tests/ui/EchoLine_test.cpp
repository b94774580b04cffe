// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a line whose RS-485 adapter returns each request before the
// device's reply: without "Echo" every read fails as an echo, with it the value
// is read.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "tests/support/ScriptedLine.h"
#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

TEST_F(WindowTest, AnEchoingLineReadsOnlyWithEchoTicked) {
    // The request comes back at once; the device answers every register with 1234.
    TScriptedLine line([](const Bytes& request, size_t) {
        const std::vector<uint16_t> words(static_cast<size_t>(request.at(4) << 8 | request.at(5)), 1234);
        return std::vector<TChunk>{{{}, request}, {std::chrono::milliseconds(5), ReadReply(request, words)}};
    });
    ChoosePort(QString::fromStdString(line.Path()));
    ASSERT_TRUE(form->PortOpen());
    form->eWait->setText("3000");  // a busy machine may answer late
    Act([&] { form->eWaitExit(); });
    ChooseDevice(kSampleDevice);
    const QString echoed = "odebrano echo zapytania: zaznacz „Echo”";

    TNode* r0 = Click(u"R0");
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(r0->Record.Value, u"");
    EXPECT_EQ(form->stReason->text(), echoed);
    // It ends a walk and counts as a failed monitoring reading, as a CRC error does.
    form->VT->setCurrentIndex(form->Model->IndexOf(r0->Parent()));
    Act([&] { form->VTClick(); });
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano przy 30001 R0: " + echoed);
    Click(u"R0");
    form->cbMonitor->click();
    Settle();
    form->cbMonitor->click();
    EXPECT_EQ(form->Memo1->Lines().value(form->Memo1->Lines().size() - 2), "nieudane odczyty: 1 z 1");

    // Ticked, the next read takes the echo first: no reconnecting.
    form->cbEcho->click();
    EXPECT_TRUE(form->Transaction.Line().Echo);
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(r0->Record.Value, u"1234");
    EXPECT_EQ(form->stReason->text(), "");
    EXPECT_TRUE(form->Memo2->Lines().contains("> $F70400000001255C (echo)"))
        << form->Memo2->toPlainText().toStdString();
}
