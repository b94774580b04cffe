// SPDX-License-Identifier: GPL-3.0-or-later
// Functions 17 and 43/14: the requests, where their replies end, which replies
// answer them, and the replies taken apart. Frames and CRCs from an independent
// generator.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/Error.h"
#include "modbus/Identify.h"
#include "modbus/Transaction.h"
#include "serial/Serial.h"
#include "tests/support/RecordingView.h"
#include "tests/support/ScriptedLine.h"

using namespace vyx;
using namespace vyx::test;

namespace {

// Slave 247 answers 43/14 with vendor "vyx sim", product "VXT-20F", revision "$0502".
const Bytes kDeviceIdReply = {0xF7, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x03, 0x00, 0x07, 0x76, 0x79,
                              0x78, 0x20, 0x73, 0x69, 0x6D, 0x01, 0x07, 0x56, 0x58, 0x54, 0x2D, 0x32,
                              0x30, 0x46, 0x02, 0x05, 0x24, 0x30, 0x35, 0x30, 0x32, 0x40, 0x68};
// ... and 17 with id 247, running, "VXT-20F".
const Bytes kSlaveIdReply = {0xF7, 0x11, 0x09, 0xF7, 0xFF, 0x56, 0x58, 0x54, 0x2D, 0x32, 0x30, 0x46, 0x08, 0x6B};

Bytes Sent(const TFrame& f) { return Bytes(f.TxBuf.begin(), f.TxBuf.begin() + f.FrameLength); }

TFrame DeviceIdRequest() {
    TFrame f;
    BuildReadDeviceId(f, 247);
    return f;
}

// The PDU of a frame: after the address, before the CRC.
Bytes Pdu(const Bytes& frame) { return Bytes(frame.begin() + 1, frame.end() - 2); }

// Where a read of `bytes` ends when the port takes them `step` at a time, never
// more than the rule allows (as the serial unit reads).
uint32_t ReadEnd(const TFrame& request, const Bytes& bytes, uint32_t step) {
    uint32_t got = 0;
    while (got < bytes.size() && got < kPortBufferSize) {
        const uint32_t e = ReplyEndFor(request, bytes.data(), got);
        if (got > 0 && e == got) break;
        const uint32_t want = e > got && e < kPortBufferSize ? e : kPortBufferSize;
        got = std::min({got + step, want, static_cast<uint32_t>(bytes.size())});
    }
    return got;
}

}  // namespace

TEST(IdentifyRequests, BuiltWithTheirCrcAndRefusedForBadAddresses) {
    TFrame f;
    BuildReportSlaveId(f, 247);
    EXPECT_EQ(Sent(f), (Bytes{0xF7, 0x11, 0x87, 0x8C}));
    BuildReportSlaveId(f, 1);
    EXPECT_EQ(Sent(f), (Bytes{0x01, 0x11, 0xC0, 0x2C}));
    BuildReadDeviceId(f, 247);
    EXPECT_EQ(Sent(f), (Bytes{0xF7, 0x2B, 0x0E, 0x01, 0x00, 0xB8, 0x62}));
    BuildReadDeviceId(f, 5, 2);
    EXPECT_EQ(Sent(f), (Bytes{0x05, 0x2B, 0x0E, 0x01, 0x02, 0x00, 0x76}));
    for (const uint8_t slave : {0, 248, 255}) {
        TFrame kept = f;
        EXPECT_THROW(BuildReportSlaveId(kept, slave), Error);
        EXPECT_THROW(BuildReadDeviceId(kept, slave), Error);
        EXPECT_EQ(Sent(kept), Sent(f));
    }
    try {
        BuildReadDeviceId(f, 0);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "nieprawidłowy adres urządzenia");
    }
}

// The length of a 43/14 reply shows object by object: fed a byte at a time, or
// all at once with another frame behind it, the read ends exactly at its end.
TEST(DeviceIdReply, ReadToItsEndNeverPastIt) {
    const TFrame request = DeviceIdRequest();
    const uint32_t length = static_cast<uint32_t>(kDeviceIdReply.size());
    EXPECT_EQ(ReplyLength(kDeviceIdReply.data(), length), length);
    for (uint32_t n = 0; n < length; ++n) {
        const uint32_t end = ReplyEndFor(request, kDeviceIdReply.data(), n);
        EXPECT_GT(end, n) << n;
        EXPECT_LE(end, length) << n;
        EXPECT_EQ(ReplyEnd(kDeviceIdReply.data(), n), end) << n;
    }
    const Bytes behind = Join(kDeviceIdReply, {0xF7, 0x03, 0x02});
    const Bytes stray = Join({0x00}, behind);
    for (const uint32_t step : {1u, 2u, 128u}) {
        EXPECT_EQ(ReadEnd(request, behind, step), length) << step;
        EXPECT_EQ(ReadEnd(request, stray, step), length + 1) << step;
    }
    EXPECT_EQ(StrayBytes(request, stray.data(), length + 1), 1u);
}

TEST(ReplyMismatch, SlaveIdAndDeviceIdReplies) {
    TFrame slaveId;
    BuildReportSlaveId(slaveId, 247);
    const TFrame deviceId = DeviceIdRequest();
    // Header of a 43/14 reply with `count` objects.
    const auto header = [](uint8_t mei, uint8_t code, uint8_t count) {
        return Bytes{0xF7, 0x2B, mei, code, 0x01, 0x00, 0x00, count};
    };
    const Bytes crc = {0, 0};
    const struct {
        const TFrame& request;
        Bytes reply;
        std::string mismatch;
    } cases[] = {
        {slaveId, kSlaveIdReply, ""},
        {slaveId, {0xF7, 0x91, 0x01, 0, 0}, ""},
        {slaveId, {0xF7, 0x11, 0x02, 0xF7, 0xFF, 0x41, 0, 0}, "a frame of 8 bytes instead of 7"},
        {slaveId, {0xF7, 0x11, 0, 0}, "a frame of 4 bytes instead of 5"},
        {deviceId, kDeviceIdReply, ""},
        {deviceId, Join(header(0x0E, 0x01, 0), crc), ""},
        {deviceId, {0xF7, 0xAB, 0x01, 0, 0}, ""},
        {deviceId, Join(header(0x0D, 0x01, 0), crc), "MEI type 13 instead of 14"},
        {deviceId, Join(header(0x0E, 0x04, 0), crc), "read code 4 instead of 1"},
        {deviceId, Join(Join(header(0x0E, 0x01, 3), {0x00, 0x01, 0x41, 0x01, 0x01, 0x42}), crc),
         "2 objects instead of 3"},
        {deviceId, Join(Join(header(0x0E, 0x01, 1), {0x00, 0x05, 0x41}), crc), "0 objects instead of 1"},
        {deviceId, Join(Join(header(0x0E, 0x01, 1), {0x00, 0x01, 0x41, 0x01}), crc),
         "a frame of 14 bytes instead of 13"},
        {deviceId, {0xF7, 0x2B, 0x0E, 0x01, 0, 0}, "a frame of 6 bytes instead of 10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyMismatch(c.request, c.reply.data(), static_cast<uint32_t>(c.reply.size())), c.mismatch)
            << HexDump(c.reply.data(), static_cast<uint16_t>(c.reply.size()));
    const Bytes fewer = Join(Join(header(0x0E, 0x01, 3), {0x00, 0x01, 0x41, 0x01, 0x01, 0x42}), crc);
    EXPECT_EQ(ReplyMismatch(deviceId, fewer.data(), static_cast<uint32_t>(fewer.size()), TLanguage::Polish),
              "2 obiekty zamiast 3");
    const Bytes mei = Join(header(0x0D, 0x02, 0), crc);
    EXPECT_EQ(ReplyMismatch(deviceId, mei.data(), static_cast<uint32_t>(mei.size()), TLanguage::Polish),
              "typ MEI 13 zamiast 14, kod odczytu 2 zamiast 1");
}

TEST(DecodeIdentity, WholeRepliesOnly) {
    const Bytes slave = Pdu(kSlaveIdReply);
    const auto id = DecodeSlaveId(slave.data(), static_cast<uint32_t>(slave.size()));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->Id, 0xF7);
    EXPECT_TRUE(id->Running);
    EXPECT_EQ(id->DataText(), "VXT-20F");
    // Windows-1250 letters as UTF-8, other bytes by number, trailing spaces and NULs cut.
    const Bytes text = {0x11, 0x0B, 0x05, 0x00, 0xA3, 0xF3, 0x64, 0x9F, 0x01, 0x81, 0x20, 0x00, 0x20};
    const auto polish = DecodeSlaveId(text.data(), static_cast<uint32_t>(text.size()));
    ASSERT_TRUE(polish);
    EXPECT_FALSE(polish->Running);
    EXPECT_EQ(polish->RunIndicator, 0x00);
    EXPECT_EQ(polish->DataText(), "Łódź\\x01\\x81");
    const Bytes badSlave[] = {{0x11, 0x01, 0x05}, {0x11, 0x03, 0x05, 0xFF}, {0x91, 0x02, 0x05, 0xFF}, {0x11}};
    for (const Bytes& b : badSlave)
        EXPECT_FALSE(DecodeSlaveId(b.data(), static_cast<uint32_t>(b.size()))) << HexDump(b.data(), uint16_t(b.size()));

    const Bytes device = Pdu(kDeviceIdReply);
    const auto objects = DecodeDeviceId(device.data(), static_cast<uint32_t>(device.size()));
    ASSERT_TRUE(objects);
    EXPECT_EQ(objects->Conformity, 0x01);
    EXPECT_FALSE(objects->MoreFollows);
    ASSERT_EQ(objects->Objects.size(), 3u);
    EXPECT_EQ(objects->Objects[0].Value, "vyx sim");
    EXPECT_EQ(objects->Objects[1].Value, "VXT-20F");
    EXPECT_EQ(objects->Objects[2].Id, 2);
    EXPECT_EQ(objects->Objects[2].Value, "$0502");
    const Bytes more = {0x2B, 0x0E, 0x01, 0x01, 0xFF, 0x02, 0x01, 0x01, 0x02, 0x8C, 0xB9};
    const auto first = DecodeDeviceId(more.data(), static_cast<uint32_t>(more.size()));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->MoreFollows);
    EXPECT_EQ(first->NextObject, 2);
    EXPECT_EQ(first->Objects.at(0).Value, "Śą");
    const Bytes badDevice[] = {
        {0x2B, 0x0D, 0x01, 0x01, 0x00, 0x00, 0x00},              // another MEI type
        {0x2B, 0x0E, 0x05, 0x01, 0x00, 0x00, 0x00},              // no such read code
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x02, 0x41},  // value past the end
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00},        // length past the end
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00},        // a byte left over
        {0xAB, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x00},              // an exception
        {0x2B, 0x0E, 0x01},
    };
    for (const Bytes& b : badDevice)
        EXPECT_FALSE(DecodeDeviceId(b.data(), static_cast<uint32_t>(b.size())))
            << HexDump(b.data(), uint16_t(b.size()));
}

// Both requests as a caller builds them, answered on a line that trickles the
// reply and sends another frame right behind it: the reply is taken whole, and
// is no register's value.
TEST(IdentifyOnALine, RepliesTakenWholeAndShown) {
    using std::chrono::milliseconds;
    TScriptedLine line([](const Bytes& q, size_t) {
        const Bytes& reply = q.at(1) == kReportSlaveId ? kSlaveIdReply : kDeviceIdReply;
        std::vector<TChunk> chunks;
        for (const uint8_t b : reply) chunks.push_back({milliseconds(2), {b}});
        chunks.back().Data = Join(chunks.back().Data, {0xF7, 0x03, 0x02, 0x00});
        return chunks;
    });
    TSerial port;
    ASSERT_TRUE(port.OpenPort(line.Path(), "19200,e,8,1"));
    ASSERT_TRUE(port.SetTimeouts(200, 0, 1000, 0, 30));
    TFrame frame;
    TRecordingView view;
    TTransaction t(port, frame, view);
    const struct {
        void (*build)(TFrame&);
        const Bytes& reply;
    } cases[] = {
        {[](TFrame& f) { BuildReportSlaveId(f, 247); }, kSlaveIdReply},
        {[](TFrame& f) { BuildReadDeviceId(f, 247); }, kDeviceIdReply},
    };
    for (const auto& c : cases) {
        view.CommLines.clear();
        c.build(frame);
        t.PrepareBuilt(nullptr);
        t.Transact();
        ASSERT_EQ(t.Outcome(), TOutcome::Good) << t.Reason(TLanguage::English);
        EXPECT_EQ(Bytes(t.Reply(), t.Reply() + t.ReplySize()), c.reply);
        EXPECT_TRUE(t.Rslt().ValueText.empty());
        const Bytes sent = Sent(frame);
        EXPECT_EQ(view.CommLines, (std::vector<std::string>{"< " + HexDump(sent.data(), uint16_t(sent.size())),
                                                            "> " + HexDump(c.reply.data(), uint16_t(c.reply.size()))}));
        port.ReadLate(300);  // the frame behind it
    }
}
