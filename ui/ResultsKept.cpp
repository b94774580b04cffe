// SPDX-License-Identifier: GPL-3.0-or-later
// The window's results kept: the journal that holds every result line as it
// comes, the warning while it cannot, and the log written when the session
// ends (a logout or shutdown) before the window closes.
#include <QLabel>
#include <QTimer>
#include <ctime>

#include "base/FileError.h"
#include "base/Text.h"
#include "ui/FormSupport.h"
#include "ui/Journal.h"
#include "ui/JournalKeeper.h"
#include "ui/LogFile.h"
#include "ui/MainWindow.h"
#include "ui/TextPane.h"
#include "ui/WarningArea.h"

namespace vyx::ui {
namespace fs = std::filesystem;

void TForm1::StartJournal() {
    const fs::path folder = StateFolder();
    for (const fs::path& recovered : RecoverJournals(folder)) {
        const QString text = QStringLiteral("odzyskano wyniki poprzedniej sesji: ") + QString::fromStdString(PathToUtf8(recovered));
        Say(text);
        if (!dated_) Memo1->AppendLine(Q(SessionLine(std::time(nullptr))));
        dated_ = true;
        Memo1->AppendLine(text);  // the journal below takes it too
    }
    journal_ = std::make_unique<TJournalKeeper>(folder);
    // What was said above goes into the new journal too.
    for (const QString& line : Memo1->Lines()) JournalChanged(journal_->Append(line.toStdU16String()));
    JournalChanged(TJournalChange::None);
    JournalTimer->start();
}

const TJournal* TForm1::Journal() const { return journal_ ? journal_->Journal() : nullptr; }

void TForm1::JournalChanged(TJournalChange change) {
    const std::optional<FileError>& fault = journal_->Fault();
    const QString reason = fault ? QString::fromUtf8(fault->Reason().Polish) : QString();
    stWarning->SetWarning(TWarningSlot::Journal,
                          fault ? QStringLiteral("wyniki nie są zabezpieczane: ") + reason : QString());
    if (change == TJournalChange::Stopped)
        AppendResultLine(u"wyniki nie są zabezpieczane: " + QString::fromUtf8(fault->Polish()).toStdU16String());
    else if (change == TJournalChange::Resumed)
        AppendResultLine(u"wyniki znów są zabezpieczane");
}

void TForm1::SessionEnds() {
    if (!journal_) return;  // closed already
    sessionLog_.reset();
    const std::string bytes = ResultBytes();
    if (Memo1->HasLines() && !SaveLog(program_, bytes, !logWritten_).Saved) {
        JournalChanged(journal_->Tick());
        return;
    }
    logWritten_ = logWritten_ || Memo1->HasLines();
    WriteSettings(CurrentSettings(), SettingsFilePath());
    sessionLog_ = bytes;
}

void TForm1::SessionQuits() {
    if (journal_ && sessionLog_ && *sessionLog_ == ResultBytes()) {
        journal_->Discard();
        journal_.reset();
    }
}

}  // namespace vyx::ui
