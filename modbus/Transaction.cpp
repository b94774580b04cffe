// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Transaction.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <memory>
#include <utility>
#include <vector>

#include "modbus/Bus.h"
#include "modbus/Builders.h"
#include "base/Error.h"
#include "base/Text.h"

namespace vyx {
namespace {

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

TTransaction::TTransaction(TPort& port, TFrame& frame, TTransactionView& view)
    : own_(std::make_unique<TInlineBus>(port)), bus_(*own_), frame_(frame), view_(view) {}

TTransaction::TTransaction(TBus& bus, TFrame& frame, TTransactionView& view) : bus_(bus), frame_(frame), view_(view) {}

TTransaction::~TTransaction() = default;

void TTransaction::Transact() {
    if (inFlight_) throw Error("an exchange is still out");
    const TFrame request = sent_ = frame_;
    const TLineOptions line = Line;
    const std::u16string requestLine = RequestLine(Log.LineAddress, Log.LineName, Log.LineValue);
    TExchangeResult r;
    bus_.Call([&](TPort& port, TWire& wire) { r = wire.Exchange(port, request, line); });
    if (r.Sent) ShowSent(r.Lines, r.SentLines, r.RequestHex, requestLine);
    Finish(r);
}

void TTransaction::Start(TEnded ended) {
    if (inFlight_) throw Error("an exchange is still out");
    const TFrame request = sent_ = frame_;
    const TLineOptions line = Line;
    const std::u16string requestLine = RequestLine(Log.LineAddress, Log.LineName, Log.LineValue);
    inFlight_ = true;
    TBus& bus = bus_;
    bus.Post([this, &bus, request, line, requestLine, ended = std::move(ended)](TPort& port, TWire& wire) {
        auto r = std::make_shared<TExchangeResult>(wire.Exchange(port, request, line, [&](const TExchangeResult& s) {
            bus.Deliver([this, lines = s.Lines, n = s.SentLines, hex = s.RequestHex, requestLine] {
                ShowSent(lines, n, hex, requestLine);
            });
        }));
        bus.Deliver([this, r, ended] {
            std::exception_ptr error;
            try {
                Finish(*r);
            } catch (...) {
                error = std::current_exception();
            }
            if (ended)
                ended(error);
            else if (error)
                std::rethrow_exception(error);
        });
    });
}

void TTransaction::ShowSent(const std::vector<std::u16string>& lines, size_t sentLines, const std::u16string& hex,
                            const std::u16string& requestLine) {
    Log.RequestHex = hex;
    for (size_t i = 0; i < sentLines && i < lines.size(); ++i) view_.AppendCommLine(lines[i]);
    RequestLines.Add(requestLine);
    view_.SetLed(TLed::Tx, kGreen);
    view_.EnableLedTimer(TLed::Tx, true);
}

void TTransaction::Finish(const TExchangeResult& r) {
    inFlight_ = false;
    if (std::exchange(abandoned_, false)) {
        for (size_t i = r.SentLines; i < r.Lines.size(); ++i)
            view_.AppendCommLine(r.Lines[i] + (r.Lines[i] == u"> " + r.ReplyHex ? u" (odrzucone)" : u""));
        view_.SetLed(TLed::Rx, r.Heard ? kGreen : kRed);
        view_.SetLedTimerInterval(TLed::Rx, r.Heard ? kLedShortMs : kLedTimeoutMs);
        view_.EnableLedTimer(TLed::Rx, true);
        return;
    }
    portOpen_ = r.PortOpen;
    Outcome = r.Outcome;
    ExceptionCode = r.ExceptionCode;
    detailPl_ = r.DetailPl, detailEn_ = r.DetailEn;
    rx_ = r.Rx;
    received_ = r.Received, at_ = r.At;
    reply_ = {};
    if (r.PduSize > 0) reply_ = {TFrameFault::None, {}, {}, r.Unit, rx_.data() + r.PduAt, r.PduSize, 0};
    Rslt.Number.reset();
    if (!r.Sent) {
        view_.OutcomeKnown(Outcome);
        view_.ShowMessage(u"brak połączenia !");
        return;
    }
    for (size_t i = r.SentLines; i < r.Lines.size(); ++i) view_.AppendCommLine(r.Lines[i]);

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
    } rx{view_, r.Heard};

    if (r.Outcome == TOutcome::Collision || r.Received >= 1) {
        Log.Status.clear();
        Log.ReplyHex = r.ReplyHex;
        view_.OutcomeKnown(Outcome);
        if (Outcome == TOutcome::Good || Outcome == TOutcome::Exception)
            OnReplyGood();
        else
            OnReplyCrcError();
    } else {
        view_.OutcomeKnown(Outcome);
        OnReplyTimeout();
    }
}

std::string TTransaction::Reason(TLanguage language) const {
    return OutcomeReason(Outcome, ExceptionCode, language, language == TLanguage::Polish ? detailPl_ : detailEn_);
}

void TTransaction::PrepareRead(TNode& node, std::u16string_view slaveText) {
    // Built first: a refused request leaves the record, its value and the log as they were.
    BuildRead(frame_, slaveText, node.Record);
    CurrentRecord = &node.Record;
    node.Record.Value.clear();
    ClearLogRecord(Log);
    Log.LineName = node.Record.Name;
    Log.LineAddress = node.Record.Address;
}

bool TTransaction::PrepareWrite(TNode& node, std::u16string_view slaveText) {
    const TRegData& r = node.Record;
    const int access = GetAccessCode(r.Access);
    if (access != kAccessRW && access != kAccessRP) return false;
    WrittenValue = StrToInt(r.Length) == 1 ? BuildWriteSingle(frame_, slaveText, r)
                                           : BuildWriteMultiple(frame_, slaveText, r);
    Log.LineAddress = r.Address;
    Log.LineName = WriteLineName(r.Name);
    Log.LineValue = r.Value;
    return true;
}

bool TTransaction::PrepareReset(std::u16string_view slaveText) {
    if (!BuildDiagnostic(frame_, slaveText, u"$0001", u"$FF00")) return false;
    // Its own line, so the result does not repeat the previous register's.
    ClearLogRecord(Log);
    Log.LineName = u"Reset";
    return true;
}

void TTransaction::ReadRegister(TNode& node, std::u16string_view slaveText) {
    PrepareRead(node, slaveText);
    Transact();
}

bool TTransaction::WriteRegister(TNode& node, std::u16string_view slaveText) {
    if (!PrepareWrite(node, slaveText)) return false;
    Transact();
    return true;
}

bool TTransaction::ResetDevice(std::u16string_view slaveText) {
    if (!PrepareReset(slaveText)) return false;
    Transact();
    return true;
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
    view_.ReplyShown();
    view_.OnNextStep();
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
    switch (sent_.Function()) {
        case 3:
        case 4: {
            // Never past what arrived: the byte count, but at most the bytes after it.
            const int n = std::max(0, std::min<int>(pdu[1], static_cast<int>(reply_.PduSize) - 2));
            Rslt.ValueText = DecodeValue(sent_.TypeCode, n, pdu + 2);
            Rslt.Number = DecodeNumber(sent_.TypeCode, n, pdu + 2);
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
    const uint8_t function = sent_.Function();
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
    view_.OnNextStep();
}

void TTransaction::OnReplyTimeout() {
    Rslt.Ok = false;
    Rslt.ValueText.clear();
    Log.Status = u"...";
    view_.OnNextStep();
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
    const uint8_t function = sent_.Function();
    if (Outcome != TOutcome::Good || (function != 3 && function != 4)) return {};
    const uint8_t* pdu = reply_.Pdu;
    const uint32_t n = reply_.PduSize >= 2 ? std::min<uint32_t>(pdu[1], reply_.PduSize - 2) : 0;
    if (n != 2u * sent_.RegisterCount) return {};
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < n; i += 2) words.push_back(static_cast<uint16_t>(pdu[2 + i] << 8 | pdu[3 + i]));
    return words;
}

}  // namespace vyx
