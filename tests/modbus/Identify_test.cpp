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

// Slave 247 answers 43/14 with vendor "vyx sim", product "VXT-20F", revision "$0502",
const Bytes kDeviceIdReply = {0xF7, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x03, 0x00, 0x07, 0x76, 0x79,
                              0x78, 0x20, 0x73, 0x69, 0x6D, 0x01, 0x07, 0x56, 0x58, 0x54, 0x2D, 0x32,
                              0x30, 0x46, 0x02, 0x05, 0x24, 0x30, 0x35, 0x30, 0x32, 0x40, 0x68};
// and 17 with id 247, running, "VXT-20F".
const Bytes kSlaveIdReply = {0xF7, 0x11, 0x09, 0xF7, 0xFF, 0x56, 0x58, 0x54, 0x2D, 0x32, 0x30, 0x46, 0x08, 0x6B};

Bytes Sent(const TFrame& f) { return Bytes(f.TxBuf.begin(), f.TxBuf.begin() + f.FrameLength); }
std::string Hex(const Bytes& b) { return HexDump(b.data(), static_cast<uint16_t>(b.size())); }

// Where a read of `bytes` ends when the port takes them `step` at a time, never
// more than the rule allows (as the serial unit reads).
uint32_t ReadEnd(const TFrame& request, const Bytes& bytes, uint32_t step) {
    uint32_t got = 0;
    while (got < bytes.size()) {
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
    BuildReportSlaveId(f, 1);
    EXPECT_EQ(Hex(Sent(f)), "$0111C02C");
    BuildReadDeviceId(f, 5, 2);
    EXPECT_EQ(Hex(Sent(f)), "$052B0E01020076");
    BuildReportSlaveId(f, 247);
    EXPECT_EQ(Hex(Sent(f)), "$F711878C");
    for (const uint8_t slave : {0, 248}) {
        TFrame kept = f;
        EXPECT_THROW(BuildReadDeviceId(kept, slave), Error);
        try {
            BuildReportSlaveId(kept, slave);
            ADD_FAILURE() << int(slave);
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "nieprawidłowy adres urządzenia");
        }
        EXPECT_EQ(Sent(kept), Sent(f));
    }
}

// The length of a 43/14 reply shows object by object: fed a byte at a time, or
// all at once with another frame behind it, the read ends exactly at its end.
TEST(DeviceIdReply, ReadToItsEndNeverPastIt) {
    TFrame request;
    BuildReadDeviceId(request, 247);
    const auto length = static_cast<uint32_t>(kDeviceIdReply.size());
    EXPECT_EQ(ReplyLength(kDeviceIdReply.data(), length), length);
    for (uint32_t n = 0; n < length; ++n) {
        const uint32_t end = ReplyEndFor(request, kDeviceIdReply.data(), n);
        EXPECT_TRUE(end > n && end <= length) << n << ": " << end;
        EXPECT_EQ(ReplyEnd(kDeviceIdReply.data(), n), end) << n;
    }
    const Bytes behind = Join(kDeviceIdReply, {0xF7, 0x03, 0x02}), stray = Join({0x00}, behind);
    for (const uint32_t step : {1u, 2u, 128u}) {
        EXPECT_EQ(ReadEnd(request, behind, step), length) << step;
        EXPECT_EQ(ReadEnd(request, stray, step), length + 1) << step;
    }
    EXPECT_EQ(StrayBytes(request, stray.data(), length + 1), 1u);
}

TEST(ReplyMismatch, SlaveIdAndDeviceIdReplies) {
    TFrame slaveId, deviceId;
    BuildReportSlaveId(slaveId, 247);
    BuildReadDeviceId(deviceId, 247);
    // A 43/14 reply with MEI type, read code, `count` and the objects' bytes; the CRC plays no part.
    const auto reply = [](uint8_t mei, uint8_t code, uint8_t count, const Bytes& objects) {
        return Join(Join({0xF7, 0x2B, mei, code, 0x01, 0x00, 0x00, count}, objects), {0, 0});
    };
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
        {deviceId, reply(0x0E, 0x01, 0, {}), ""},
        {deviceId, {0xF7, 0xAB, 0x01, 0, 0}, ""},
        {deviceId, reply(0x0D, 0x01, 0, {}), "MEI type 13 instead of 14"},
        {deviceId, reply(0x0E, 0x04, 0, {}), "read code 4 instead of 1"},
        {deviceId, reply(0x0E, 0x01, 3, {0x00, 0x01, 0x41, 0x01, 0x01, 0x42}), "2 objects instead of 3"},
        {deviceId, reply(0x0E, 0x01, 1, {0x00, 0x05, 0x41}), "0 objects instead of 1"},
        {deviceId, reply(0x0E, 0x01, 1, {0x00, 0x01, 0x41, 0x01}), "a frame of 14 bytes instead of 13"},
        {deviceId, {0xF7, 0x2B, 0x0E, 0x01, 0, 0}, "a frame of 6 bytes instead of 10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyMismatch(c.request, c.reply.data(), static_cast<uint32_t>(c.reply.size())), c.mismatch)
            << Hex(c.reply);
    const Bytes both = reply(0x0D, 0x02, 2, {0x00, 0x00});
    EXPECT_EQ(ReplyMismatch(deviceId, both.data(), static_cast<uint32_t>(both.size()), TLanguage::Polish),
              "typ MEI 13 zamiast 14, kod odczytu 2 zamiast 1");
}

TEST(DecodeIdentity, WholeRepliesOnly) {
    // Windows-1250 letters as UTF-8, other bytes by number, trailing spaces and NULs cut.
    const Bytes slave = {0x11, 0x0B, 0x05, 0x00, 0xA3, 0xF3, 0x64, 0x9F, 0x01, 0x81, 0x20, 0x00, 0x20};
    const auto id = DecodeSlaveId(slave.data(), static_cast<uint32_t>(slave.size()));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->Id, 5);
    EXPECT_FALSE(id->Running);
    EXPECT_EQ(id->DataText(), "Łódź\\x01\\x81");
    // Fewer than 2 bytes after the count, a count that disagrees, an exception.
    for (const Bytes& b : {Bytes{0x11, 0x01, 0x05}, Bytes{0x11, 0x03, 0x05, 0xFF}, Bytes{0x91, 0x02, 0x05, 0xFF}})
        EXPECT_FALSE(DecodeSlaveId(b.data(), static_cast<uint32_t>(b.size()))) << Hex(b);

    const Bytes device = {0x2B, 0x0E, 0x02, 0x81, 0xFF, 0x02, 0x02, 0x00, 0x00, 0x01, 0x02, 0x8C, 0xB9};
    const auto objects = DecodeDeviceId(device.data(), static_cast<uint32_t>(device.size()));
    ASSERT_TRUE(objects && objects->Objects.size() == 2);
    EXPECT_EQ(std::vector<int>({objects->Conformity, objects->MoreFollows, objects->NextObject}),
              std::vector<int>({0x81, 1, 2}));
    EXPECT_EQ(objects->Objects[0].Value, "");
    EXPECT_EQ(objects->Objects[1].Id, 1);
    EXPECT_EQ(objects->Objects[1].Value, "Śą");
    const Bytes bad[] = {
        {0x2B, 0x0D, 0x01, 0x01, 0x00, 0x00, 0x00},                    // another MEI type
        {0x2B, 0x0E, 0x05, 0x01, 0x00, 0x00, 0x00},                    // no such read code
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x02, 0x41},  // a value past the end
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00},              // a length past the end
        {0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00},              // a byte left over
        {0xAB, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x00},                    // an exception
    };
    for (const Bytes& b : bad) EXPECT_FALSE(DecodeDeviceId(b.data(), static_cast<uint32_t>(b.size()))) << Hex(b);
}

// A request a caller builds, answered on a line that trickles the reply and
// sends another frame right behind it: the reply is taken whole, shown, and is
// no register's value.
TEST(IdentifyOnALine, TheReplyIsTakenWhole) {
    TScriptedLine line([](const Bytes&, size_t) {
        std::vector<TChunk> chunks;
        for (const uint8_t b : kDeviceIdReply) chunks.push_back({std::chrono::milliseconds(2), {b}});
        chunks.back().Data = Join(chunks.back().Data, {0xF7, 0x03, 0x02, 0x00});
        return chunks;
    });
    TSerial port;
    ASSERT_TRUE(port.OpenPort(line.Path(), "19200,e,8,1"));
    ASSERT_TRUE(port.SetTimeouts(200, 0, 1000, 0, 30));
    TFrame frame;
    TRecordingView view;
    TTransaction t(port, frame, view);
    BuildReadDeviceId(frame, 247);
    t.PrepareBuilt(nullptr);
    t.Transact();
    ASSERT_EQ(t.Outcome(), TOutcome::Good) << t.Reason(TLanguage::English);
    EXPECT_EQ(Bytes(t.Reply(), t.Reply() + t.ReplySize()), kDeviceIdReply);
    EXPECT_TRUE(t.Rslt().ValueText.empty());
    EXPECT_EQ(view.CommLines, (std::vector<std::string>{"< $F72B0E0100B862", "> " + Hex(kDeviceIdReply)}));
}
