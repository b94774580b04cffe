// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the adapter a port name stands for is plugged in: the one question the
// window asks to notice an adapter pulled out under an open port, and to know
// that the same adapter is back.
#include <string>

namespace vyx {

// On Linux: the name's path (a /dev/serial/by-id link, a device, a simulator's
// link) exists, following links, and a simulator's link is not stale. On
// Windows: the COM name is among the ports listed, or the system knows it as a
// device name (QueryDosDevice). Network names are never
// adapters: false.
bool AdapterPresent(const std::string& portName);

// Whether the name may stand for an adapter that comes back: not a network name,
// nor a bare pseudo-terminal (/dev/pts/N), whose number the next terminal of any
// program takes (a simulator is reached by its link instead).
bool MayComeBack(const std::string& portName);

}  // namespace vyx
