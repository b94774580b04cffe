// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Transaction.h"

#include <algorithm>
#include <span>
#include <vector>

#include "modbus/Builders.h"
#include "registers/Error.h"
#include "registers/Text.h"

namespace vyx {
namespace {

constexpr size_t kRequestLineWidth = 80;
constexpr size_t kNameColumn = 8;
constexpr size_t kValueColumn = 20;
constexpr uint32_t kMinimumReply = 4;  // anything shorter cannot carry data and a CRC

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
    if (!port_.IsOpened()) {
        Outcome = TOutcome::PortClosed;
        view_.OutcomeKnown(Outcome);
        view_.ShowMessage(u"brak połączenia !");
        return;
    }
    // The pane shows the bytes as they go over the wire (on Modbus TCP, with their header).
    const std::vector<uint8_t> wire = port_.WireRequest(frame_.TxBuf.data(), frame_.FrameLength);
    Log.RequestHex = FromUtf8(HexDump(wire.data(), static_cast<uint16_t>(wire.size())));
    const std::u16string line = RequestLine(Log.LineAddress, Log.LineName, Log.LineValue);
    view_.AppendCommLine(u"< " + Log.RequestHex);
    RequestLines.Add(line);
    port_.WritePort(frame_.TxBuf.data(), frame_.FrameLength);
    view_.SetLed(TLed::Tx, kGreen);
    view_.EnableLedTimer(TLed::Tx, true);

    // The read ends as soon as a complete reply with a good CRC is in; anything
    // else is ended by the port's time-outs, as the line's silence tells.
    port_.ReadPort(ReplyEnd);
    const uint32_t received = std::min<uint32_t>(port_.Received(), 128);

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
    } rx{view_, received >= 1};

    if (received >= 1) {
        Log.Status.clear();
        const std::span<const uint8_t> reply = port_.WireReply();
        Log.ReplyHex = FromUtf8(HexDump(reply.data(), static_cast<uint16_t>(reply.size())));
        view_.AppendCommLine(u"> " + Log.ReplyHex);
        const uint8_t* rx = port_.RxBuffer();
        const bool good = received >= kMinimumReply && CheckCrc(rx, static_cast<uint16_t>(received));
        Outcome = !good ? TOutcome::CrcError : (rx[1] & 0x80) ? TOutcome::Exception : TOutcome::Good;
        if (Outcome == TOutcome::Exception) ExceptionCode = rx[2];
        view_.OutcomeKnown(Outcome);
        Dispatch(good ? kMsgReplyGood : kMsgReplyCrcError);
    } else {
        // The serial unit closes a port whose device went away.
        Outcome = port_.IsOpened() ? TOutcome::Timeout : TOutcome::PortClosed;
        view_.OutcomeKnown(Outcome);
        Dispatch(kMsgTimeout);
    }
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
    const uint8_t* rx = port_.RxBuffer();
    if (rx[1] & 0x80) {
        Rslt.ErrorText = u"błąd !";
        Rslt.Ok = false;
        return false;
    }
    Rslt.Ok = true;
    Rslt.ValueText.clear();
    switch (frame_.Function()) {
        case 3:
        case 4: {
            // Never past what arrived: the byte count, but at most the bytes after
            // the 3-byte header, less the CRC.
            const int received = static_cast<int>(std::min<uint32_t>(port_.Received(), 128));
            const int n = std::max(0, std::min<int>(rx[2], received - 5));
            Rslt.ValueText = DecodeValue(frame_.TypeCode, n, rx + 3);
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
    Log.Status = u"crc_error";
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
    const uint8_t* rx = port_.RxBuffer();
    const uint32_t received = port_.Received();
    const uint32_t n = received >= 5 ? std::min<uint32_t>(rx[2], received - 5) : 0;
    if (n != 2u * frame_.RegisterCount) return {};
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < n; i += 2) words.push_back(static_cast<uint16_t>(rx[3 + i] << 8 | rx[4 + i]));
    return words;
}

}  // namespace vyx
