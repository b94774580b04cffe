// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeanSource.h"

#include "ui/FormSupport.h"

namespace vyx::ui {
namespace {

// 1 odczyt, 2-4 odczyty (but 12-14 odczytów), otherwise odczytów.
QString Readings(size_t n) {
    const size_t tens = n % 100, ones = n % 10;
    const char* word = n == 1                                             ? "odczyt"
                       : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? "odczyty"
                                                                            : "odczytów";
    return QString::number(n) + u' ' + QString::fromUtf8(word);
}

QString PointText(const std::u16string& point) {
    return point.empty() ? QStringLiteral("bez wybranej wielkości") : Q(point);
}

}  // namespace

QString MeanSourceText(const TMeanSource& source) {
    switch (source.Kind) {
        case TMeanSource::TKind::Calibration:
            return QStringLiteral("średnia kalibracji ") + PointText(source.Point) + QStringLiteral(" z ") +
                   source.Time + QStringLiteral(", ") + Readings(source.Readings);
        case TMeanSource::TKind::Typed:
            return QStringLiteral("wpisana ręcznie");
        case TMeanSource::TKind::Initial:
            break;
    }
    return QStringLiteral("wartość początkowa, bez kalibracji");
}

QString WriteQuestionText(const TWriteQuestion& q, const TMeanSource& source) {
    QStringList lines;
    const QString name = q.Node ? Q(q.Node->Record.Address) + u' ' + Q(q.Node->Record.Name) : QString();
    lines << QStringLiteral("Zapisać do rejestru ") + name + u'?';
    lines << QStringLiteral("wartość w urządzeniu: ") +
                 (q.DeviceValue ? Q(*q.DeviceValue) : QStringLiteral("nieodczytana, ") + QString::fromStdString(q.Unread));
    lines << QStringLiteral("wartość do zapisu: ") + Q(q.Value);
    lines << QStringLiteral("źródło: ") + MeanSourceText(source);
    if (source.Kind == TMeanSource::TKind::Calibration && source.Point != q.Point)
        lines << QStringLiteral("Uwaga: średnia pochodzi z kalibracji ") + PointText(source.Point) +
                     QStringLiteral(", a zapis dotyczy ") + Q(q.Point) + u'.';
    return lines.join(u'\n');
}

}  // namespace vyx::ui
