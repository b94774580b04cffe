// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReportPages.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

namespace vyx::ui {
namespace {

int PageOf(double y, double pageHeight) { return static_cast<int>(std::floor(y / pageHeight)); }

// The first block after `block` that holds text or an object (an empty block
// between a heading and a table holds nothing a reader sees).
QTextBlock NextShown(QTextBlock block) {
    for (block = block.next(); block.isValid(); block = block.next())
        if (block.length() > 1 || block.layout()->lineCount() > 0) return block;
    return block;
}

}  // namespace

int KeepHeadingsWithText(QTextDocument& document) {
    const double pageHeight = document.pageSize().height();
    if (!(pageHeight > 0)) return 0;
    int moved = 0;
    // Moving one heading moves everything after it: the pages are looked at
    // anew after each move, and a heading followed by another (h3 over h4) moves
    // with it on the next look.
    for (bool again = true; again;) {
        again = false;
        QAbstractTextDocumentLayout* layout = document.documentLayout();
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            if (block.blockFormat().headingLevel() == 0 ||
                block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                continue;
            const QTextBlock next = NextShown(block);
            if (!next.isValid()) continue;
            const QRectF heading = layout->blockBoundingRect(block);
            const QRectF text = layout->blockBoundingRect(next);
            // A heading at the very top of a page has nowhere better to go.
            if (PageOf(text.bottom() - 1, pageHeight) == PageOf(heading.top(), pageHeight) ||
                PageOf(heading.top(), pageHeight) * pageHeight >= heading.top() - 1)
                continue;
            QTextBlockFormat format;
            format.setPageBreakPolicy(block.blockFormat().pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).mergeBlockFormat(format);
            ++moved;
            again = true;
            break;
        }
    }
    return moved;
}

void UseReportPage(QPagedPaintDevice& device) {
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageMargins(QMarginsF(12, 15, 12, 12), QPageLayout::Millimeter);
}

int PaintReport(const QString& html, const QString& number, QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) return 0;
    QTextDocument document;
    // Laid out for the device itself: points and pixels of the HTML scaled to its resolution.
    document.documentLayout()->setPaintDevice(&device);
    document.setHtml(html);
    const QRectF paper = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QFontMetricsF footerFont(document.defaultFont(), &device);
    const double footer = footerFont.height() * 2.5;
    const QSizeF page(paper.width(), paper.height() - footer);
    document.setPageSize(page);
    KeepHeadingsWithText(document);
    const int pages = document.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) device.newPage();
        painter.save();
        const QRectF view(0, i * page.height(), page.width(), page.height());
        painter.translate(0, -view.top());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.setFont(document.defaultFont());
        const QRectF foot(0, paper.height() - footer * 0.6, page.width(), footer * 0.6);
        if (!number.isEmpty()) painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, number);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("strona %1 z %2").arg(i + 1).arg(pages));
    }
    painter.end();
    return pages;
}

std::string ReportPdf(const std::string& html, const std::string& number) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        UseReportPage(writer);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Raport serwisowy"));
        writer.setCreator(QStringLiteral("vyx-cfg"));
        PaintReport(QString::fromStdString(html), QString::fromStdString(number), writer);
    }
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace vyx::ui
