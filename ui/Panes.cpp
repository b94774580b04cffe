// SPDX-License-Identifier: GPL-3.0-or-later
// The result and communication panes with their menus, the status bar, and the
// boxes: what the window shows in text. Every result line also goes to the journal.
#include "ui/MainWindow.h"

#include <QLabel>
#include <QTimer>

#include "base/SafeSave.h"
#include "base/Text.h"
#include "ui/Boxes.h"
#include "ui/FormSupport.h"
#include "ui/JournalKeeper.h"
#include "ui/LogFile.h"
#include "ui/Shape.h"
#include "ui/TextPane.h"

namespace vyx::ui {
namespace fs = std::filesystem;

void TForm1::Wyczy1Click() {
    Memo1->ClearLines();
    Memo2->ClearLines();
}

void TForm1::Kopiuj1Click() { Memo1->selectAll(); }

void TForm1::Zapiszdopliku1Click() {
    const QString proposed = QString::fromStdString(PathToUtf8(ResultsFilePath(program_, std::time(nullptr))));
    const QString name = boxes_.AskSaveFileName(this, proposed);
    if (name.isEmpty()) return;
    SaveFileBytes(PathFromUtf8(name.toStdString()), ResultBytes());
}

std::string TForm1::ResultBytes() const {
    std::vector<std::u16string> lines;
    for (const QString& line : Memo1->Lines()) lines.push_back(line.toStdU16String());
    return LogBytes(lines);
}

void TForm1::Wyczy2Click() { Memo2->ClearLines(); }

void TForm1::Wersjaprogramu1Click() { ShowMessage(u"Program vyx-cfg\r\nwersja: V5 (03-24)"); }

void TForm1::stbTimerTimer() { stBar->clear(); }

void TForm1::Say(const QString& text, bool lasting) {
    stBar->setText(text);
    if (lasting)
        stbTimer->stop();
    else
        stbTimer->start();
}

void TForm1::ShowError(const QString& text) { boxes_.ShowError(this, text); }

void TForm1::ShowPortGone() {
    if (portOpen_ || connecting_ || shConnect->Color() != ToQColor(kGreen)) return;
    shConnect->SetColor(ToQColor(kRed));
    Say(QStringLiteral("Port zamknięty!"));
}

void TForm1::ShowMessage(std::u16string_view text) { boxes_.ShowMessage(this, Q(text)); }
void TForm1::AppendCommLine(std::u16string_view line) { Memo2->AppendLine(Q(line)); }

void TForm1::AppendResultLine(std::u16string_view line) {
    // The log holds times of day only: the session's first result says the date.
    if (!dated_) {
        dated_ = true;
        AppendResultLine(SessionLine(std::time(nullptr)));
    }
    Memo1->AppendLine(Q(line));
    if (journal_) JournalChanged(journal_->Append(line));
}

}  // namespace vyx::ui
