// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text pane of the window: the result pane and the communication pane. It adds
// whole lines, knows how many lines it holds, and keeps inner margins.
//
// A toolkit text pane cannot tell an empty pane from one holding a single empty
// line, so the pane remembers whether a line was added since it was last emptied;
// a pane the user empties by hand counts as empty again.
//
// Lines the program adds never enter the undo history: Ctrl+Z may take back the
// user's own typing, never a result. (Adding a line so forgets the user's earlier
// edits; the toolkit cannot drop one change from the history.)
#include <QPlainTextEdit>
#include <QStringList>

namespace vyx::ui {

class TTextPane : public QPlainTextEdit {
    Q_OBJECT
public:
    // Tab moves the focus on, as in every other field: a pane never takes a tab.
    explicit TTextPane(QWidget* parent = nullptr);
    // A pane that keeps only its last `lines` lines (0: all); its undo is off.
    void KeepLastLines(int lines);

    // Adds one line after the last, also an empty one, and scrolls to it.
    void AppendLine(const QString& line);
    // Empties the pane.
    void ClearLines();
    // The lines the pane holds: none for an empty pane, else one per text line.
    QStringList Lines() const;
    bool HasLines() const { return appended_ || !document()->isEmpty(); }

    // Inner margins between the pane's edge and its text, in pixels. They keep
    // their distances when the pane is resized.
    void SetMargins(int left, int top, int right, int bottom);

private:
    bool appended_ = false;
    bool appending_ = false;
};

}  // namespace vyx::ui
