// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps of its results: the log written on close (beside the
// program, else in the state folder), the journal and its recovery, and the log
// at the end of a session. These run on Windows too.
#include <algorithm>
#include <fstream>

#include "tests/support/FileText.h"
#include "tests/ui/WindowFixture.h"
#include "ui/Journal.h"
#include "ui/LogFile.h"
#include "ui/TextPane.h"
#include "ui/WarningArea.h"

using namespace vyx;
using namespace vyx::test;

TEST_F(WindowTest, LogOnClose) {
    const fs::path log = folder / "bin" / "vyx-cfg.log";
    {
        std::ofstream(log) << "old";
        EXPECT_TRUE(form->close());  // empty pane: no file written
        EXPECT_EQ(FileText(log), "old");
    }
    const struct {
        QStringList appended;
        QString typed;
        std::string file;
    } rows[] = {
        {{""}, "", "\r\n"},
        {{"a", "", "zażółć"}, "", "a\r\n\r\nza\xBF\xF3\xB3\xE6\r\n"},
        {{}, "wpis\nręczny", "wpis\r\nr\xEA" "czny\r\n"},
    };
    for (const auto& row : rows) {
        form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
        for (const QString& line : row.appended) form->AppendResultLine(line.toStdU16String());
        if (!row.typed.isEmpty()) form->Memo1->setPlainText(row.typed);
        EXPECT_TRUE(form->close());
        // The program's first line brings the date; a pane filled by hand has none.
        const std::string file = FileText(log);
        EXPECT_EQ(IsDateLine(QString::fromStdString(file.substr(0, file.find('\r')))), !row.appended.isEmpty());
        EXPECT_EQ(Undated(file), row.file);
    }
    // Every earlier session's log is kept beside the last one.
    std::vector<std::string> logs;
    for (const auto& entry : fs::directory_iterator(folder / "bin"))
        if (entry.path().extension() == ".log") logs.push_back(FileText(entry.path()));
    EXPECT_EQ(logs.size(), 4u);
    EXPECT_NE(std::find(logs.begin(), logs.end(), "old"), logs.end());
    EXPECT_TRUE(boxes.Errors.isEmpty());
}

TEST_F(WindowTest, CloseUnderARunningHandlerWaitsForItsEnd) {
    form->show();
    form->AppendResultLine(u"wynik");
    Act([&] {
        form->close();
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(fs::exists(folder / "bin" / "vyx-cfg.log"));
    });
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Undated(FileText(folder / "bin" / "vyx-cfg.log")), "wynik\r\n");
}

TEST_F(WindowTest, LogGoesToTheStateFolderElseTheWindowStaysOpen) {
    // A program folder below a plain file refuses the log, also for root.
    std::ofstream(folder / "plain") << "";
    form = std::make_unique<ui::TForm1>(boxes, folder / "plain" / "vyx-cfg");
    form->show();
    form->AppendResultLine(u"wynik");
    EXPECT_TRUE(form->close());
    EXPECT_EQ(Undated(FileText(folder / "state" / "vyx-cfg" / "vyx-cfg.log")), "wynik\r\n");
    ASSERT_EQ(boxes.Errors.size(), 1);
    EXPECT_TRUE(boxes.Errors[0].contains(QString::fromStdString(PathToUtf8(folder / "state" / "vyx-cfg" / "vyx-cfg.log"))));

    SetStateHome(folder / "plain" / "state");
    form = std::make_unique<ui::TForm1>(boxes, folder / "plain" / "vyx-cfg");
    form->show();
    form->AppendResultLine(u"wynik");
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Last(boxes.Errors).contains("Log nie został zapisany"));
    form->AppendResultLine(u"dalej");  // still usable
    // The state folder refuses the journal too: the first result says so.
    const QStringList lines = Undated(form->Memo1->Lines());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("wyniki nie są zabezpieczane: Nie można utworzyć folderu")) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1), (QStringList{"wynik", "dalej"}));
    EXPECT_EQ(form->stWarning->text(), "wyniki nie są zabezpieczane: część ścieżki nie jest folderem");
}

// A state folder that refuses the journal, then takes it: the lines wait and
// reach it, the pane says when results stopped and started being kept, and
// the warning stays in the status bar in between whatever else is said.
TEST_F(WindowTest, AJournalThatCannotBeWrittenIsSaidAndResumesOnItsOwn) {
    std::ofstream(folder / "plain") << "";
    SetStateHome(folder / "plain");
    form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
    form->show();
    EXPECT_EQ(form->Journal(), nullptr);
    EXPECT_TRUE(form->Memo1->Lines().isEmpty());  // an empty pane still writes no log
    EXPECT_EQ(form->stWarning->text(), "wyniki nie są zabezpieczane: część ścieżki nie jest folderem");
    form->AppendResultLine(u"R0 = 1");
    fs::remove(folder / "plain");
    ASSERT_TRUE(WaitUntil([&] { return form->Journal() != nullptr; }));
    EXPECT_TRUE(form->stWarning->text().isEmpty());
    const QStringList lines = Undated(form->Memo1->Lines());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("wyniki nie są zabezpieczane: Nie można utworzyć folderu"));
    EXPECT_EQ(lines.mid(1), (QStringList{"R0 = 1", "wyniki znów są zabezpieczane"}));
    std::vector<std::u16string> shown;
    for (const QString& line : form->Memo1->Lines()) shown.push_back(line.toStdU16String());
    EXPECT_EQ(FileText(form->Journal()->Path()), ui::LogBytes(shown));
}

TEST_F(WindowTest, ResultLinesAreNeitherUndoneNorLostAndAnEmptiedPaneWritesNoLog) {
    ShowActive();
    const fs::path log = folder / "bin" / "vyx-cfg.log";
    const fs::path journal = form->Journal()->Path();
    form->AppendResultLine(u"40001  N100        zażółć");
    EXPECT_EQ(Undated(FileText(journal)), "40001  N100        za\xBF\xF3\xB3\xE6\r\n");

    Focus(form->Memo1);
    QTest::keyClicks(form->Memo1, "x");
    QTest::keyClick(form->Memo1, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(form->Memo1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Undated(form->Memo1->Lines()), QStringList{"40001  N100        zażółć"});

    // A session that ends without closing leaves its journal, which the next window recovers.
    form.reset();
    form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
    const QString said = Last(form->Memo1->Lines());
    ASSERT_TRUE(said.startsWith("odzyskano wyniki poprzedniej sesji: ")) << said.toStdString();
    const fs::path recovered = PathFromUtf8(said.mid(said.indexOf(": ") + 2).toStdString());
    EXPECT_EQ(Undated(FileText(recovered)), "40001  N100        za\xBF\xF3\xB3\xE6\r\n");
    EXPECT_EQ(form->stBar->text(), said);

    // Emptied by hand, the pane counts as empty: an existing log stays as it was.
    ShowActive();
    std::ofstream(log) << "old";
    Focus(form->Memo1);
    form->Memo1->selectAll();
    QTest::keyClick(form->Memo1, Qt::Key_Delete);
    EXPECT_FALSE(form->Memo1->HasLines());
    const fs::path live = form->Journal()->Path();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(FileText(log), "old");
    EXPECT_FALSE(fs::exists(live));  // a clean close leaves no journal
}

TEST_F(WindowTest, AnEndingSessionWritesTheLogWithoutABoxAndTheJournalGoesOnlyWithEveryLineInIt) {
    const fs::path log = folder / "bin" / "vyx-cfg.log";
    form->AppendResultLine(u"wynik");
    const fs::path journal = form->Journal()->Path();
    form->SessionEnds();
    EXPECT_EQ(Undated(FileText(log)), "wynik\r\n");
    form->AppendResultLine(u"po");  // another program cancelled the end: the window goes on
    form->SessionQuits();
    EXPECT_TRUE(fs::exists(journal));
    form->SessionEnds();
    form->SessionQuits();
    EXPECT_EQ(Undated(FileText(log)), "wynik\r\npo\r\n");
    EXPECT_FALSE(fs::exists(journal));

    // Where no log can be written, the journal stays for the next start; never a box.
    std::ofstream(folder / "plain") << "";
    form = std::make_unique<ui::TForm1>(boxes, folder / "plain" / "vyx-cfg");
    SetStateHome(folder / "plain");
    form->AppendResultLine(u"wynik");
    ASSERT_NE(form->Journal(), nullptr);
    const fs::path kept = form->Journal()->Path();
    form->SessionEnds();
    form->SessionQuits();
    EXPECT_EQ(Undated(FileText(kept)), "wynik\r\n");
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("|").toStdString();
}
