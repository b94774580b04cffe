// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary received bytes, with any request state and type code, through
// the whole reply handling of a transaction: the CRC check, the match with the
// request, DecodeReply and DecodeValue into a register record with bit children.
// Besides crashes, leaks and hangs, it checks that each outcome leaves the record
// and the result as the reply handling promises, and that nothing but a reply
// that answers the request (by a model of the rules written here) is ever taken.
//
// Requests of functions 17 and 43 (read device identification, MEI type 14,
// its read code from the flags) are checked against their own rules, and a
// reply that answers one is taken apart by its decoder.
//
// Input: function code, type code, register count, flags, number of bit
// children, then per child a length byte and its value text; the rest is the
// reply as the port delivers it (with flag 0x40, its CRC made good).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "modbus/Frame.h"
#include "modbus/Identify.h"
#include "modbus/Transaction.h"
#include "base/Error.h"
#include "registers/RegisterTree.h"
#include "serial/Serial.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "Reply_fuzz: %s\n", what);
    std::abort();
}

// A port that delivers one reply, as the serial unit would: at most 128 bytes,
// the rest of the buffer zero.
class TScriptedPort : public vyx::TPort {
public:
    TScriptedPort(const uint8_t* reply, size_t n) : length_(static_cast<uint32_t>(std::min<size_t>(n, 128))) {
        std::memcpy(buffer_, reply, length_);
    }
    bool OpenPort(const std::string&, const std::string&) override { return true; }
    bool SetTimeouts(uint16_t, uint16_t, uint16_t, uint16_t, uint16_t) override { return true; }
    const vyx::TTimeouts& Timeouts() const override { return timeouts_; }
    void ClosePort() override {}
    vyx::TOpenFault OpenFault() const override { return vyx::TOpenFault::None; }
    int OpenErrno() const override { return 0; }
    bool IsOpened() const override { return true; }
    uint16_t WritePort(const uint8_t*, uint16_t n) override { return n; }
    bool ReadPort(const vyx::TReplyEnd&) override {
        received_ = length_;
        return true;
    }
    bool ReadLate(uint32_t) override {  // nothing follows the reply
        received_ = 0;
        return true;
    }
    uint32_t Received() const override { return received_; }
    uint32_t Delivered() const { return length_; }  // what the reply read gave
    const uint8_t* RxBuffer() const override { return buffer_; }

private:
    vyx::TTimeouts timeouts_;
    uint8_t buffer_[vyx::kPortBufferSize] = {};
    uint32_t length_;
    uint32_t received_ = 0;
};

class TQuietView : public vyx::TTransactionView {
public:
    int Results = 0;
    void ShowMessage(std::u16string_view) override {}
    void AppendCommLine(std::u16string_view) override {}
    void AppendResultLine(std::u16string_view) override {}
    void ShowResult(const vyx::TLog&) override { ++Results; }
    void StoringValue(const vyx::TNode&) override { ++updates_; }
    void ValueStored(const vyx::TNode&) override { --updates_; }
    void OnNextStep() override {}
    int OpenUpdates() const { return updates_; }

private:
    int updates_ = 0;
};

// A whole reply of m bytes (CRC included) to 43/14 with read code `code`: the
// MEI type and read code echoed, then exactly as many objects as it counts.
bool DeviceIdAnswers(const uint8_t* r, uint32_t m, uint8_t code) {
    if (m < 10 || r[2] != 0x0E || r[3] != code) return false;
    uint32_t at = 8;
    for (int i = 0; i < r[7]; ++i) {
        if (at + 2 > m - 2) return false;
        at += 2u + r[at + 1];
    }
    return at == m - 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t function = data[0], type = data[1], count = data[2], flags = data[3];
    const size_t children = data[4] % 8;
    size_t at = 5;

    vyx::TRegisterTree tree;
    vyx::TNode* reg = tree.AddChild(nullptr);
    static const char16_t* const kTypes[] = {u"HEX", u"WORD", u"REAL", u"TEXT"};
    reg->Record.DataType = kTypes[flags & 3];
    reg->Record.Value = u"old";
    for (size_t i = 0; i < children; ++i) {
        vyx::TNode* child = tree.AddChild(reg);
        child->Record.DataType = u"BIT";
        child->CheckState = 1;  // neither of the two states a reply sets
        if (at < size) {
            const size_t wanted = data[at++] % 8;
            const size_t length = std::min(wanted, size - at);
            child->Record.Value.assign(data + at, data + at + length);
            at += length;
        }
    }
    if (children > 0 && (flags & 4)) reg->States |= vyx::kStateHasChildren;

    // Flag 0x40 gives the reply a good CRC in its last two bytes, so that the
    // checks behind the CRC see mutated replies too.
    uint8_t delivered[vyx::kPortBufferSize];
    const auto length = static_cast<uint16_t>(std::min<size_t>(size - at, sizeof delivered));
    std::memcpy(delivered, data + at, length);
    if ((flags & 0x40) && length >= 4) {
        const uint16_t crc = vyx::Crc16(delivered, static_cast<uint16_t>(length - 2));
        delivered[length - 2] = static_cast<uint8_t>(crc & 0xFF);
        delivered[length - 1] = static_cast<uint8_t>(crc >> 8);
    }
    TScriptedPort port(delivered, length);
    TQuietView view;
    vyx::TFrame frame;
    frame.TxBuf[vyx::kOffSlave] = 247;
    frame.TxBuf[vyx::kOffFunction] = function;
    frame.FrameLength = function == 17 ? 4 : function == 43 ? 7 : 8;
    if (function == 43) frame.TxBuf[2] = 0x0E, frame.TxBuf[3] = static_cast<uint8_t>(flags >> 3 & 7);
    frame.TypeCode = type;
    frame.RegisterCount = count;
    vyx::TTransaction t(port, frame, view);
    t.PrepareBuilt(reg, u"5");

    bool raised = false;
    try {
        t.Transact();
    } catch (const vyx::Error&) {
        raised = true;  // a bit child whose value is not a number
    }
    if (view.OpenUpdates() != 0) Fail("tree update not ended");

    const uint32_t n = port.Delivered();
    const uint8_t* rx = port.RxBuffer();
    if (n == 0 && (t.Log().Status != u"..." || t.Rslt().Ok)) Fail("time-out not reported");
    // Up to three stray bytes may be skipped, never the request's own bytes.
    const uint32_t skipped = n - t.ReplySize();
    if (n > 0 && (t.ReplySize() > n || skipped > 3)) Fail("more than three bytes skipped");
    if (skipped > 0 && n >= frame.FrameLength && std::memcmp(rx, frame.TxBuf.data(), frame.FrameLength) == 0)
        Fail("an echo skipped as stray bytes");
    const uint8_t* reply = rx + skipped;
    const uint32_t m = n - skipped;
    const bool crcGood = m >= 4 && vyx::CheckCrc(reply, static_cast<uint16_t>(m));
    const bool exception = crcGood && (reply[1] & 0x80) != 0;
    const auto word = [](const uint8_t* p) { return p[0] << 8 | p[1]; };
    bool answers = crcGood && reply[0] == 247 && (reply[1] & 0x7F) == function;
    if (answers && exception) answers = m == 5;
    else if (answers && (function == 3 || function == 4)) answers = reply[2] == 2 * count && m == 5u + reply[2];
    else if (answers && (function == 6 || function == 8 || function == 16))
        answers = m == 8 && word(reply + 2) == 0 && word(reply + 4) == 0;  // the request's fields are zero
    else if (answers && function == 17) answers = m == 5u + reply[2];
    else if (answers && function == 43) answers = DeviceIdAnswers(reply, m, frame.TxBuf[3]);
    if (skipped > 0 && !answers) Fail("stray bytes skipped before a reply that does not answer");
    const bool read = answers && !exception && (function == 3 || function == 4);
    if (n > 0 && !answers && (t.Rslt().Ok || t.Outcome() == vyx::TOutcome::Good || t.Outcome() == vyx::TOutcome::Exception))
        Fail("a reply that does not answer the request taken");
    if (n > 0 && !crcGood && t.Log().Status != u"crc_error" && t.Outcome() != vyx::TOutcome::Echo)
        Fail("CRC error not reported");
    if (answers && exception && (t.Rslt().Ok || t.Rslt().ErrorText != u"błąd !")) Fail("exception not reported");
    if (answers && !exception && !t.Rslt().Ok) Fail("good reply not taken");
    if (!read && reg->Record.Value != u"old") Fail("record changed without a read reply");
    if (read && reg->Record.Value != t.Rslt().ValueText) Fail("read value not stored");
    if (answers && !exception && (function == 6 || function == 16) && t.Rslt().ValueText != u"5")
        Fail("write not reported by its written value");
    if (raised && !read) Fail("error without a read reply");
    if (answers && !exception && !raised && view.Results != 1) Fail("good reply without its result line");
    if (!answers && view.Results != 0) Fail("a result line without a reply that answers");
    if (answers && !exception && (function == 17 || function == 43)) {
        if (!t.Rslt().ValueText.empty()) Fail("an identification taken as a value");
        const uint8_t* pdu = reply + 1;
        if (function == 17) {
            const auto id = vyx::DecodeSlaveId(pdu, m - 3);
            if (id.has_value() != (reply[2] >= 2)) Fail("a whole reply to 17 decoded wrongly");
            if (id && (id->Data.size() != reply[2] - 2u || id->Id != reply[3])) Fail("slave id data misplaced");
            if (id) (void)id->DataText();
        } else {
            const auto device = vyx::DecodeDeviceId(pdu, m - 3);
            if (device.has_value() != (reply[3] >= 1 && reply[3] <= 4)) Fail("a whole reply to 43/14 decoded wrongly");
            if (device && device->Objects.size() != reply[7]) Fail("objects lost");
        }
    }
    for (size_t i = 0; i < reg->ChildCount(); ++i) {
        const uint8_t state = reg->Child(i)->CheckState;
        if (state != 1 && state != vyx::kCheckCheckedNormal && state != vyx::kCheckUncheckedNormal)
            Fail("bit child in a state no reply sets");
        if (state != 1 && !read) Fail("bit child ticked without a read reply");
    }
    return 0;
}
