// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ports a technician can choose: the system's serial lines, each USB
// adapter under its stable name, and the simulators that run for this user.
#include <cstdint>
#include <string>
#include <vector>

namespace vyx {

// The serial ports of the system, then the simulators running for this user.
// On Linux: /dev/NAME for each entry of /sys/class/tty with a device behind it
// (a serial-core port such as ttyS only where a UART is detected), in natural
// order; then each symbolic link in SimulatorFolder() whose target exists and
// that is not stale (IsStaleSimulatorLink).
// On Windows: the COM ports of the "Ports (COM & LPT)" device class (SetupAPI)
// and the names under the registry key HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM
// that class lacks (all of them where it gives none), each once, COM3 before COM10.
std::vector<std::string> ListPorts();

// One entry of the port list, with what is known of the adapter behind it.
// A USB serial adapter's number (ttyUSB0, ttyACM0) changes between plug-ins;
// where udev names it in /dev/serial/by-id, the entry is that stable link, with
// the adapter's name and the device it now stands for. On Windows a COM name
// may move too (COM7 today, COM9 after a plug-in elsewhere): the adapter's USB
// ids and serial number tell it.
struct TPortEntry {
    std::string Path{};     // what opens the port: "/dev/serial/by-id/usb-...", "COM7"
    std::string Adapter{};  // "FTDI FT232R USB UART A50285BI" (by-id), "USB Serial Port (COM7)" (Windows)
    std::string Device{};   // e.g. "/dev/ttyUSB0" for a by-id entry; empty for others
    std::string Manufacturer{};  // "FTDI" (Windows); empty where unknown
    uint16_t VendorId = 0;     // USB ids; 0 where the port is not a USB one
    uint16_t ProductId = 0;
    std::string Serial{};        // the adapter's own serial number; empty where it has none

    bool operator==(const TPortEntry&) const = default;
};
// The entries of ListPorts, in its order.
std::vector<TPortEntry> ListPortEntries();

// Ports in the order a technician counts them: COM3 before COM10, ttyS2 before ttyS10.
bool PortNameLess(const std::string& a, const std::string& b);

// What a list shows for an entry: "COM7 — USB Serial Port (FTDI)" for a port
// with a friendly name (the port's name taken out of it, the manufacturer added
// unless the name already says it), else the path.
std::string PortLabel(const TPortEntry& entry);

// Whether two entries stand for the same adapter: the same USB ids and serial
// number; for an adapter without a serial number, the same USB ids on the same
// port name; otherwise (a built-in port, a by-id link, a simulator) the same path.
// It is what a port is remembered by, and what tells a returning adapter.
bool SameAdapter(const TPortEntry& a, const TPortEntry& b);
// The adapter identity of an entry as one text, to be kept in settings:
// "0403:6001:A50285BI" (USB ids and serial number), "1a86:7523:" (no serial
// number); empty for a port without USB ids. AdapterFromKey gives an entry back
// (with the path given) that SameAdapter compares like the original.
std::string AdapterKey(const TPortEntry& entry);
TPortEntry AdapterFromKey(const std::string& key, const std::string& path);

// What SetupAPI tells of one port of the "Ports (COM & LPT)" class, as the
// system gives it: the "PortName" value of the device's key, SPDRP_FRIENDLYNAME,
// SPDRP_MFG, the first SPDRP_HARDWAREID, and the device instance id (that of
// the USB device itself where the port is one interface of a composite device).
struct TSetupPort {
    std::string PortName;      // "COM7"
    std::string FriendlyName;  // "USB Serial Port (COM7)"
    std::string Manufacturer;  // "FTDI"
    std::string HardwareId;    // "FTDIBUS\COMPORT&VID_0403&PID_6001", "USB\VID_1A86&PID_7523&REV_0264"
    std::string InstanceId;    // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000", "USB\VID_1A86&PID_7523\5&2B7E8C3A&0&2"
};
// The list's entry of such a port: the USB ids from the hardware id (else the
// instance id), the serial number from the instance id where the device gave
// one (an id the system made up holds '&'; FTDI's driver appends the letter of
// the chip's channel, which is not part of it). An entry with no port name is
// none (an LPT port, a modem's parallel port): the path is empty then.
TPortEntry PortEntryOf(const TSetupPort& port);
// The Windows port list from SetupAPI's ports and the registry's list of
// serial port names: each COM port once (SetupAPI's entry first), in PortNameLess order.
std::vector<TPortEntry> PortEntriesOf(const std::vector<TSetupPort>& setupPorts,
                                      const std::vector<std::string>& serialComm);
#ifdef _WIN32
// The ports SetupAPI gives, in its order (none where it gives none).
std::vector<TSetupPort> SetupApiPorts();
#endif
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
