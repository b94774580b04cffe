// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ports a technician can choose: the system's serial lines, each USB
// adapter under its stable name, and the simulators that run for this user.
#include <string>
#include <vector>

namespace vyx {

// The serial ports of the system, then the simulators running for this user.
// On Linux: /dev/NAME for each entry of /sys/class/tty with a device behind it
// (a serial-core port such as ttyS only where a UART is detected), in natural
// order; then each symbolic link in SimulatorFolder() whose target exists and
// that is not stale (IsStaleSimulatorLink).
// On Windows: the names (COM1, ...) under the registry key
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM in the order the registry
// gives them; none when the key is missing.
std::vector<std::string> ListPorts();

// One entry of the port list. A USB serial adapter's number (ttyUSB0, ttyACM0)
// changes between plug-ins; where udev names it in /dev/serial/by-id, the entry
// is that stable link, with the adapter's name and the device it now stands for.
struct TPortEntry {
    std::string Path;     // what opens the port
    std::string Adapter;  // e.g. "FTDI FT232R USB UART A50285BI"; empty for others
    std::string Device;   // e.g. "/dev/ttyUSB0" for a by-id entry; empty for others

    bool operator==(const TPortEntry&) const = default;
};
// The entries of ListPorts, in its order (on Windows without adapters).
std::vector<TPortEntry> ListPortEntries();
#ifndef _WIN32
// The same over other folders (a sysfs tty class folder, a simulator folder and
// a by-id folder, which may be missing).
std::vector<std::string> ListPorts(const std::string& ttyClassFolder,
                                   const std::string& simulatorFolder);
std::vector<TPortEntry> ListPortEntries(const std::string& ttyClassFolder, const std::string& simulatorFolder,
                                        const std::string& byIdFolder);

// The adapter's name in a by-id link's name: "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
// gives "FTDI FT232R USB UART A50285BI".
std::string AdapterName(const std::string& byIdLinkName);

// Where each running simulator leaves a link to its pseudo-terminal:
// $XDG_RUNTIME_DIR/vyx when XDG_RUNTIME_DIR is set and not empty, else /tmp/vyx-UID.
std::string SimulatorFolder();

// A running simulator holds a lock (flock) on the file ".NAME.lock" beside its
// link NAME for as long as it runs; the lock goes with the process, however it
// ends. A link whose lock file exists but is held by nobody was left by a
// simulator that was killed: its terminal may since belong to another program.
std::string SimulatorLockPath(const std::string& link);
bool IsStaleSimulatorLink(const std::string& link);
#endif

}  // namespace vyx
