// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/JournalKeeper.h"

#include <utility>

namespace vyx::ui {

TJournalKeeper::TJournalKeeper(std::filesystem::path folder) : folder_(std::move(folder)) {
    try {
        journal_ = std::make_unique<TJournal>(folder_);
    } catch (const FileError& e) {
        fault_ = e;
    }
}

void TJournalKeeper::Flush() {
    while (!waiting_.empty()) {
        if (!journal_->Append(waiting_.front())) {
            fault_ = journal_->Failure();
            return;
        }
        waiting_.pop_front();
    }
    fault_.reset();
}

// What the state after a call means for the window.
TJournalChange TJournalKeeper::Settle() {
    if (fault_ && !waiting_.empty() && !announced_) {
        announced_ = true;
        return TJournalChange::Stopped;
    }
    if (!fault_ && announced_) {
        announced_ = false;
        return TJournalChange::Resumed;
    }
    return TJournalChange::None;
}

TJournalChange TJournalKeeper::Append(std::u16string_view line) {
    if (discarded_) return TJournalChange::None;
    waiting_.emplace_back(line);
    // While failing, lines only wait: the retry comes with the next Tick.
    if (journal_ && !fault_) Flush();
    return Settle();
}

TJournalChange TJournalKeeper::Tick() {
    if (discarded_) return TJournalChange::None;
    if (!journal_) {
        try {
            journal_ = std::make_unique<TJournal>(folder_);
        } catch (const FileError& e) {
            fault_ = e;
            return Settle();
        }
    }
    Flush();
    if (!fault_ && !journal_->Sync()) fault_ = journal_->Failure();
    return Settle();
}

void TJournalKeeper::Discard() {
    if (journal_) journal_->Discard();
    journal_.reset();
    waiting_.clear();
    discarded_ = true;
}

}  // namespace vyx::ui
