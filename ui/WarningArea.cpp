// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WarningArea.h"

#include <QStringList>

namespace vyx::ui {
namespace {
constexpr int kMaxWidth = 520;
}  // namespace

TWarningArea::TWarningArea() : TCutLabel(QString()) {
    setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    setMaximumWidth(kMaxWidth);
    setContentsMargins(6, 0, 6, 0);
    hide();
}

void TWarningArea::SetWarning(TWarningSlot slot, const QString& text) {
    warnings_[static_cast<size_t>(slot)] = text;
    QStringList shown;
    for (const QString& warning : warnings_)
        if (!warning.isEmpty()) shown << warning;
    setText(shown.join(QStringLiteral("; ")));
    setVisible(!shown.isEmpty());
}

}  // namespace vyx::ui
