// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One request/reply exchange with the device and the handling of its outcome.
//
// Prepare builds the request of a register's read or write (or the restart);
// Start sends it. The bus (modbus/Bus.h) runs it on the wire (modbus/Wire.h:
// the echo, late and stray bytes, the reply taken out of its transport's frame
// and checked against the request); here its result is handled: a read's value
// is stored in its register, and the view is told what to show. Only a reply
// that answers its request counts: another unit's, another function's or one of
// another length fails as a mismatch, and nothing of it is stored.
//
// Transact waits for the result (on an inline bus it is the caller's own work);
// Start returns at once, and on a worker bus the result comes back through the
// bus's Deliver, in the owner's thread. Every completion ends by raising
// OnNextStep, through which a running sequence records its next step.
//
// The state of the last exchange is read through the accessors; what a view
// makes of it (the layout of its lines, indicators and their timers, the
// highlight) is the view's own.
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/Frame.h"
#include "modbus/Slave.h"
#include "modbus/Wire.h"
#include "registers/RegData.h"
#include "registers/RegisterTree.h"
#include "port/Port.h"

namespace vyx {

// Outcome of the last reply.
struct TRslt {
    bool Ok = false;
    std::u16string ValueText;
    std::u16string ErrorText;
    // The number a read's reply holds (DecodeNumber); none for a text register,
    // a write, or a transaction that failed.
    std::optional<double> Number;
};

// Texts of the current transaction: the three texts of its line (register
// number, name, value), the frames in hex, and the status of a failure
// ("...", "crc_error", "damaged", "mismatch").
struct TLog {
    std::u16string RequestHex;
    std::u16string ReplyHex;
    std::u16string LineAddress;
    std::u16string LineName;
    std::u16string LineValue;
    std::u16string Status;
};

// Who shows a transaction: the window, a console, a test's recorder.
class TTransactionView {
public:
    virtual ~TTransactionView() = default;
    virtual void ShowMessage(std::u16string_view text) = 0;       // a message box
    virtual void AppendCommLine(std::u16string_view line) = 0;    // communication pane
    virtual void AppendResultLine(std::u16string_view line) = 0;  // result pane
    // A good reply: the result of the register's request, for the result pane.
    virtual void ShowResult(const TLog& log) = 0;
    // The request has left (the transmit indicator).
    virtual void RequestSent() {}
    // The exchange has ended and its completion has run: something came back
    // (`heard`, even a damaged reply), or nothing did (the receive indicator).
    virtual void ExchangeEnded(bool /*heard*/) {}
    // A read's value is about to be stored in `node` (and its bit children's ticks
    // set), then it has been: the tree is not painted in between.
    virtual void StoringValue(const TNode& /*node*/) {}
    virtual void ValueStored(const TNode& /*node*/) {}
    // A good reply has been shown (a console flushes its output).
    virtual void ReplyShown() {}
    // A completion has ended: a running sequence records its next step.
    virtual void OnNextStep() = 0;
    // The transaction's outcome is known (before its completion runs): the tree
    // shows an emptied value at once, and a failure its reason.
    virtual void OutcomeKnown(TOutcome) {}
};

class TBus;

class TTransaction {
public:
    // On a bus of its own that runs each exchange at once on `port`.
    TTransaction(TPort& port, TFrame& frame, TTransactionView& view);
    // On the owner's bus.
    TTransaction(TBus& bus, TFrame& frame, TTransactionView& view);
    ~TTransaction();

    // The request of an operation, built and made ready to send. PrepareRead
    // empties the register's value; PrepareWrite writes the record's value by
    // function 6 (Length 1) or 16, and builds nothing unless the register is RW
    // or RP; PrepareWriteWords writes a register's exact words, as a device gave
    // them, reporting the record's value as written; PrepareReset builds the restart, nothing to the broadcast address.
    // False where nothing was built. Refusals (the slave's among them) come out
    // as vyx::Error before anything changes.
    void PrepareRead(TNode& node, const TSlave& slave);
    bool PrepareWrite(TNode& node, const TSlave& slave);
    void PrepareWriteWords(const TRegData& record, const TSlave& slave, std::span<const uint16_t> words);
    bool PrepareReset(const TSlave& slave);
    // A request the caller has built in the frame itself (a fuzzer's, of any
    // function and state): a read's reply goes to `node`, a write reports `written`.
    void PrepareBuilt(TNode* node, std::u16string written = {});

    // Sends the request and handles the reply, returning when both are done. An
    // error raised by the reply handling (a bit child whose value is not a
    // number) comes out of here after the indicators are set.
    void Transact();
    // Sends the request and returns; the reply is handled when its result comes
    // back, and then `ended` is called with whatever error the handling raised
    // (without `ended`, the error comes out of the delivered task).
    using TEnded = std::function<void(const std::exception_ptr&)>;
    void Start(TEnded ended = nullptr);
    // Prepare and Transact in one, for a caller that waits.
    void ReadRegister(TNode& node, const TSlave& slave);
    bool WriteRegister(TNode& node, const TSlave& slave);
    bool ResetDevice(const TSlave& slave);

    // An exchange was started and its result has not been handled yet.
    bool InFlight() const { return inFlight_; }
    // The exchange out is no longer wanted (a sequence was stopped): when its
    // result comes, its bytes are shown, the reply marked as discarded, and
    // nothing else is done with it: no value, no result line, no completion.
    void Abandon() { abandoned_ = inFlight_; }
    TBus& Bus() const { return bus_; }

    // How the line behaves (echo, gap), from the next request on.
    void SetLine(TLineOptions line) { line_ = line; }
    const TLineOptions& Line() const { return line_; }

    // What the last exchange gave.
    TOutcome Outcome() const { return outcome_; }
    const TRslt& Rslt() const { return rslt_; }
    const TLog& Log() const { return log_; }
    uint8_t ExceptionCode() const { return exceptionCode_; }  // of the last exception reply
    // Why the last transaction failed (OutcomeReason with the mismatch's or the
    // damage's detail); empty after a good reply.
    std::string Reason(TLanguage language) const;
    // The data words of the last reply to a read, as the device sent them, when
    // it came good and of the length asked for; none otherwise.
    std::vector<uint16_t> ReplyWords() const;
    // The last reply as taken (stray bytes before it left out), in its frame.
    const uint8_t* Reply() const { return rx_.data() + at_; }
    uint32_t ReplySize() const { return received_ - at_; }
    // An exchange that cannot be sent (no port) says "brak połączenia !" in a
    // box, unless quiet: a sequence past its first step says why in its own line.
    void SetQuietWhenUnsent(bool quiet) { quietWhenUnsent_ = quiet; }
    // Whether the port was open after the last exchange (one that went away closed itself).
    bool PortOpen() const { return portOpen_; }
    // The register of the last read or write prepared; none after a restart.
    TNode* Node() const { return node_; }
    // The number of requests sent so far.
    uint64_t RequestsSent() const { return requestsSent_; }

private:
    // The request has left: its lines (and what was drained before it) go to the pane.
    void ShowSent(const std::vector<std::u16string>& lines, size_t sentLines, const std::u16string& hex);
    // The exchange has ended: its result is shown and handled.
    void Finish(const TExchangeResult& r);
    void OnReplyGood();
    // A damaged or mismatched reply (`replied`), or none.
    void OnReplyFailed(bool replied);
    bool DecodeReply();
    void StoreReplyValue();
    void SetBitChecks(int32_t value);

    std::unique_ptr<TBus> own_;  // the inline bus of a transaction given a port
    TBus& bus_;
    TFrame& frame_;
    TFrame sent_;  // the request whose reply is handled: the frame may be built anew meanwhile
    TTransactionView& view_;
    TLineOptions line_;
    TOutcome outcome_ = TOutcome::None;
    TRslt rslt_;
    TLog log_;
    uint8_t exceptionCode_ = 0;
    TNode* node_ = nullptr;
    std::u16string writtenValue_;             // value text of the last write
    uint64_t requestsSent_ = 0;
    std::array<uint8_t, kMaxReplySize> rx_{};  // what the last read gave
    uint32_t received_ = 0;
    uint32_t at_ = 0;                          // stray bytes before the reply
    TUnframed reply_;                          // the last reply out of its frame (in rx_), once it answered
    std::string detailPl_, detailEn_;          // what of the reply did not hold or did not answer the request
    bool inFlight_ = false;
    bool abandoned_ = false;
    bool portOpen_ = false;
    bool quietWhenUnsent_ = false;
    std::string pendingError_;  // a bit child's conversion failure, raised after the reply is handled
};

}  // namespace vyx
