// SPDX-License-Identifier: GPL-3.0-or-later
// vyx ident: which unit is at this address? Its answers to functions 43/14 and
// 17, its type registers read through the device files of the device folders,
// the device file proposed for it and the serial number and firmware version
// read through that file, one "name: value" line each.
#include <cstdio>
#include <set>
#include <string>

#include "base/DeviceFolders.h"
#include "base/Text.h"
#include "modbus/Slave.h"
#include "service/UnitIdentity.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Device.h"
#include "tools/vyx/Options.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::tool;

namespace {

constexpr int kExitNoAnswer = 4;  // as a read that timed out

std::string Usage() {
    return std::string("Usage: vyx ident --port NAME [--slave N] [--mode TEXT] [--wait MS] [--echo] [--gap MS] [--hex]\n"
                       "Asks the unit at the slave address (default 247) what it is and prints one\n"
                       "\"name: value\" line each for its answers to function 43/14 (vendor, product\n"
                       "code, revision) and 17 (slave id, run indicator, data), each device file's\n"
                       "\"Typ urządzenia\" register read from it, the device file whose stored type\n"
                       "it returns, and its \"Numer fabryczny\" and \"Wersja oprogramowania\" read\n"
                       "through that file. Many units answer 43/14 and 17 with exception 1: that is\n"
                       "no failure.\n\n"
                       "Options:\n"
                       "  --port NAME       serial port or network port, as for vyx read (required)\n"
                       "  --mode TEXT       line settings (default 19200,e,8,1; none on a network port)\n"
                       "  --slave N         slave address (default 247)\n"
                       "  --hex             also print the request and reply frames\n") +
           kReplyOptions +
           "Exit status: 0 the unit answered anything, 4 it answered nothing, 1 failure.\n";
}

void Print(const std::string& name, const std::string& value) { std::printf("%s: %s\n", name.c_str(), value.c_str()); }

void PrintIdentity(const TUnitIdentity& id) {
    if (id.DeviceId) {
        Print("vendor", id.DeviceId->Vendor);
        Print("product code", id.DeviceId->ProductCode);
        Print("revision", id.DeviceId->Revision);
    } else {
        Print("device identification (43/14)", id.DeviceIdFailure);
    }
    if (id.SlaveId) {
        Print("slave id", std::to_string(id.SlaveId->Id));
        char indicator[16];
        std::snprintf(indicator, sizeof indicator, "%02X (%s)", id.SlaveId->RunIndicator,
                      id.SlaveId->Running ? "on" : "off");
        Print("run indicator", indicator);
        Print("data", id.SlaveId->DataText());
    } else {
        Print("slave id (17)", id.SlaveIdFailure);
    }
    for (const TTypeRead& read : id.TypeReads)
        Print(ToUtf8(kTypeRegisterName) + " " + std::to_string(read.Address) + " (" + std::to_string(read.Length) +
                  ")",
              read.Failure.empty() ? read.Value : read.Failure);
    Print("device file", id.File.empty() ? "?" : PathToUtf8(id.File.filename()));
    if (!id.Serial.empty() || !id.SerialFailure.empty())
        Print(ToUtf8(kSerialRegisterName), id.SerialFailure.empty() ? id.Serial : id.SerialFailure);
    if (!id.Firmware.empty() || !id.FirmwareFailure.empty())
        Print(ToUtf8(kFirmwareRegisterName), id.FirmwareFailure.empty() ? id.Firmware : id.FirmwareFailure);
}

int Ident(const cli::Options& o) {
    if (!o.Positional().empty()) throw std::invalid_argument("unexpected argument " + o.Positional()[0]);
    const uint8_t slave = static_cast<uint8_t>(o.GetInt("--slave", 247, 1, 247));
    const bool hex = o.Has("--hex");
    const std::vector<TIdentityProbe> probes = IdentityProbes(DeviceFolders(ProgramFolder()));
    TConsoleSession c;
    OpenPort(c.Session, o, "19200,e,8,1");
    TUnitIdentity id;
    c.Session.Bus->Call([&](TPort& port, TWire& wire) {
        std::vector<std::u16string> lines;
        id = IdentifyUnit(WireExchanger(port, wire, c.Session.Line.Line, hex ? &lines : nullptr), slave, probes);
        for (const std::u16string& l : lines) std::printf("%s\n", ToUtf8(l).c_str());
    });
    PrintIdentity(id);
    return id.Answered() ? kExitOk : kExitNoAnswer;
}

}  // namespace

int RunIdent(int argc, char** argv) {
    const std::string usage = Usage();
    if (WantsHelp(argc, argv)) {
        std::fputs(usage.c_str(), stdout);
        return kExitOk;
    }
    try {
        std::set<std::string> valued = {"--port", "--mode", "--slave"};
        std::set<std::string> flags = {"--hex"};
        AddLineOptions(valued, flags);
        const cli::Options o(argc, argv, valued, flags);
        return Ident(o);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx ident: %s\n\n%s", e.what(), usage.c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vyx ident: %s\n", e.what());
        return kExitFailure;
    }
}
