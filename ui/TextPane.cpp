// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextPane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace vyx::ui {

TTextPane::TTextPane(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The margins show the pane's own background, not the window's.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!appending_ && document()->isEmpty()) appended_ = false;
    });
}

void TTextPane::KeepLastLines(int lines) {
    setUndoRedoEnabled(false);
    setMaximumBlockCount(lines);
}

void TTextPane::AppendLine(const QString& line) {
    const bool undo = isUndoRedoEnabled();
    setUndoRedoEnabled(false);
    appending_ = true;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (HasLines()) cursor.insertBlock();
    cursor.insertText(line);
    appending_ = false;
    appended_ = true;
    setUndoRedoEnabled(undo);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TTextPane::ClearLines() {
    clear();
    appended_ = false;
}

QStringList TTextPane::Lines() const {
    QStringList lines;
    if (!HasLines()) return lines;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) lines.append(b.text());
    return lines;
}

void TTextPane::SetMargins(int left, int top, int right, int bottom) {
    setViewportMargins(left, top, right, bottom);
}

}  // namespace vyx::ui
