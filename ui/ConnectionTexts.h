// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The connection panel's texts: the port list's entry for no port, the mode
// suffix of each parity entry, and why a port did not open.
#include <QString>

#include "port/Port.h"

namespace vyx::ui {

inline constexpr char16_t kDisconnected[] = u"odłączony";

// The mode suffix of the parity entry chosen (-1: none chosen).
QString ModeSuffix(int parityIndex);

// Why a port did not open, as the status bar says it: the port as the user
// named it, the mode string it was opened with.
QString PortFaultText(TOpenFault fault, int error, const QString& port, const QString& mode);

}  // namespace vyx::ui
