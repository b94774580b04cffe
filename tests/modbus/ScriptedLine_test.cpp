// SPDX-License-Identifier: GPL-3.0-or-later
// The transaction on lines that misbehave as real ones do: replies split and
// trickling, stray bytes, echoing adapters, other units' and functions' replies,
// late replies and a gap between requests, each played on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "modbus/Transaction.h"
#include "base/Text.h"
#include "serial/Serial.h"
#include "tests/support/RecordingView.h"
#include "tests/support/ScriptedLine.h"

using namespace vyx;
using namespace vyx::test;
using std::chrono::milliseconds;

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class ScriptedLineTest : public ::testing::Test {
protected:
    void Open(TScriptedLine& line, uint16_t wait = 300) {
        ASSERT_TRUE(port.OpenPort(line.Path(), "19200,e,8,1"));
        // A wide gap between bytes: a busy machine may run the line's thread late.
        ASSERT_TRUE(port.SetTimeouts(200, 0, wait, 0, 30));
        reg = tree.AddChild(nullptr);
        reg->Record = {u"R0", u"", u"30001", u"WORD", u"1", u"RO", u""};
        setpoint = tree.AddChild(nullptr);
        setpoint->Record = {u"Nastawa", u"", u"40005", u"WORD", u"1", u"RW", u"17"};
    }
    void Read() {
        t.ReadRegister(*reg, 247);
    }

    TSerial port;
    TFrame frame;
    TRecordingView view;
    TTransaction t{port, frame, view};
    TRegisterTree tree;
    TNode* reg = nullptr;
    TNode* setpoint = nullptr;
};

using TPlay = std::function<std::vector<TChunk>(const Bytes&)>;

TEST_F(ScriptedLineTest, EachReplyIsTakenOnlyWhenItAnswersItsRequest) {
    const auto reply = [](const Bytes& q) { return ReadReply(q, {1000}); };
    const auto now = [](Bytes b) { return std::vector<TChunk>{{milliseconds(0), std::move(b)}}; };
    const struct {
        const char* name;
        bool echoSet;
        bool write;
        TPlay play;
        TOutcome outcome;
        const char* mark;  // a line of the lower pane that must be there
    } cases[] = {
        {"split", false, false,
         [&](const Bytes& q) {
             const Bytes r = reply(q);
             return std::vector<TChunk>{{milliseconds(0), Bytes(r.begin(), r.begin() + 3)},
                                        {milliseconds(20), Bytes(r.begin() + 3, r.end())}};
         },
         TOutcome::Good, "> $F7040203E8"},
        {"trickling", false, false,
         [&](const Bytes& q) {
             std::vector<TChunk> chunks;
             for (uint8_t b : reply(q)) chunks.push_back({milliseconds(5), {b}});
             return chunks;
         },
         TOutcome::Good, "> $F7040203E8"},
        {"a stray byte", false, false, [&](const Bytes& q) { return now(Join({0x00}, reply(q))); }, TOutcome::Good,
         "> $00 (pominięte)"},
        {"three stray bytes", false, false, [&](const Bytes& q) { return now(Join({0xFF, 0x00, 0xF7}, reply(q))); },
         TOutcome::Good, "> $FF00F7 (pominięte)"},
        {"an echo, not set", false, false, [&](const Bytes& q) { return now(Join(q, reply(q))); }, TOutcome::Echo,
         "> $F70400000001255CF7040203E8"},
        {"an echo, set", true, false, [&](const Bytes& q) { return now(Join(q, reply(q))); }, TOutcome::Good,
         "> $F70400000001255C (echo)"},
        {"an echo that differs", true, false,
         [&](const Bytes& q) {
             Bytes garbled = q;
             garbled[3] ^= 0x10;
             return now(Join(garbled, reply(q)));
         },
         TOutcome::Collision, "(echo)"},
        {"another slave", false, false, [&](const Bytes&) { return now(WithCrc({0xF8, 0x04, 0x02, 0x03, 0xE8})); },
         TOutcome::Mismatch, "> $F804"},
        {"another function", false, false,
         [&](const Bytes&) { return now(WithCrc({0xF7, 0x03, 0x02, 0x03, 0xE8})); }, TOutcome::Mismatch, "> $F703"},
        {"too long", false, false,
         [&](const Bytes&) { return now(WithCrc({0xF7, 0x04, 0x04, 0x03, 0xE8, 0, 0})); }, TOutcome::Mismatch,
         "> $F70404"},
        {"cut short", false, false,
         [&](const Bytes& q) {
             const Bytes r = reply(q);
             return now(Bytes(r.begin(), r.begin() + 5));
         },
         TOutcome::CrcError, "> $F7040203E8"},
        {"a write, echoed, not set", false, true, [&](const Bytes& q) { return now(Join(q, q)); }, TOutcome::Echo,
         "> $F706"},
        {"a write, echoed, set", true, true, [&](const Bytes& q) { return now(Join(q, q)); }, TOutcome::Good,
         "(echo)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedLine line([&](const Bytes& q, size_t) { return c.play(q); });
        Open(line);
        t.SetLine({c.echoSet, 0});
        view.CommLines.clear(), view.ResultLines.clear();
        if (c.write) {
            ASSERT_TRUE(t.WriteRegister(*setpoint, 247));
        } else {
            reg->Record.Value = u"old";
            Read();
            EXPECT_EQ(reg->Record.Value, c.outcome == TOutcome::Good ? u"1000" : u"");
        }
        EXPECT_EQ(t.Outcome(), c.outcome) << t.Reason(TLanguage::English);
        EXPECT_EQ(t.Rslt().Ok, c.outcome == TOutcome::Good);
        EXPECT_EQ(view.ResultLines.size(), c.outcome == TOutcome::Good ? 1u : 0u);
        EXPECT_TRUE(Has(view.CommLines, c.mark)) << c.mark;
        if (c.outcome == TOutcome::Echo) {
            EXPECT_EQ(t.Reason(TLanguage::Polish), "odebrano echo zapytania: zaznacz „Echo”");
        }
        port.ClosePort();
        tree.Clear();
    }
}

TEST_F(ScriptedLineTest, ALateReplyIsDrainedAndNeverTakenForTheNextRequest) {
    // Each request is answered with its own number; the first one after the
    // client's wait (500 ms) but within twice the wait, 250 ms from either end.
    TScriptedLine line([](const Bytes& q, size_t index) {
        return std::vector<TChunk>{{milliseconds(index == 0 ? 750 : 0), ReadReply(q, {uint16_t(index + 1)})}};
    });
    Open(line, 500);
    Read();
    EXPECT_EQ(t.Outcome(), TOutcome::Timeout);
    Read();
    EXPECT_EQ(t.Outcome(), TOutcome::Good);
    EXPECT_EQ(reg->Record.Value, u"2");
    // The first request's reply, shown as discarded before the second request.
    const Bytes late = ReadReply({0xF7, 0x04}, {1});
    const auto discarded = std::find(view.CommLines.begin(), view.CommLines.end(),
                                     "> " + HexDump(late.data(), uint16_t(late.size())) + " (odrzucone)");
    ASSERT_NE(discarded, view.CommLines.end());
    EXPECT_EQ(discarded[1].substr(0, 2), "< ");
    EXPECT_EQ(view.ResultLines, std::vector<std::string>{"30001  R0          2"});
}

TEST_F(ScriptedLineTest, AGapKeepsTheLineQuietBetweenAReplyAndTheNextRequest) {
    TScriptedLine line([](const Bytes& q, size_t) { return std::vector<TChunk>{{milliseconds(0), ReadReply(q, {7})}}; });
    Open(line);
    t.SetLine({false, 250});
    Read();
    ASSERT_EQ(t.Outcome(), TOutcome::Good);
    const auto start = std::chrono::steady_clock::now();
    Read();
    EXPECT_EQ(t.Outcome(), TOutcome::Good);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(240));
}

}  // namespace
