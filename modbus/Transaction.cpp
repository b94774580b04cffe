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
#include "modbus/PaneLines.h"
#include "base/Error.h"
#include "base/Text.h"

namespace vyx {

TTransaction::TTransaction(TPort& port, TFrame& frame, TTransactionView& view)
    : own_(std::make_unique<TInlineBus>(port)), bus_(*own_), frame_(frame), view_(view) {}

TTransaction::TTransaction(TBus& bus, TFrame& frame, TTransactionView& view) : bus_(bus), frame_(frame), view_(view) {}

TTransaction::~TTransaction() = default;

void TTransaction::Transact() {
    if (inFlight_) throw Error("an exchange is still out");
    const TFrame request = sent_ = frame_;
    const TLineOptions line = line_;
    TExchangeResult r;
    bus_.Call([&](TPort& port, TWire& wire) { r = wire.Exchange(port, request, line); });
    if (r.Sent) ShowSent(r.Lines, r.SentLines, r.RequestHex);
    Finish(r);
}

void TTransaction::Start(TEnded ended) {
    if (inFlight_) throw Error("an exchange is still out");
    const TFrame request = sent_ = frame_;
    const TLineOptions line = line_;
    inFlight_ = true;
    TBus& bus = bus_;
    bus.Post([this, &bus, request, line, ended = std::move(ended)](TPort& port, TWire& wire) {
        auto r = std::make_shared<TExchangeResult>(wire.Exchange(port, request, line, [&](const TExchangeResult& s) {
            bus.Deliver([this, lines = s.Lines, n = s.SentLines, hex = s.RequestHex] { ShowSent(lines, n, hex); });
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

void TTransaction::ShowSent(const std::vector<std::u16string>& lines, size_t sentLines, const std::u16string& hex) {
    log_.RequestHex = hex;
    for (size_t i = 0; i < sentLines && i < lines.size(); ++i) view_.AppendCommLine(lines[i]);
    ++requestsSent_;
    view_.RequestSent();
}

void TTransaction::Finish(const TExchangeResult& r) {
    inFlight_ = false;
    if (std::exchange(abandoned_, false)) {
        for (size_t i = r.SentLines; i < r.Lines.size(); ++i)
            view_.AppendCommLine(r.Lines[i] + (r.Lines[i] == u"> " + r.ReplyHex ? u" (odrzucone)" : u""));
        view_.ExchangeEnded(r.Heard);
        return;
    }
    portOpen_ = r.PortOpen;
    outcome_ = r.Outcome;
    exceptionCode_ = r.ExceptionCode;
    detailPl_ = r.DetailPl, detailEn_ = r.DetailEn;
    rx_ = r.Rx;
    received_ = r.Received, at_ = r.At;
    reply_ = {};
    if (r.PduSize > 0) reply_ = {TFrameFault::None, {}, {}, r.Unit, rx_.data() + r.PduAt, r.PduSize, 0};
    rslt_.Number.reset();
    if (!r.Sent) {
        view_.OutcomeKnown(outcome_);
        if (!quietWhenUnsent_) view_.ShowMessage(u"brak połączenia !");
        return;
    }
    for (size_t i = r.SentLines; i < r.Lines.size(); ++i) view_.AppendCommLine(r.Lines[i]);

    // The indicators are set when the completion (and any sequence nested in it)
    // has returned, also when it ends with an error.
    struct Ended {
        TTransactionView& view;
        bool heard;
        ~Ended() { view.ExchangeEnded(heard); }
    } ended{view_, r.Heard};

    const bool replied = r.Outcome == TOutcome::Collision || r.Received >= 1;
    log_.Status.clear();
    if (replied) log_.ReplyHex = r.ReplyHex;
    view_.OutcomeKnown(outcome_);
    if (replied && (outcome_ == TOutcome::Good || outcome_ == TOutcome::Exception))
        OnReplyGood();
    else
        OnReplyFailed(replied);
}

std::string TTransaction::Reason(TLanguage language) const {
    return OutcomeReason(outcome_, exceptionCode_, language, language == TLanguage::Polish ? detailPl_ : detailEn_);
}

void TTransaction::PrepareRead(TNode& node, const TSlave& slave) {
    // Built first: a refused request leaves the record, its value and the log as they were.
    BuildRead(frame_, slave.Address(), node.Record);
    node_ = &node;
    node.Record.Value.clear();
    log_ = {};
    log_.LineName = node.Record.Name;
    log_.LineAddress = node.Record.Address;
}

bool TTransaction::PrepareWrite(TNode& node, const TSlave& slave) {
    const TRegData& r = node.Record;
    const int access = GetAccessCode(r.Access);
    if (access != kAccessRW && access != kAccessRP) return false;
    const uint8_t address = slave.Address();
    writtenValue_ = StrToInt(r.Length) == 1 ? BuildWriteSingle(frame_, address, r) : BuildWriteMultiple(frame_, address, r);
    node_ = &node;
    log_.LineAddress = r.Address;
    log_.LineName = WriteLineName(r.Name);
    log_.LineValue = r.Value;
    return true;
}

void TTransaction::PrepareWriteWords(const TRegData& record, const TSlave& slave, std::span<const uint16_t> words) {
    writtenValue_ = BuildWriteWords(frame_, slave.Address(), record, words);
    node_ = nullptr;
    log_.LineAddress = record.Address;
    log_.LineName = WriteLineName(record.Name);
    log_.LineValue = record.Value;
}

bool TTransaction::PrepareReset(const TSlave& slave) {
    if (!BuildDiagnostic(frame_, slave.Address(), kRestartSubFunction, kRestartData)) return false;
    node_ = nullptr;
    // Its own line, so the result does not repeat the previous register's.
    log_ = {};
    log_.LineName = u"Reset";
    return true;
}

void TTransaction::PrepareBuilt(TNode* node, std::u16string written) {
    node_ = node;
    writtenValue_ = std::move(written);
    log_ = {};
}

void TTransaction::ReadRegister(TNode& node, const TSlave& slave) {
    PrepareRead(node, slave);
    Transact();
}

bool TTransaction::WriteRegister(TNode& node, const TSlave& slave) {
    if (!PrepareWrite(node, slave)) return false;
    Transact();
    return true;
}

bool TTransaction::ResetDevice(const TSlave& slave) {
    if (!PrepareReset(slave)) return false;
    Transact();
    return true;
}

void TTransaction::OnReplyGood() {
    pendingError_.clear();
    if (DecodeReply()) {
        log_.LineValue = rslt_.ValueText;
        view_.ShowResult(log_);
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
        rslt_.ErrorText = u"błąd !";
        rslt_.Ok = false;
        return false;
    }
    rslt_.Ok = true;
    rslt_.ValueText.clear();
    switch (sent_.Function()) {
        case 3:
        case 4: {
            // Never past what arrived: the byte count, but at most the bytes after it.
            const int n = std::max(0, std::min<int>(pdu[1], static_cast<int>(reply_.PduSize) - 2));
            rslt_.ValueText = DecodeValue(sent_.TypeCode, n, pdu + 2);
            rslt_.Number = DecodeNumber(sent_.TypeCode, n, pdu + 2);
            StoreReplyValue();
            break;
        }
        case 6:
        case 16:
            rslt_.ValueText = writtenValue_;
            break;
        default:
            // 8, and 17 and 43 (what a unit is: modbus/Identify.h decodes them), carry no register's value.
            break;
    }
    return true;
}

void TTransaction::StoreReplyValue() {
    if (!node_) return;
    TNode& node = *node_;
    view_.StoringValue(node);
    struct Stored {
        TTransactionView& view;
        const TNode& node;
        ~Stored() { view.ValueStored(node); }
    } stored{view_, node};
    node.Record.Value = rslt_.ValueText;
    const bool bitField = node.Record.DataType == u"HEX" || node.Record.DataType == u"WORD";
    if (bitField && (node.States & kStateHasChildren) && !rslt_.ValueText.empty()) SetBitChecks(StrToInt(rslt_.ValueText));
}

// The bit children lead the register's children; each is ticked when its value
// is the register's.
void TTransaction::SetBitChecks(int32_t value) {
    for (size_t i = 0; i < node_->ChildCount() && node_->Child(i)->Record.DataType == u"BIT"; ++i) {
        TNode& bit = *node_->Child(i);
        try {
            bit.CheckState = StrToInt(bit.Record.Value) == value ? kCheckCheckedNormal : kCheckUncheckedNormal;
        } catch (const Error& e) {
            // The tick stays as it was; the failure is raised once the reply is handled.
            if (pendingError_.empty()) pendingError_ = e.what();
        }
    }
}

void TTransaction::OnReplyFailed(bool replied) {
    rslt_.Ok = false;
    if (!replied) {
        rslt_.ValueText.clear();
        log_.Status = u"...";
    } else {
        log_.Status = outcome_ == TOutcome::CrcError ? u"crc_error" : outcome_ == TOutcome::Damaged ? u"damaged" : u"mismatch";
    }
    view_.OnNextStep();
}

std::vector<uint16_t> TTransaction::ReplyWords() const {
    const uint8_t function = sent_.Function();
    if (outcome_ != TOutcome::Good || (function != 3 && function != 4)) return {};
    const uint8_t* pdu = reply_.Pdu;
    const uint32_t n = reply_.PduSize >= 2 ? std::min<uint32_t>(pdu[1], reply_.PduSize - 2) : 0;
    if (n != 2u * sent_.RegisterCount) return {};
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < n; i += 2) words.push_back(static_cast<uint16_t>(pdu[2 + i] << 8 | pdu[3 + i]));
    return words;
}

}  // namespace vyx
