#pragma once
// What the service commands (scan, backup, diff, restore) share: a session on one
// port with the transaction every face of the program uses, on a console view,
// and the reading of one register with the words of its reply exactly as they
// came.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "modbus/Frame.h"
#include "modbus/Transaction.h"
#include "registers/RegisterTree.h"
#include "serial/Serial.h"
#include "tools/vyx/ConsoleView.h"

namespace vyx::tool {

// Exit status of a service command whose work was done but whose result is not
// clean: differences found, a snapshot incomplete, a restored register that did
// not take, nothing found by a scan.
inline constexpr int kExitNotClean = 3;

struct TServiceSession {
    TServiceSession() { View.Results = false; }

    TSerial Port;
    TFrame Frame;
    TConsoleView View;  // result lines only when a command asks for them
    TTransaction Transaction{Port, Frame, View};
    std::u16string Slave = u"247";
    std::string Path;
    std::string Mode;

    // Opens the port (a path, or a name under /dev) with the mode string and the
    // time-outs of the connection panel; throws vyx::Error with the reason.
    void Open(const std::string& portName, const std::string& mode);
};

// One register read: its outcome, the value text as the window shows it and the
// data words of a good reply, or why there are none.
struct TRegisterRead {
    bool Ok = false;
    std::u16string Value;
    std::vector<uint16_t> Words;
    std::string Error;  // "no reply", "crc_error", "błąd ! (exception N)", a builder's refusal...
    bool Answered = false;  // a good CRC came back, a reply or an exception reply
};
TRegisterRead ReadWords(TServiceSession& session, TNode& node);

// The registers of the whole tree as a group walk reads them, in tree order:
// every node with an access keyword (RO, RW, RP); groups are entered, registers
// never, so bit children and anything else below a register are left out.
std::vector<TNode*> TreeRegisters(const TRegisterTree& tree);

// The folder of the running executable, where the device files lie.
std::filesystem::path ProgramFolder();

}  // namespace vyx::tool
