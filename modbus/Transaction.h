// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One request/reply exchange with the device and the handling of its outcome.
//
// A builder has filled the frame; the caller sets the three line texts of the log
// record and calls Transact, which logs and sends the request, waits for the reply
// (until it is complete by its own header with a good CRC, else within the port's
// read time-outs), logs the reply, takes it out of its transport's frame (the
// line's address and CRC, Modbus TCP's header: TPort::Unframe), checks that its
// PDU answers the request (ReplyMismatch), and hands the outcome to a completion
// handler, called synchronously by its message number. Only a reply that answers its request
// counts: another unit's, another function's or one of another length fails as
// a mismatch, and nothing of it is stored.
//
// On a line (not Modbus TCP, whose header names the request a reply answers):
//  - after a time-out, before the next request to the same unit, the line is
//    listened to for up to one more reply wait for a late reply to begin; after
//    a failed reply it is read until quiet. What comes is discarded and shown so.
//  - with Line.Echo the request's own bytes are read back and compared first;
//    without it, a failed reply that begins with the request is named an echo,
//    and so is a write's reply followed at once by a second copy of itself.
//  - up to three stray bytes before a whole, matching reply are skipped.
//  - Line.GapMs keeps the line quiet that long between a reply and the next request.
// Every completion ends by raising OnNextStep, through which a running sequence
// starts its next step, itself a full Transact nested inside this one.
//
// What the window shows (panes, indicators and their timers, the highlight timer,
// message boxes, processing of pending events) is reached through TTransactionView,
// which the window and the command-line tool implement.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/Frame.h"
#include "registers/RegData.h"
#include "registers/RegisterTree.h"
#include "serial/Port.h"

namespace vyx {

// Window messages of the completions.
enum : int {
    kMsgNextStep = 1025,
    kMsgReplyGood = 1026,
    kMsgTimeout = 1027,
    kMsgReplyCrcError = 1029,
};

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
    virtual void ProcessPendingEvents() = 0;
    virtual bool MonitorTicked() const = 0;
    // The local time of day as hh:mm:ss on the 24-hour clock.
    virtual std::u16string TimeOfDay() const = 0;
    virtual void BeginTreeUpdate() = 0;
    virtual void EndTreeUpdate() = 0;  // repaints the tree
    virtual void RepaintTree() = 0;
    // Message 1025: the next step of a running sequence; nothing when none runs.
    virtual void OnNextStep() = 0;
    // The transaction's outcome is known (before its completion runs): the tree
    // shows an emptied value at once, and a failure its reason.
    virtual void OutcomeKnown(TOutcome) {}
};

// How the line behaves beyond its time-outs, as the connection panel and `vyx` set it.
struct TLineOptions {
    bool Echo = false;   // the adapter returns each request's own bytes before the reply
    uint16_t GapMs = 0;  // the least quiet time between the end of a reply and the next request
    bool operator==(const TLineOptions&) const = default;
};
inline constexpr uint16_t kMaxGapMs = 1000;

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

class TTransaction {
public:
    TTransaction(TPort& port, TFrame& frame, TTransactionView& view) : port_(port), frame_(frame), view_(view) {}

    // Sends the frame and handles the reply; see the header comment. An error
    // raised by the reply handling (a bit child whose value is not a number)
    // comes out of here after the indicators are set.
    void Transact();

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

    // Synchronous dispatch of a completion message to its handler.
    void Dispatch(int message);

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
    using TClock = std::chrono::steady_clock;

    // Reads the echo (with Line.Echo) and the reply into rx_; false when the
    // echo was not the request's (Outcome is then set).
    bool ReadEcho(const std::vector<uint8_t>& wire);
    void ReadReply();
    // What the bytes received say: the outcome, the stray bytes skipped.
    void Classify(bool framed);
    // A write answered by its own copy: a second one following at once is the
    // device's, and the first was the line's echo.
    bool SecondCopyFollows();
    // Reads and shows as discarded what a failed exchange may have left coming.
    void DrainLate(uint8_t unit);
    void KeepGap();
    void AppendReplyLine(const uint8_t* p, uint32_t n, std::u16string_view mark = {});

    TPort& port_;
    TFrame& frame_;
    TTransactionView& view_;
    std::array<uint8_t, kMaxReplySize> rx_{};  // what the last read gave
    uint32_t received_ = 0;
    uint32_t at_ = 0;                          // stray bytes before the reply
    TUnframed reply_;                          // the last reply out of its frame (in rx_), once it answered
    std::string detailPl_, detailEn_;          // what of the reply did not hold or did not answer the request
    struct {
        bool Pending = false;
        bool AfterTimeout = false;  // wait for a late reply to begin, to the same unit only
        uint8_t Unit = 0;
        TClock::time_point BeginBy{};
    } drain_;
    TClock::time_point quietSince_{};  // when the line was last heard quiet after a read
    std::string pendingError_;  // a bit child's conversion failure, raised after the reply is handled
};

}  // namespace vyx
