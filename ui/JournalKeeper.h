// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's journal kept going through failures. A line that cannot be
// written (a full disk, a folder that refuses files) waits in memory with every
// line after it, in order; each Tick tries again, making the journal first when
// it could not be made, and writes what waits once the disk takes it. Nothing
// is lost while the program runs, and the file never holds a torn line.
// Nothing here knows the toolkit.
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/FileError.h"
#include "ui/Journal.h"

namespace vyx::ui {

// What a call changed, for the window's result pane: Stopped when a line could
// not be written (said once until the journal writes again), Resumed when every
// line that waited since has been written.
enum class TJournalChange { None, Stopped, Resumed };

class TJournalKeeper {
public:
    // Makes the journal in `folder` at once when it can; never throws.
    explicit TJournalKeeper(std::filesystem::path folder);

    TJournalChange Append(std::u16string_view line);
    // Every second: the retry while lines are not kept, else the flush to disk.
    TJournalChange Tick();
    // The clean close: the journal is removed (the log holds every line).
    void Discard();

    // Why lines are not kept on the disk now; none while they are.
    const std::optional<FileError>& Fault() const { return fault_; }
    // The journal, once made; none while it cannot be.
    const TJournal* Journal() const { return journal_.get(); }
    size_t Waiting() const { return waiting_.size(); }

private:
    // Writes what waits, in order, stopping at the first failure.
    void Flush();
    TJournalChange Settle();

    std::filesystem::path folder_;
    std::unique_ptr<TJournal> journal_;
    std::deque<std::u16string> waiting_;
    std::optional<FileError> fault_;
    bool announced_ = false;  // Stopped was returned and Resumed not yet
    bool discarded_ = false;
};

}  // namespace vyx::ui
