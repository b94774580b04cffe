// SPDX-License-Identifier: GPL-3.0-or-later
// The report's pages: a heading never ends a page without what it heads.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <cmath>

#include "ui/ReportPages.h"

using namespace vyx;

namespace {

int PageOf(const QTextDocument& document, const QTextBlock& block) {
    const double top = document.documentLayout()->blockBoundingRect(block).top();
    return static_cast<int>(std::floor(top / document.pageSize().height()));
}

TEST(ReportPages, AHeadingMovesToThePageOfWhatItHeads) {
    // The heading walked down a page line by line: wherever it falls, it stands on
    // the page of its table's first row, and only there where the page would part them.
    int movedSomewhere = 0;
    for (int lines = 0; lines < 24; ++lines) {
        QString html;
        for (int i = 0; i < lines; ++i) html += QStringLiteral("<p>wiersz %1</p>").arg(i);
        html += "<h2>Zmienione rejestry</h2><table><tr><td>N100</td><td>1001,00</td></tr></table><p>koniec</p>";
        QTextDocument document;
        document.setHtml(html);
        document.setPageSize(QSizeF(400, 300));
        const int before = document.pageCount();
        const int moved = ui::KeepHeadingsWithText(document);
        movedSomewhere += moved;
        QTextBlock heading = document.begin();
        while (heading.blockFormat().headingLevel() == 0) heading = heading.next();
        QTextBlock cell = heading.next();
        while (!cell.text().startsWith("N100")) cell = cell.next();
        EXPECT_EQ(PageOf(document, heading), PageOf(document, cell)) << lines << " lines before";
        EXPECT_LE(document.pageCount(), before + moved) << lines;
    }
    EXPECT_GT(movedSomewhere, 0);  // the walk did reach a page's foot
}

}  // namespace
