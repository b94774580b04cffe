// SPDX-License-Identifier: GPL-3.0-or-later
// The "Serwis" menu's snapshots against the simulator: read as a walk reads,
// cancelled with "Anuluj", refused without a port.
#include <QProgressDialog>
#include <QTimer>

#include "tests/ui/WindowFixture.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

namespace {

class ServiceMenuTest : public WindowTest {};

}  // namespace

TEST_F(ServiceMenuTest, TheAsFoundStateReadsEveryRegisterAsAWalkShowsIt) {
    NEEDS_SIMULATOR();
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--noise", "0"})));
    ChooseDevice(kSampleDevice);
    form->Run([&] { form->StanZastanyClick(); });
    ASSERT_TRUE(form->AsFound.has_value());
    EXPECT_TRUE(form->AsFound->Complete());
    EXPECT_EQ(form->AsFound->Device, "VXT-20F.dat");
    const QStringList lines = form->Memo1->Lines();
    const size_t count = form->AsFound->Registers.size();
    ASSERT_GE(lines.size(), static_cast<qsizetype>(count + 3));
    EXPECT_EQ(lines[1], "stan zastany:");
    EXPECT_EQ(Last(lines), QString("odczytano rejestrów: %1 z %1").arg(count));
    const service::TSnapshotRegister* r0 = form->AsFound->Find("R0", "30001");
    ASSERT_NE(r0, nullptr);
    EXPECT_EQ(QString::fromStdString(r0->Value), "1000");
    EXPECT_EQ(form->Tree.FindRegisterByName(u"R0")->Record.Value, u"1000");  // the tree shows it
    EXPECT_TRUE(lines.contains("30001  R0          1000"));
    EXPECT_TRUE(form->VT->isEnabled());
    EXPECT_TRUE(boxes.Errors.isEmpty() && boxes.Messages.isEmpty()) << boxes.Errors.join("|").toStdString();
}

TEST_F(ServiceMenuTest, AnulujKeepsNothingAndWithoutAPortNothingStarts) {
    NEEDS_SIMULATOR();
    ChooseDevice(kSampleDevice);
    form->Run([&] { form->StanZastanyClick(); });
    EXPECT_FALSE(form->AsFound.has_value());
    EXPECT_EQ(boxes.Messages, QStringList{"brak połączenia !"});

    // A slow device: "Anuluj" comes while its registers are being read.
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--delay", "100"})));
    QTimer::singleShot(500, form.get(), [&] {
        ASSERT_NE(form->SnapshotProgress, nullptr);
        form->SnapshotProgress->cancel();
    });
    form->Run([&] { form->StanZastanyClick(); });
    EXPECT_FALSE(form->AsFound.has_value());
    EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano: anulowano");
    EXPECT_EQ(form->SnapshotProgress, nullptr);
    EXPECT_TRUE(form->VT->isEnabled());
}
