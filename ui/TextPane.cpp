#include "ui/TextPane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace vyx::ui {

TTextPane::TTextPane(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The margins show the pane's own background, not the window's.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void TTextPane::AppendLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (HasLines()) cursor.insertBlock();
    cursor.insertText(line);
    appended_ = true;
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
