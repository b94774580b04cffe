// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One request/reply exchange with the device and the handling of its outcome.
//
// A builder has filled the frame; the caller sets the three line texts of the log
// record and starts the exchange. The bus (modbus/Bus.h) runs it on the wire
// (modbus/Wire.h: the echo, late and stray bytes, the reply taken out of its
// transport's frame and checked against the request); here its result is shown
// and handled: the request line once it has left, the reply's lines, the
// indicators, and a completion by the outcome. Only a reply that answers its
// request counts: another unit's, another function's or one of another length
// fails as a mismatch, and nothing of it is stored.
//
// Transact waits for the result (on an inline bus it is the caller's own work);
// Start returns at once, and on a worker bus the result comes back through the
// bus's Deliver, in the owner's thread. Every completion ends by raising
// OnNextStep, through which a running sequence records its next step.
//
// What the window shows (panes, indicators and their timers, the highlight timer,
// message boxes) is reached through TTransactionView, which the window and the
// command-line tool implement.
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/Frame.h"
#include "modbus/Wire.h"
#include "registers/RegData.h"
#include "registers/RegisterTree.h"
#include "port/Port.h"

namespace vyx {

struct TColor {
    uint8_t R, G, B;
    bool operator==(const TColor&) const = default;
};
inline constexpr TColor kGreen{0, 255, 0};
inline constexpr TColor kRed{255, 0, 0};
inline constexpr TColor kIdleGrey{128, 128, 128};
inline constexpr TColor kMediumGrey{160, 160, 164};

enum class TLed { Tx, Rx };

inline constexpr int kLedShortMs = 100;        // after a send, or a reply
inline constexpr int kLedTimeoutMs = 1000;     // red RX after a time-out
inline constexpr int kHighlightMs = 500;       // red value after a good reply

class TTransactionView {
public:
    virtual ~TTransactionView() = default;
    virtual void ShowMessage(std::u16string_view text) = 0;
    virtual void AppendCommLine(std::u16string_view line) = 0;    // communication pane
    virtual void AppendResultLine(std::u16string_view line) = 0;  // result pane
    virtual void SetLed(TLed led, TColor color) = 0;
    virtual void SetLedTimerInterval(TLed led, int ms) = 0;
    virtual void EnableLedTimer(TLed led, bool enabled) = 0;
    // (Re)starts the 500 ms one-shot highlight timer, whose tick calls EndHighlight.
    virtual void StartHighlightTimer() = 0;
    virtual void StopHighlightTimer() = 0;
    // A good reply has been shown (a console flushes its output).
    virtual void ReplyShown() {}
    virtual bool MonitorTicked() const = 0;
    // The local time of day as hh:mm:ss on the 24-hour clock.
    virtual std::u16string TimeOfDay() const = 0;
    virtual void BeginTreeUpdate() = 0;
    virtual void EndTreeUpdate() = 0;  // repaints the tree
    virtual void RepaintTree() = 0;
    // A completion has ended: a running sequence records its next step.
    virtual void OnNextStep() = 0;
    // The transaction's outcome is known (before its completion runs): the tree
    // shows an emptied value at once, and a failure its reason.
    virtual void OutcomeKnown(TOutcome) {}
};

// Outcome of the last reply.
struct TRslt {
    bool Ok = false;
    std::u16string ValueText;
    std::u16string ErrorText;
    // The number a read's reply holds (DecodeNumber); none for a text register,
    // a write, or a transaction that failed.
    std::optional<double> Number;
};

// Texts of the current transaction.
struct TLog {
    std::u16string RequestHex;
    std::u16string ReplyHex;
    std::u16string LineAddress;
    std::u16string LineName;
    std::u16string LineValue;
    std::u16string Status;
};
void ClearLogRecord(TLog& log);

// `line` with `text` placed at character position `column`, counted from 1:
// a short line is padded to `column` characters and `text` inserted before its
// last one; a long enough line has as many characters overwritten as `text`
// has; column 0 puts `text` in front of the whole line.
std::u16string PlaceAtColumn(std::u16string_view text, std::u16string line, size_t column);

// The request line, built from its three texts: address at column 1, name at
// column 8, value at column 20, trailing spaces removed. With a value, the name
// is cut to 11 characters, so column 19 is always a space and no name runs into
// its value; without one, the whole name stays. An address longer than 6
// characters is never cut: one space follows it, and the line is that much wider.
std::u16string RequestLine(std::u16string_view address, std::u16string_view name, std::u16string_view value);
// The name of a write's line: the register's name cut to 10 characters, then ":".
std::u16string WriteLineName(std::u16string_view name);

// The request lines, one per transaction sent. Only the last one is ever read
// back, so only it is kept: a monitoring run of days does not grow memory.
class TRequestLines {
public:
    void Add(std::u16string line) { last_ = std::move(line), ++count_; }
    const std::u16string& Last() const { return last_; }
    void ReplaceLast(std::u16string line) { last_ = std::move(line); }
    uint64_t Count() const { return count_; }

private:
    std::u16string last_;
    uint64_t count_ = 0;
};

class TBus;

class TTransaction {
public:
    // On a bus of its own that runs each exchange at once on `port`.
    TTransaction(TPort& port, TFrame& frame, TTransactionView& view);
    // On the owner's bus.
    TTransaction(TBus& bus, TFrame& frame, TTransactionView& view);
    ~TTransaction();

    // Sends the frame and handles the reply, returning when both are done; see
    // the header comment. An error raised by the reply handling (a bit child
    // whose value is not a number) comes out of here after the indicators are set.
    void Transact();
    // Sends the frame and returns; the reply is handled when its result comes
    // back, and then `ended` is called with whatever error the handling raised
    // (without `ended`, the error comes out of the delivered task).
    using TEnded = std::function<void(const std::exception_ptr&)>;
    void Start(TEnded ended = nullptr);
    // An exchange was started and its result has not been handled yet.
    bool InFlight() const { return inFlight_; }
    // The exchange out is no longer wanted (a sequence was stopped): when its
    // result comes, its bytes are shown, the reply marked as discarded, and
    // nothing else is done with it: no value, no result line, no completion.
    void Abandon() { abandoned_ = inFlight_; }
    // Whether the port was open after the last exchange (one that went away closed itself).
    bool PortOpen() const { return portOpen_; }
    TBus& Bus() const { return bus_; }

    // The register operations every face of the program shares. ReadRegister
    // builds the read, then empties the record's value, sets the line texts and
    // reads it; WriteRegister
    // writes the record's value by function 6 (Length 1) or 16, and sends
    // nothing unless the register is RW or RP (it returns whether it sent);
    // ResetDevice sends the restart diagnostic, nothing to the broadcast address.
    // Builder refusals come out as vyx::Error before anything is sent.
    void ReadRegister(TNode& node, std::u16string_view slaveText);
    bool WriteRegister(TNode& node, std::u16string_view slaveText);
    bool ResetDevice(std::u16string_view slaveText);
    // The same, built and made ready without sending, for a caller that Start()s
    // them; false where the operation above sends nothing.
    void PrepareRead(TNode& node, std::u16string_view slaveText);
    bool PrepareWrite(TNode& node, std::u16string_view slaveText);
    bool PrepareReset(std::u16string_view slaveText);

    void OnReplyGood();
    void OnReplyCrcError();
    void OnReplyTimeout();
    bool DecodeReply();
    void StoreReplyValue();
    void SetBitChecks(int32_t value);

    void txTimerTimer();
    void rxTimerTimer();
    void EndHighlight();

    // The data words of the last reply to a read, as the device sent them, when
    // it came good and of the length asked for; none otherwise.
    std::vector<uint16_t> ReplyWords() const;
    // The last reply as taken (stray bytes before it left out), in its frame.
    const uint8_t* Reply() const { return rx_.data() + at_; }
    uint32_t ReplySize() const { return received_ - at_; }
    // Why the last transaction failed (OutcomeReason with the mismatch's or the damage's detail);
    // empty after a good reply.
    std::string Reason(TLanguage language) const;

    TRslt Rslt;
    TLog Log;
    TOutcome Outcome = TOutcome::None;  // of the last transaction
    TLineOptions Line;
    uint8_t ExceptionCode = 0;          // of the last exception reply
    TRequestLines RequestLines;
    TNode* CurrentNode = nullptr;
    TRegData* CurrentRecord = nullptr;
    TNode* HighlightNode = nullptr;
    const TRegisterTree* Tree = nullptr;  // the tree of CurrentNode, for the walk over its bit children
    std::u16string WrittenValue;          // value text of the last write

private:
    // The request has left: its lines (and what was drained before it) go to the pane.
    void ShowSent(const std::vector<std::u16string>& lines, size_t sentLines, const std::u16string& hex,
                  const std::u16string& requestLine);
    // The exchange has ended: its result is shown and handled.
    void Finish(const TExchangeResult& r);

    std::unique_ptr<TBus> own_;  // the inline bus of a transaction given a port
    TBus& bus_;
    TFrame& frame_;
    TFrame sent_;  // the request whose reply is handled: the frame may be built anew meanwhile
    TTransactionView& view_;
    std::array<uint8_t, kMaxReplySize> rx_{};  // what the last read gave
    uint32_t received_ = 0;
    uint32_t at_ = 0;                          // stray bytes before the reply
    TUnframed reply_;                          // the last reply out of its frame (in rx_), once it answered
    std::string detailPl_, detailEn_;          // what of the reply did not hold or did not answer the request
    bool inFlight_ = false;
    bool abandoned_ = false;
    bool portOpen_ = false;
    std::string pendingError_;  // a bit child's conversion failure, raised after the reply is handled
};

}  // namespace vyx
