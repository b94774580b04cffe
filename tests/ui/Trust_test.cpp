// SPDX-License-Identifier: GPL-3.0-or-later
// What a technician must be able to trust: nothing is chosen by leaving a field,
// a failed transaction never looks good, no result line is lost, bad device files
// never hang the window, and the focus never lands in a field by accident.
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>
#include <sstream>

#include "tests/support/FileText.h"
#include "tests/ui/WindowFixture.h"
#include "ui/Journal.h"
#include "ui/TextPane.h"

using namespace vyx;
using namespace vyx::test;

using TrustTest = WindowTest;

TEST_F(TrustTest, OnlyAPickOrEnterChoosesAndOnlyOnce) {
    StartSim();
    const QString sim = QString::fromStdString((folder / "vyx" / "VXT-20F").string());  // as the list names it
    ShowActive();
    QSignalSpy chosen(form->ComCBox, &ui::TChoiceBox::Chosen);

    // Into the field (the list is refilled), a listed name, out again: nothing opens.
    Focus(form->ComCBox);
    ASSERT_GE(form->ComCBox->findText(sim), 0);
    form->ComCBox->setEditText(sim);
    Focus(form->eSlave);
    Focus(form->ComCBox);
    Focus(form->ePeriod);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_FALSE(form->PortOpen());

    // Enter opens it once.
    Focus(form->ComCBox);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(chosen.count(), 1);
    ASSERT_TRUE(form->PortOpen());

    // The wheel and the arrow keys over a closed list choose no other speed.
    Focus(form->cbxBaud);
    const QPointF at(5, 5);
    QWheelEvent wheel(at, form->cbxBaud->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->cbxBaud, &wheel);
    QTest::keyClick(form->cbxBaud, Qt::Key_Down);
    EXPECT_EQ(form->cbxBaud->currentText(), "19200");
    EXPECT_EQ(form->PortMode(), "19200,e,8,1");

    // The arrow key opened the list: a pick there is a choice.
    QAbstractItemView* popup = form->cbxBaud->view();
    ASSERT_TRUE(popup->isVisible());
    popup->setCurrentIndex(popup->model()->index(0, 0));
    QTest::keyClick(popup, Qt::Key_Return);
    Settle();
    EXPECT_EQ(form->PortMode(), "9600,e,8,1");

    // Torn down with the port field focused and a listed name in it: no handler runs.
    Focus(form->ComCBox);
    form->ComCBox->setEditText(QString::fromUtf16(ui::kDisconnected));
    form.reset();
}

TEST_F(TrustTest, AFailedTransactionShowsAtOnceAndSaysWhy) {
    // Every reply an exception: reads, a walk and a calibration all fail.
    ChoosePort(QString::fromStdString(StartSim(kSampleDevice, {"--exceptions", "1"})));
    ChooseDevice(kSampleDevice);
    TNode* r0 = Click(u"R0");
    r0->Record.Value = u"999";
    QSignalSpy changed(form->Model, &QAbstractItemModel::dataChanged);
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(r0->Record.Value, u"");
    const QModelIndex row = form->Model->IndexOf(r0);
    EXPECT_TRUE(std::any_of(changed.begin(), changed.end(), [&](const QList<QVariant>& args) {
        return args[0].toModelIndex().parent() == row.parent() && args[0].toModelIndex().row() <= row.row() &&
               args[1].toModelIndex().row() >= row.row();
    }));
    EXPECT_EQ(form->stReason->text(), "wyjątek 4: awaria urządzenia");

    // A walk (naming the register) and a calibration cut short say so, once, in the result pane.
    TNode* group = r0->Parent();
    form->VT->setCurrentIndex(form->Model->IndexOf(group));
    Act([&] { form->VTClick(); });
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano przy 30001 R0: wyjątek 4: awaria urządzenia");
    form->eMed->setText("77");
    form->cbxKalibracja->setCurrentIndex(0);
    Act([&] { form->Button1Click(); });
    EXPECT_EQ(Last(form->Memo1->Lines()), "przerwano: wyjątek 4: awaria urządzenia (odczyt 1 z 16)");
    EXPECT_EQ(form->eMed->text(), "77");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();

    // A double-click that cannot read says why.
    Act([&] { form->Disconnect(); });
    Act([&] { form->VTColumnDblClick(ui::kColName); });
    EXPECT_TRUE(form->stBar->text().startsWith("Port zamknięty")) << form->stBar->text().toStdString();
}

TEST_F(TrustTest, BadDeviceFilesAreRefusedAtOnceAndTheTreeStays) {
    ChooseDevice(kSampleDevice);
    const size_t nodes = form->Tree.Count();
    const fs::path bin = folder / "bin";
    ASSERT_EQ(::mkfifo((bin / "fifo.dat").c_str(), 0600), 0);
    fs::create_directory(bin / "folder.dat");
    fs::create_symlink("/dev/zero", bin / "zero.dat");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {{"fifo.dat", "to nie jest zwykły plik"}, {"folder.dat", "to jest folder"}, {"zero.dat", "to nie jest zwykły plik"}};
    for (const auto& c : cases) {
        boxes.Errors.clear();
        form->cbxDevice->setEditText(c.name);
        Act([&] { form->cbxDeviceSelect(); });
        ASSERT_EQ(boxes.Errors.size(), 1) << c.name;
        EXPECT_TRUE(boxes.Errors[0].startsWith("Nie można otworzyć pliku \"" + QString::fromStdString((bin / c.name).string())))
            << boxes.Errors[0].toStdString();
        EXPECT_TRUE(boxes.Errors[0].contains(QString::fromUtf8(c.reason))) << boxes.Errors[0].toStdString();
        EXPECT_EQ(form->Tree.Count(), nodes) << c.name;
    }

    // A name in Windows-1250 ("Urządzenie.dat") is listed readably and loads.
    fs::copy_file(kSampleDevice, bin / "Urz\xB9" "dzenie.dat");
    fs::remove(bin / "VXT-20F.dat");
    Act([&] { form->cbxDeviceEnter(); });
    ASSERT_GE(form->cbxDevice->findText(QStringLiteral("Urządzenie.dat")), 0);
    form->Tree.Clear();
    form->cbxDevice->setEditText(QStringLiteral("Urządzenie.dat"));
    Act([&] { form->cbxDeviceSelect(); });
    EXPECT_EQ(form->Tree.Count(), nodes);
}

TEST_F(TrustTest, DisabledControlsNeverHandTheFocusToAField) {
    ChoosePort(QString::fromStdString(StartSim()));
    ChooseDevice(kSampleDevice);
    ShowActive();
    // During a calibration "Start" is disabled; the focus must not land in a field.
    Focus(form->Button1);
    form->cbxKalibracja->setCurrentIndex(0);
    form->eCount->setText("2");
    QWidget* during = nullptr;
    QTimer::singleShot(0, form.get(), [&] { during = QApplication::focusWidget(); });
    Act([&] { form->Button1Click(); });
    EXPECT_EQ(qobject_cast<QLineEdit*>(during), nullptr) << (during ? during->metaObject()->className() : "none");
    EXPECT_EQ(QApplication::focusWidget(), form->Button1)
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");

    // Monitoring keeps the lists enabled and the focus in the port list.
    Click(u"R0");
    Focus(form->cbxBaud);
    form->ePeriod->setText("100");
    form->cbMonitor->setChecked(true);
    Act([&] { form->cbMonitorClick(); });
    Spin(300);
    EXPECT_EQ(QApplication::focusWidget(), form->cbxBaud);
    form->cbMonitor->setChecked(false);
    Act([&] { form->cbMonitorClick(); });
}
