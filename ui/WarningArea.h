// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's area for what stays wrong until it is mended: results not
// kept on the disk, a recording that stopped, an adapter pulled out. Each warning has its slot; the
// area shows them in red, one after another, and no message, transaction or
// timer clears them: only their own cause does. A text wider than the area is
// cut with "…" and shown whole on hovering.
#include <QString>
#include <array>

#include "ui/CutLabel.h"

namespace vyx::ui {

enum class TWarningSlot { Journal, Recording, Adapter };

class TWarningArea : public TCutLabel {
public:
    TWarningArea();
    // An empty text clears the slot.
    void SetWarning(TWarningSlot slot, const QString& text);

private:
    std::array<QString, 3> warnings_;
};

}  // namespace vyx::ui
