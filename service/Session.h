// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A service session: one device on one port, reached through the transaction
// every face of the program uses, and what finding, backing up and restoring a
// unit ask of it: the reading of one register with the words of its reply
// exactly as they came, and the registers of a whole device file in order.
// Whoever drives the session (the command-line tool, the window) gives the
// view that shows the transaction, and the bus it runs on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modbus/Bus.h"
#include "modbus/Frame.h"
#include "modbus/Transaction.h"
#include "port/AnyPort.h"
#include "registers/RegisterTree.h"

namespace vyx::service {

struct TSession {
    // On a bus that runs each exchange at once, in the caller's thread (`vyx`).
    explicit TSession(TTransactionView& view);
    // On the bus `makeBus` builds over the session's port (the window's worker,
    // which hands results back to the window's thread).
    using TBusMaker = std::function<std::unique_ptr<TBus>(TPort&)>;
    TSession(TTransactionView& view, const TBusMaker& makeBus);

    TAnyPort Port;
    TFrame Frame;
    const std::unique_ptr<TBus> Bus;  // owns the port's use: only its jobs touch the port
    TTransaction Transaction;
    TSlave Slave;
    // How the port was last opened: its path, whether it is a network port, and its line.
    TOpened Opened;
    TLineSettings Line;

    // Opens the port named with `line` (TAnyPort::Open, on the bus, waiting for
    // it), and gives the transaction the line's echo and gap. The window opens
    // without waiting: a bus job of its own, then Opened and Line are set. Throws vyx::Error with the reason,
    // e.g. "cannot open /dev/ttyUSB0 with 19200,e,8,1: no such device",
    // "cannot connect to tcp://10.0.0.5:4001: connection refused".
    void Open(const std::string& portName, const TLineSettings& line);
};

// Why the last transaction failed, as every command says it: the reason of
// OutcomeReason in English ("no reply", "crc_error", "port closed"), an
// exception reply led by the result pane's text: "błąd ! (exception 2: illegal
// data address)". Empty after a good reply or none.
std::string FailureText(const TTransaction& t);

// One register read: its outcome, the value text as the window shows it and the
// data words of a good reply, or why there are none.
struct TRegisterRead {
    TOutcome Outcome = TOutcome::None;  // None when nothing was sent
    bool Ok = false;                    // a good reply of the register's length
    std::u16string Value;
    std::vector<uint16_t> Words;
    std::string Error;  // FailureText, a builder's refusal, a reply of another length

    // A good CRC came back: a reply or an exception reply.
    bool Answered() const { return Outcome == TOutcome::Good || Outcome == TOutcome::Exception; }
};
TRegisterRead ReadWords(TSession& session, TNode& node);
// The same through any transaction and the frame it uses (the window reads
// through its own, so that each read shows as a walk's does).
TRegisterRead ReadWords(TTransaction& transaction, const TFrame& frame, const TSlave& slave, TNode& node);
// What the transaction's read of `node` gave once its result was handled (a
// read started rather than waited for), as ReadWords gives it.
TRegisterRead ReadOutcome(const TTransaction& transaction, const TFrame& frame, const TNode& node);

// The registers of the whole tree as a group walk reads them, in tree order:
// every node with an access keyword (RO, RW, RP); groups are entered, registers
// never, so bit children and anything else below a register are left out.
std::vector<TNode*> TreeRegisters(const TRegisterTree& tree);

}  // namespace vyx::service
