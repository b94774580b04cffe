// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tells a technician beyond values: a register's own description,
// Qt's texts in Polish, why a port did not open, and a command of the sample
// device that visibly works.
#include <signal.h>

#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <cerrno>
#include <cstring>

#include "tests/ui/WindowFixture.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"
#include "ui/Translations.h"

namespace vyx::test {
namespace {

const std::u16string kLongName = u"Współczynnik temperaturowy przetwornika ciśnienia różnicowego";

void WriteLongNameDevice(const fs::path& path) {
    TRegisterTree tree;
    TNode* group = tree.AddChild(nullptr);
    group->Record = {u"Pomiar", u"Wyniki <bieżące>", u"", u"", u"", u"", u""};
    TNode* reg = tree.AddChild(group);
    reg->Record = {kLongName, u"ppm/°C & zakres 0–50", u"40005", u"FINE", u"2", u"RW", u"1,0000"};
    TNode* shortReg = tree.AddChild(group);
    shortReg->Record = {u"R0", u"", u"30001", u"INT", u"1", u"RO", u"1000"};
    SaveRegisterFile(tree, path);
}

}  // namespace

TEST_F(WindowTest, RowsAndTheRegisterLabelDescribeTheWholeRegister) {
    WriteLongNameDevice(folder / "dlugie.dat");
    ChooseDevice(folder / "dlugie.dat", "dlugie.dat");
    form->show();
    TNode* reg = form->Tree.FindRegisterByName(kLongName);
    ASSERT_NE(reg, nullptr);
    const QString nameTip = form->Model->IndexOf(reg, ui::kColName).data(Qt::ToolTipRole).toString();
    EXPECT_EQ(nameTip, "<qt><b>Współczynnik temperaturowy przetwornika ciśnienia różnicowego</b><br>Adres: 40005"
                       "<br>Typ: FINE<br>Długość: 2<br>Dostęp: RW<br><i>ppm/°C &amp; zakres 0–50</i></qt>");
    // Every column of the row, and a group: its name and note only, escaped.
    // The value's also says that the file gave it (until a read does).
    EXPECT_EQ(form->Model->IndexOf(reg, ui::kColValue).data(Qt::ToolTipRole).toString(),
              nameTip.chopped(5) + "<br>wartość z pliku, nieodczytana</qt>");
    EXPECT_EQ(form->Model->IndexOf(reg->Parent()).data(Qt::ToolTipRole).toString(),
              "<qt><b>Pomiar</b><br><i>Wyniki &lt;bieżące&gt;</i></qt>");

    // The label shows the current register; the whole name is its tooltip once cut.
    Click(u"R0");
    EXPECT_FALSE(form->lbReg->IsCut());
    EXPECT_EQ(form->lbReg->CutTip(), "");
    Click(kLongName);
    const QString whole = "40005  " + QString::fromStdU16String(kLongName);
    EXPECT_EQ(form->lbReg->text(), whole);
    EXPECT_TRUE(form->lbReg->IsCut()) << form->lbReg->width();
    EXPECT_EQ(form->lbReg->CutTip(), whole);
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), form->lbReg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->lbReg, &hover);
    EXPECT_EQ(QToolTip::text(), whole);
    QToolTip::hideText();
}

TEST_F(WindowTest, QtsOwnTextsArePolish) {
    ASSERT_TRUE(ui::InstallQtTranslations()) << "no qtbase_pl.qm in " << ui::QtTranslationsFolder().toStdString();
    EXPECT_TRUE(ui::InstallQtTranslations());  // once is enough
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "Anuluj");
    // The context menu of the window's own fields.
    std::unique_ptr<QMenu> menu(form->eSlave->createStandardContextMenu());
    QStringList texts;
    for (const QAction* a : menu->actions()) texts << a->text();
    EXPECT_TRUE(texts.join('|').contains("Wklej")) << texts.join('|').toStdString();
}

TEST_F(WindowTest, APortThatDoesNotOpenSaysWhy) {
    ChoosePort("/dev/vyx-no-such-port");
    EXPECT_EQ(form->shConnect->Color(), QColor(255, 0, 0));
    EXPECT_EQ(form->stBar->text(), "brak urządzenia /dev/vyx-no-such-port");
    EXPECT_FALSE(form->stbTimer->isActive()) << "the reason stays until the next choice";

    // Held by another program: a `vyx monitor` reading from it.
    const std::string sim = StartSim();
    ASSERT_FALSE(sim.empty());
    TProcess holder(VYX_BINARY, {"monitor", "--port", sim, "--file", kSampleDevice, "R0", "--period", "200", "--csv"});
    ASSERT_FALSE(holder.FirstLine(std::chrono::seconds(30)).empty()) << "the monitor did not read";
    ChoosePort(QString::fromStdString(sim));
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(form->stBar->text(), "port " + QString::fromStdString(sim) + " jest zajęty przez inny program");
    holder.Stop(SIGINT);
    ChoosePort(QString::fromStdString(sim));
    EXPECT_TRUE(form->PortOpen());
    EXPECT_TRUE(form->stBar->text().startsWith("Port szeregowy otwarty: "));

    // The other reasons, as the serial unit classifies them (tests/serial).
    const QString p = "/dev/ttyUSB0", m = "19200,e,8,1";
    EXPECT_EQ(ui::PortFaultText(TOpenFault::NoPermission, EACCES, p, m),
              "brak uprawnień do /dev/ttyUSB0: dodaj użytkownika do grupy dialout i zaloguj się ponownie");
    EXPECT_EQ(ui::PortFaultText(TOpenFault::LineRefused, 0, p, m), "port /dev/ttyUSB0 odrzucił ustawienia 19200,e,8,1");
    EXPECT_EQ(ui::PortFaultText(TOpenFault::NotTerminal, ENOTTY, "/dev/null", m),
              "/dev/null nie jest portem szeregowym");
    EXPECT_EQ(ui::PortFaultText(TOpenFault::System, EIO, p, m),
              "nie można otworzyć /dev/ttyUSB0: " + QString::fromLocal8Bit(strerror(EIO)));
}

TEST_F(WindowTest, TickingTheZeroingCommandZeroesTheMeasurementCounter) {
    ChoosePort(QString::fromStdString(StartSim()));
    ASSERT_TRUE(form->PortOpen());
    ChooseDevice(kSampleDevice);
    // As a double-click on the register's name reads it.
    const auto read = [this](std::u16string_view name) {
        TNode* node = Click(name);
        Act([&] { form->VTColumnDblClick(ui::kColName); });
        return node->Record.Value;
    };
    for (int i = 0; i < 3; ++i) read(u"R0");
    EXPECT_EQ(read(u"Licznik pomiarów"), u"3");

    TNode* command = form->Tree.FindRegisterByName(u"Zeruj licznik pomiarów");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->CheckType, kCheckTypeRadioButton);
    form->Model->setData(form->Model->IndexOf(command), Qt::Checked, Qt::CheckStateRole);
    for (int round = 0; round < 5; ++round) QCoreApplication::processEvents();  // the write runs after the tick
    Settle();
    EXPECT_EQ(form->Memo1->Lines().filter("40070").size(), 1) << form->Memo1->Lines().join('\n').toStdString();
    EXPECT_EQ(read(u"Licznik pomiarów"), u"0");
    EXPECT_EQ(read(u"Polecenie"), u"0") << "the device clears the command";
}

}  // namespace vyx::test
