// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Transaction.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <thread>
#include <vector>

#include "modbus/Builders.h"
#include "registers/Error.h"
#include "registers/Text.h"

namespace vyx {
namespace {

constexpr size_t kRequestLineWidth = 80;
constexpr size_t kNameColumn = 8;
constexpr size_t kValueColumn = 20;

std::u16string TrimRight(std::u16string s) {
    const size_t end = s.find_last_not_of(u' ');
    s.erase(end == std::u16string::npos ? 0 : end + 1);
    return s;
}

}  // namespace

void ClearLogRecord(TLog& log) { log = TLog{}; }

std::u16string PlaceAtColumn(std::u16string_view text, std::u16string line, size_t column) {
    if (column == 0) return std::u16string(text) + line;
    if (line.size() < column) {
        line.resize(column, u' ');
        line.insert(column - 1, text);
        return line;
    }
    line.erase(column - 1, text.size());
    line.insert(column - 1, text);
    return line;
}

std::u16string RequestLine(std::u16string_view address, std::u16string_view name, std::u16string_view value) {
    std::u16string line(address);
    const size_t nameAt = std::max(kNameColumn - 1, line.size() + 1);
    line.resize(nameAt, u' ');
    if (value.empty()) {
        line += name;
    } else {
        line += name.substr(0, kValueColumn - kNameColumn - 1);
        line.resize(nameAt + (kValueColumn - kNameColumn), u' ');
        line += value;
    }
    return TrimRight(std::move(line));
}

std::u16string WriteLineName(std::u16string_view name) {
    return std::u16string(name.substr(0, kValueColumn - kNameColumn - 2)) + u":";
}

void TTransaction::Transact() {
    ExceptionCode = 0;
    detailPl_.clear(), detailEn_.clear();
    reply_ = {};
    Rslt.Number.reset();
    if (!port_.IsOpened()) {
        Outcome = TOutcome::PortClosed;
        view_.OutcomeKnown(Outcome);
        view_.ShowMessage(u"brak połączenia !");
        return;
    }
    const bool framed = port_.LineFramed();
    if (framed) DrainLate(frame_.TxBuf[kOffSlave]);
    // The pane shows the bytes as they go over the wire (on Modbus TCP, with their header).
    const std::vector<uint8_t> wire = port_.WireRequest(frame_.TxBuf.data(), frame_.FrameLength);
    Log.RequestHex = FromUtf8(HexDump(wire.data(), static_cast<uint16_t>(wire.size())));
    const std::u16string line = RequestLine(Log.LineAddress, Log.LineName, Log.LineValue);
    view_.AppendCommLine(u"< " + Log.RequestHex);
    RequestLines.Add(line);
    KeepGap();
    port_.WritePort(frame_.TxBuf.data(), frame_.FrameLength);
    view_.SetLed(TLed::Tx, kGreen);
    view_.EnableLedTimer(TLed::Tx, true);

    received_ = 0, at_ = 0;
    const bool echoed = !framed || !Line.Echo || ReadEcho(wire);
    if (echoed) ReadReply();

    // The indicators are set when the completion (and any sequence nested in it)
    // has returned, also when it ends with an error.
    struct RxIndicator {
        TTransactionView& view;
        bool reply;
        ~RxIndicator() {
            view.SetLed(TLed::Rx, reply ? kGreen : kRed);
            view.SetLedTimerInterval(TLed::Rx, reply ? kLedShortMs : kLedTimeoutMs);
            view.EnableLedTimer(TLed::Rx, true);
        }
    } rx{view_, received_ >= 1 || !echoed};

    if (!echoed) {
        view_.OutcomeKnown(Outcome);
        Dispatch(kMsgReplyCrcError);
    } else if (received_ >= 1) {
        Log.Status.clear();
        Classify(framed);
        view_.OutcomeKnown(Outcome);
        const bool good = Outcome == TOutcome::Good || Outcome == TOutcome::Exception;
        Dispatch(good ? kMsgReplyGood : kMsgReplyCrcError);
    } else {
        // The serial unit closes a port whose device went away.
        Outcome = port_.IsOpened() ? TOutcome::Timeout : TOutcome::PortClosed;
        if (Outcome == TOutcome::Timeout && framed) {
            const TTimeouts& t = port_.Timeouts();
            drain_ = {true, true, frame_.TxBuf[kOffSlave],
                      TClock::now() + std::chrono::milliseconds(uint64_t{t.ReadTotalMultiplier} * kPortBufferSize +
                                                                t.ReadTotalConstant)};
        }
        view_.OutcomeKnown(Outcome);
        Dispatch(kMsgTimeout);
    }
}

bool TTransaction::ReadEcho(const std::vector<uint8_t>& wire) {
    const auto length = static_cast<uint32_t>(wire.size());
    port_.ReadPort([length](const uint8_t*, uint32_t) { return length; });
    const uint32_t got = std::min<uint32_t>(port_.Received(), kPortBufferSize);
    quietSince_ = TClock::now();
    if (got == 0) return true;  // nothing at all: the reply read finds out why
    AppendReplyLine(port_.RxBuffer(), got, u" (echo)");
    if (got == length && std::memcmp(port_.RxBuffer(), wire.data(), length) == 0) return true;
    Outcome = TOutcome::Collision;
    Log.Status.clear();
    Log.ReplyHex = FromUtf8(HexDump(port_.RxBuffer(), static_cast<uint16_t>(got)));
    drain_ = {true, false, frame_.TxBuf[kOffSlave], {}};
    return false;
}

void TTransaction::ReadReply() {
    // The read ends as soon as a complete reply with a good CRC to this request is
    // in, behind up to three stray bytes; anything else is ended by the port's
    // time-outs, as the line's silence tells.
    port_.ReadPort([this](const uint8_t* p, uint32_t n) { return ReplyEndFor(frame_, p, n); });
    received_ = std::min<uint32_t>(port_.Received(), kMaxReplySize);
    std::memcpy(rx_.data(), port_.RxBuffer(), received_);
    quietSince_ = TClock::now();
    // Late replies to earlier requests the port knew and passed over (Modbus TCP).
    const std::span<const uint8_t> passed = port_.PassedOver();
    if (!passed.empty()) AppendReplyLine(passed.data(), static_cast<uint32_t>(passed.size()), u" (odrzucone)");
}

void TTransaction::Classify(bool framed) {
    at_ = framed ? StrayBytes(frame_, rx_.data(), received_) : 0;
    if (at_ > 0) AppendReplyLine(rx_.data(), at_, u" (pominięte)");
    // The pane shows the reply as it came over the wire (on Modbus TCP, with its header).
    const uint8_t* r = Reply();
    const uint32_t n = ReplySize();
    Log.ReplyHex = FromUtf8(HexDump(r, static_cast<uint16_t>(n)));
    view_.AppendCommLine(u"> " + Log.ReplyHex);

    // Each transport takes its reply out of its own frame; the line's is the protocol's.
    const std::optional<TUnframed> own = port_.Unframe(r, n);
    reply_ = own ? *own : UnframeRtu(r, n);
    // Without the echo setting, bytes that begin with the request are its echo.
    const bool echo = framed && !Line.Echo && BeginsWithRequest(frame_.TxBuf.data(), frame_.FrameLength, r, n);
    if (reply_.Fault == TFrameFault::Crc) {
        Outcome = echo ? TOutcome::Echo : TOutcome::CrcError;
    } else if (reply_.Fault == TFrameFault::Header) {
        Outcome = TOutcome::Damaged;
        detailPl_ = reply_.DetailPl, detailEn_ = reply_.DetailEn;
    } else if (detailEn_ = ReplyMismatch(frame_, reply_, TLanguage::English); !detailEn_.empty()) {
        detailPl_ = ReplyMismatch(frame_, reply_, TLanguage::Polish);
        Outcome = echo ? TOutcome::Echo : TOutcome::Mismatch;
    } else if (reply_.Pdu[0] & 0x80) {
        Outcome = TOutcome::Exception;
        ExceptionCode = reply_.Pdu[1];
    } else {
        Outcome = echo && SecondCopyFollows() ? TOutcome::Echo : TOutcome::Good;
    }
    if (Outcome == TOutcome::Echo) detailPl_.clear(), detailEn_.clear();
    if (Outcome != TOutcome::Good && Outcome != TOutcome::Exception) reply_ = {};
    if (Outcome != TOutcome::Good && Outcome != TOutcome::Exception && framed)
        drain_ = {true, false, frame_.TxBuf[kOffSlave], {}};
}

bool TTransaction::SecondCopyFollows() {
    // Only a write (6) or a diagnostic (8) is answered by a copy of itself.
    if (!port_.ReadLate(port_.Timeouts().ReadInterval)) return false;
    const uint32_t n = std::min<uint32_t>(port_.Received(), kPortBufferSize);
    quietSince_ = TClock::now();
    if (n == 0) return false;
    const bool copy = BeginsWithRequest(frame_.TxBuf.data(), frame_.FrameLength, port_.RxBuffer(), n);
    AppendReplyLine(port_.RxBuffer(), n, copy ? std::u16string_view{} : std::u16string_view{u" (odrzucone)"});
    return copy;
}

void TTransaction::DrainLate(uint8_t unit) {
    if (!drain_.Pending) return;
    const auto drain = drain_;
    drain_.Pending = false;
    // Another unit's reply is told apart by its address: no wait for a late one.
    if (drain.AfterTimeout && drain.Unit != unit) return;
    uint32_t wait = 0;
    if (drain.AfterTimeout) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(drain.BeginBy - TClock::now()).count();
        wait = left > 0 ? static_cast<uint32_t>(left) : 0;
    }
    // A babbling line cannot hold the next request for long.
    constexpr int kMaxReads = 8;
    for (int i = 0; i < kMaxReads && port_.ReadLate(wait); ++i) {
        const uint32_t late = std::min<uint32_t>(port_.Received(), kPortBufferSize);
        if (late == 0) break;
        AppendReplyLine(port_.RxBuffer(), late, u" (odrzucone)");
        wait = 0;
    }
    quietSince_ = TClock::now();
}

void TTransaction::KeepGap() {
    if (Line.GapMs == 0) return;
    std::this_thread::sleep_until(quietSince_ + std::chrono::milliseconds(std::min(Line.GapMs, kMaxGapMs)));
}

void TTransaction::AppendReplyLine(const uint8_t* p, uint32_t n, std::u16string_view mark) {
    std::u16string line = u"> " + FromUtf8(HexDump(p, static_cast<uint16_t>(n)));
    line += mark;
    view_.AppendCommLine(line);
}

std::string TTransaction::Reason(TLanguage language) const {
    return OutcomeReason(Outcome, ExceptionCode, language, language == TLanguage::Polish ? detailPl_ : detailEn_);
}

void TTransaction::ReadRegister(TNode& node, std::u16string_view slaveText) {
    // Built first: a refused request leaves the record, its value and the log as they were.
    BuildRead(frame_, slaveText, node.Record);
    CurrentRecord = &node.Record;
    node.Record.Value.clear();
    ClearLogRecord(Log);
    Log.LineName = node.Record.Name;
    Log.LineAddress = node.Record.Address;
    Transact();
}

bool TTransaction::WriteRegister(TNode& node, std::u16string_view slaveText) {
    const TRegData& r = node.Record;
    const int access = GetAccessCode(r.Access);
    if (access != kAccessRW && access != kAccessRP) return false;
    WrittenValue = StrToInt(r.Length) == 1 ? BuildWriteSingle(frame_, slaveText, r)
                                           : BuildWriteMultiple(frame_, slaveText, r);
    Log.LineAddress = r.Address;
    Log.LineName = WriteLineName(r.Name);
    Log.LineValue = r.Value;
    Transact();
    return true;
}

bool TTransaction::ResetDevice(std::u16string_view slaveText) {
    if (!BuildDiagnostic(frame_, slaveText, u"$0001", u"$FF00")) return false;
    // Its own line, so the result does not repeat the previous register's.
    ClearLogRecord(Log);
    Log.LineName = u"Reset";
    Transact();
    return true;
}

void TTransaction::Dispatch(int message) {
    switch (message) {
        case kMsgNextStep:
            view_.OnNextStep();
            break;
        case kMsgReplyGood:
            OnReplyGood();
            break;
        case kMsgTimeout:
            OnReplyTimeout();
            break;
        case kMsgReplyCrcError:
            OnReplyCrcError();
            break;
        default:
            break;
    }
}

void TTransaction::OnReplyGood() {
    pendingError_.clear();
    if (DecodeReply()) {
        Log.LineValue = Rslt.ValueText;
        RequestLines.ReplaceLast(RequestLine(Log.LineAddress, Log.LineName, Log.LineValue));
        if (view_.MonitorTicked())
            view_.AppendResultLine(view_.TimeOfDay() + u"  " + Log.LineValue);
        else
            view_.AppendResultLine(RequestLines.Last());
        view_.StartHighlightTimer();
    }
    if (!pendingError_.empty()) {
        // Like every error, it ends the running sequence: no next step.
        const std::string error = std::move(pendingError_);
        pendingError_.clear();
        throw Error(error);
    }
    view_.ProcessPendingEvents();
    Dispatch(kMsgNextStep);
}

bool TTransaction::DecodeReply() {
    const uint8_t* pdu = reply_.Pdu;
    if (pdu == nullptr || (pdu[0] & 0x80)) {
        Rslt.ErrorText = u"błąd !";
        Rslt.Ok = false;
        return false;
    }
    Rslt.Ok = true;
    Rslt.ValueText.clear();
    switch (frame_.Function()) {
        case 3:
        case 4: {
            // Never past what arrived: the byte count, but at most the bytes after it.
            const int n = std::max(0, std::min<int>(pdu[1], static_cast<int>(reply_.PduSize) - 2));
            Rslt.ValueText = DecodeValue(frame_.TypeCode, n, pdu + 2);
            Rslt.Number = DecodeNumber(frame_.TypeCode, n, pdu + 2);
            StoreReplyValue();
            break;
        }
        case 6:
        case 16:
            Rslt.ValueText = WrittenValue;
            StoreReplyValue();
            break;
        default:
            break;
    }
    return true;
}

void TTransaction::StoreReplyValue() {
    const uint8_t function = frame_.Function();
    if (function == 6 || function == 16) return;
    if (!CurrentRecord) return;
    view_.BeginTreeUpdate();
    struct EndUpdate {
        TTransactionView& view;
        ~EndUpdate() { view.EndTreeUpdate(); }
    } end{view_};
    CurrentRecord->Value = Rslt.ValueText;
    const bool bitField = CurrentRecord->DataType == u"HEX" || CurrentRecord->DataType == u"WORD";
    if (bitField && CurrentNode && (CurrentNode->States & kStateHasChildren) && !Rslt.ValueText.empty())
        SetBitChecks(StrToInt(Rslt.ValueText));
}

void TTransaction::SetBitChecks(int32_t value) {
    if (!CurrentNode || !Tree) return;
    for (TNode* node = CurrentNode->FirstChild(); node && node->Record.DataType == u"BIT"; node = Tree->NextNode(node)) {
        try {
            node->CheckState = StrToInt(node->Record.Value) == value ? kCheckCheckedNormal : kCheckUncheckedNormal;
        } catch (const Error& e) {
            // The tick stays as it was; the failure is raised once the reply is handled.
            if (pendingError_.empty()) pendingError_ = e.what();
        }
    }
}

void TTransaction::OnReplyCrcError() {
    Rslt.Ok = false;
    Log.Status = Outcome == TOutcome::CrcError ? u"crc_error" : Outcome == TOutcome::Damaged ? u"damaged" : u"mismatch";
    Dispatch(kMsgNextStep);
}

void TTransaction::OnReplyTimeout() {
    Rslt.Ok = false;
    Rslt.ValueText.clear();
    Log.Status = u"...";
    Dispatch(kMsgNextStep);
}

void TTransaction::txTimerTimer() {
    view_.SetLed(TLed::Tx, kIdleGrey);
    view_.EnableLedTimer(TLed::Tx, false);
}

void TTransaction::rxTimerTimer() {
    view_.SetLed(TLed::Rx, kIdleGrey);
    view_.EnableLedTimer(TLed::Rx, false);
}

void TTransaction::EndHighlight() {
    view_.StopHighlightTimer();
    HighlightNode = nullptr;
    view_.RepaintTree();
}

std::vector<uint16_t> TTransaction::ReplyWords() const {
    const uint8_t function = frame_.Function();
    if (Outcome != TOutcome::Good || (function != 3 && function != 4)) return {};
    const uint8_t* pdu = reply_.Pdu;
    const uint32_t n = reply_.PduSize >= 2 ? std::min<uint32_t>(pdu[1], reply_.PduSize - 2) : 0;
    if (n != 2u * frame_.RegisterCount) return {};
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < n; i += 2) words.push_back(static_cast<uint16_t>(pdu[2 + i] << 8 | pdu[3 + i]));
    return words;
}

}  // namespace vyx
