// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "modbus/Builders.h"
#include "modbus/Transaction.h"
#include "base/Error.h"
#include "base/Text.h"
#include "serial/Serial.h"
#include "tests/support/ModbusSlave.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Wire.h"

using namespace vyx;
using vyx::test::Bytes;
using vyx::test::WithCrc;

namespace {

TNode* AddRegister(TRegisterTree& tree, TNode* parent, const char* name, const char* address, const char* type,
                   const char* length, const char* access, const char* value = "") {
    TNode* n = tree.AddChild(parent);
    n->Record = {U16(name), u"", U16(address), U16(type), U16(length), U16(access), U16(value)};
    if (parent) parent->States |= kStateHasChildren;
    return n;
}

std::vector<uint8_t> Ticks(const TNode* parent) {
    std::vector<uint8_t> t;
    for (size_t i = 0; i < parent->ChildCount(); ++i) t.push_back(parent->Child(i)->CheckState);
    return t;
}

class TransactionTest : public ::testing::Test {
protected:
    TransactionTest() : slave(247, 64, 64), t(port, frame, view) {
        EXPECT_TRUE(port.OpenPort(slave.SlavePath(), "19200,e,8,1"));
        // The slave answers from a thread that a busy machine may run late: a long
        // first-byte wait keeps that from becoming a time-out, and costs nothing
        // when the reply comes. The test of a time-out sets the real one.
        EXPECT_TRUE(port.SetTimeouts(30, 0, 1000, 0, 30));

        group = AddRegister(tree, nullptr, "Pomiary", "", "", "", "");
        mode = AddRegister(tree, group, "Tryb", "40003", "HEX", "1", "RW");
        for (const char* v : {"1", "2", "4"}) AddRegister(tree, mode, "stan", "", "BIT", "", "", v);
        real = AddRegister(tree, group, "Temperatura", "30001", "REAL", "2", "RO");
        setpoint = AddRegister(tree, group, "N100", "40011", "REAL", "2", "RW", "3,25");
    }

    void Read(TNode* node) {
        t.ReadRegister(*node, 247);
    }

    test::TModbusSlave slave;
    TSerial port;
    TFrame frame;
    test::TRecordingView view;
    TTransaction t;
    TRegisterTree tree;
    TNode *group, *mode, *real, *setpoint;
};

}  // namespace

TEST(RequestLine, PlaceAtColumn) {
    const struct {
        const char16_t* text;
        const char16_t* line;
        size_t column;
        const char16_t* result;
    } cases[] = {
        {u"ab", u"", 3, u"  ab "},          // padded to the column, one space after
        {u"ab", u"xy", 3, u"xyab "},       // one short: padded to three, inserted before the last
        {u"ab", u"xyz", 3, u"xyab"},        // long enough: overwritten from the column
        {u"ab", u"123456", 3, u"12ab56"},   // overwritten, length kept
        {u"abcd", u"12345", 4, u"123abcd"}, // fewer characters left than the text has
        {u"", u"123456", 3, u"123456"},
        {u"ab", u"123", 0, u"ab123"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceAtColumn(c.text, c.line, c.column), c.result) << ToUtf8(c.text) << " @" << c.column;
}

TEST(RequestLine, FixedColumnsAndOverwriting) {
    EXPECT_EQ(RequestLine(u"40001", u"Temp", u""), u"40001  Temp");
    EXPECT_EQ(RequestLine(u"40001", u"Temp", u"1,50"), u"40001  Temp        1,50");
    // An address is never cut: one space follows a long one, and the value moves with the name.
    EXPECT_EQ(RequestLine(u"0040001", u"AB", u""), u"0040001 AB");
    EXPECT_EQ(RequestLine(u"0040001", u"AB", u"5"), u"0040001 AB          5");
    // With a value, the name is cut to 11 so that a space always stands before the value.
    EXPECT_EQ(RequestLine(u"1", u"abcdefghijklmnop", u"XY"), u"1      abcdefghijk XY");
    EXPECT_EQ(RequestLine(u"1", u"abcdefghijklmnop", u""), u"1      abcdefghijklmnop");
    EXPECT_EQ(RequestLine(u"40001", WriteLineName(u"Współczynnik korekcji"), u"1,0000"),
              u"40001  Współczynn: 1,0000");
    EXPECT_EQ(RequestLine(u"", u"Reset", u""), u"       Reset");
}

TEST_F(TransactionTest, GoodReadStoresTicksWritesAndHighlightsInOrder) {
    slave.SetHolding(2, 2);
    Read(mode);
    EXPECT_EQ(mode->Record.Value, u"$02");
    EXPECT_TRUE(t.Rslt().Ok);
    EXPECT_EQ(t.Rslt().ValueText, u"$02");
    EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{kCheckUncheckedNormal, kCheckCheckedNormal, kCheckUncheckedNormal}));
    ASSERT_EQ(view.ResultLines.size(), 1u);
    EXPECT_EQ(view.ResultLines[0], "40003  Tryb        $02");
    ASSERT_EQ(view.CommLines.size(), 2u);
    EXPECT_EQ(view.CommLines[0], "< $F70300020001315C");
    EXPECT_EQ(view.CommLines[1], "> $F703020002F190");
    EXPECT_EQ(view.Events, (std::vector<std::string>{"comm <", "tx green", "tx timer on", "comm >", "begin update",
                                                     "end update", "result", "highlight", "events", "next step",
                                                     "rx green", "rx interval 100", "rx timer on"}));

    slave.SetHolding(2, 3);  // equal to no child's value: nothing ticked
    Read(mode);
    EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(TransactionTest, BitChildrenNeedTheHasChildrenFlagAndUpperCaseKeyword) {
    mode->Child(0)->CheckState = kCheckCheckedNormal;
    mode->States &= static_cast<uint16_t>(~kStateHasChildren);
    slave.SetHolding(2, 2);
    Read(mode);
    EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{2, 0, 0}));

    mode->States |= kStateHasChildren;
    mode->Record.DataType = u"hex";  // type code 10 all the same, but not the keyword "HEX"
    Read(mode);
    EXPECT_EQ(mode->Record.Value, u"$02");
    EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{2, 0, 0}));
}

TEST_F(TransactionTest, BitWalkStopsAtAGroupAndAtTheEndOfTheTree) {
    // Bit children under group nodes of the register are not ticked by a read.
    TNode* word = AddRegister(tree, nullptr, "Alarmy", "40020", "WORD", "1", "RO");
    TNode* high = AddRegister(tree, word, "bajt starszy", "", "", "", "");
    TNode* bit = AddRegister(tree, high, "a", "", "BIT", "", "", "5");
    TNode* last = AddRegister(tree, nullptr, "Ostatni", "40021", "WORD", "1", "RO");
    TNode* lastBit = AddRegister(tree, last, "b", "", "BIT", "", "", "5");
    slave.SetHolding(19, 5);
    slave.SetHolding(20, 5);
    Read(word);
    EXPECT_EQ(bit->CheckState, kCheckUncheckedNormal);
    Read(last);
    EXPECT_EQ(lastBit->CheckState, kCheckCheckedNormal);
}

TEST_F(TransactionTest, BitChildThatIsNotANumberDoesNotBreakTheReply) {
    mode->Child(1)->Record.Value = u"abc";
    mode->Child(1)->CheckState = kCheckCheckedPressed;
    slave.SetHolding(2, 4);
    try {
        Read(mode);
        FAIL() << "the conversion error must be reported";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(mode->Record.Value, u"$04");
    EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{0, kCheckCheckedPressed, kCheckCheckedNormal}));
    EXPECT_EQ(view.ResultLines.size(), 1u);
    EXPECT_TRUE(view.Has("end update"));
    EXPECT_TRUE(view.Has("rx green"));
    EXPECT_FALSE(view.Has("next step"));  // like every error, it ends a running sequence
}

TEST_F(TransactionTest, ARefusedReadChangesNothing) {
    Read(mode);
    const std::u16string value = mode->Record.Value;
    const TNode* record = t.Node();
    TNode* low = AddRegister(tree, group, "Niski", "1000", "WORD", "1", "RO", "7");  // 300..2000 has no read
    EXPECT_THROW(Read(low), Error);
    EXPECT_THROW(t.ReadRegister(*setpoint, TSlave::Parse(u"x")), Error);
    EXPECT_EQ(low->Record.Value, u"7");
    EXPECT_EQ(setpoint->Record.Value, u"3,25");
    EXPECT_EQ(t.Node(), record);
    EXPECT_EQ(mode->Record.Value, value);
    EXPECT_EQ(t.Log().LineName, u"Tryb");
    EXPECT_EQ(view.CommLines.size(), 2u);
}

TEST_F(TransactionTest, CrcErrorLeavesTheValueEmpty) {
    slave.ReplyRawOnce({0xF7, 0x04, 0x04, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00});
    real->Record.Value = u"9,99";
    Read(real);
    EXPECT_EQ(real->Record.Value, u"");
    EXPECT_FALSE(t.Rslt().Ok);
    EXPECT_EQ(t.Log().Status, u"crc_error");
    EXPECT_TRUE(view.ResultLines.empty());
    EXPECT_EQ(view.CommLines.back(), "> $F7040400003F800000");
    EXPECT_EQ(view.Events, (std::vector<std::string>{"comm <", "tx green", "tx timer on", "comm >", "next step",
                                                     "rx green", "rx interval 100", "rx timer on"}));
}

TEST_F(TransactionTest, RepliesTooShortForDataAndCrcAreCrcErrors) {
    for (const Bytes& raw : {Bytes{0xFF, 0xFF}, Bytes{0xF7}, Bytes{0x40, 0xBF, 0x7E}}) {
        slave.ReplyRawOnce(raw);
        Read(real);
        EXPECT_EQ(t.Log().Status, u"crc_error") << raw.size() << " bytes";
        EXPECT_FALSE(t.Rslt().Ok);
    }
}

TEST_F(TransactionTest, ExceptionReplyWritesNoResultLine) {
    TNode* far = AddRegister(tree, group, "Daleki", "40100", "WORD", "1", "RO", "7");
    Read(far);
    EXPECT_EQ(view.CommLines.back().substr(0, 7), "> $F783");
    EXPECT_FALSE(t.Rslt().Ok);
    EXPECT_EQ(t.Rslt().ErrorText, u"błąd !");
    EXPECT_EQ(t.Log().Status, u"");
    EXPECT_TRUE(view.ResultLines.empty());
    EXPECT_FALSE(view.Has("highlight"));
    EXPECT_TRUE(view.Has("events"));
    EXPECT_TRUE(view.Has("next step"));
    EXPECT_EQ(far->Record.Value, u"");  // emptied by the read, not filled
}

TEST_F(TransactionTest, TimeOutRaisesItsCompletionAndShowsRedRx) {
    Read(mode);  // a good reply first: its value text must not stay
    ASSERT_EQ(t.Rslt().ValueText, u"$00");
    view.CommLines.clear(), view.Events.clear();
    ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30));
    slave.SkipReplies(1);
    Read(real);
    EXPECT_FALSE(t.Rslt().Ok);
    EXPECT_EQ(t.Rslt().ValueText, u"");
    EXPECT_EQ(t.Log().Status, u"...");
    EXPECT_EQ(view.CommLines.size(), 1u);  // no "> " line
    EXPECT_EQ(view.Events, (std::vector<std::string>{"comm <", "tx green", "tx timer on", "next step", "rx red",
                                                     "rx interval 1000", "rx timer on"}));
}

TEST_F(TransactionTest, GoodReplyEndsTheTransactionWithoutWaitingForSilence) {
    slave.SetInput(0, {0x0000, 0x3FC0});
    double fastest = 1000;
    for (int i = 0; i < 5; ++i) {  // the fastest of five: a busy machine does not decide
        const auto start = std::chrono::steady_clock::now();
        Read(real);
        fastest = std::min(fastest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        EXPECT_EQ(real->Record.Value, u"1,50");
    }
    EXPECT_LT(fastest, 15.0);
}

TEST_F(TransactionTest, PortWhoseDeviceWentAwayIsClosedAndSendsNothingMore) {
    slave.Stop();
    slave.Pty().HangUp();
    Read(real);
    EXPECT_EQ(t.Log().Status, u"...");  // ended as a time-out
    EXPECT_FALSE(port.IsOpened());
    EXPECT_TRUE(view.Messages.empty());
    view.CommLines.clear();
    Read(real);
    EXPECT_EQ(view.Messages, (std::vector<std::string>{"brak połączenia !"}));
    EXPECT_TRUE(view.CommLines.empty());
}

TEST_F(TransactionTest, ClosedPortSendsNothing) {
    port.ClosePort();
    const int before = slave.RequestCount();
    Read(real);
    EXPECT_EQ(view.Messages, (std::vector<std::string>{"brak połączenia !"}));
    EXPECT_TRUE(view.CommLines.empty());
    EXPECT_EQ(view.Events.size(), 1u);
    EXPECT_EQ(t.RequestsSent(), 0u);
    EXPECT_EQ(slave.RequestCount(), before);
}

TEST_F(TransactionTest, AReplyThatDoesNotAnswerTheRequestIsRefused) {
    TNode* counter = AddRegister(tree, group, "Licznik", "30010", "WORD", "1", "RO");
    TNode* text = AddRegister(tree, group, "Opis", "40030", "TEXT", "8", "RO");
    const struct {
        TNode* node;
        Bytes reply;  // CRC-good, each
        const char* polish;
        const char* english;
    } cases[] = {
        {counter, {0x01, 0x04, 0x02, 0x00, 0x07}, "adres 1 zamiast 247", "slave 1 instead of 247"},
        {counter, {0xF7, 0x03, 0x02, 0x00, 0x07}, "funkcja 3 zamiast 4", "function 3 instead of 4"},
        {counter, {0xF7, 0x04, 0x04, 0, 7, 0, 8}, "4 bajty danych zamiast 2", "4 data bytes instead of 2"},
        {mode, {0xF7, 0x03, 0x00}, "0 bajtów danych zamiast 2", "0 data bytes instead of 2"},
        // A byte count beyond the reply: never read past what came.
        {text, {0xF7, 0x03, 0x10, 'A', 'B'}, "ramka 7 bajtów zamiast 21", "a frame of 7 bytes instead of 21"},
        {mode, {0xF7, 0x03, 0x02, 0x00}, "ramka 6 bajtów zamiast 7", "a frame of 6 bytes instead of 7"},
    };
    for (const auto& c : cases) {
        c.node->Record.Value = u"old";
        mode->Child(0)->CheckState = kCheckCheckedNormal;
        const size_t results = view.ResultLines.size();
        slave.ReplyRawOnce(WithCrc(c.reply));
        Read(c.node);
        EXPECT_EQ(t.Outcome(), TOutcome::Mismatch) << c.english;
        EXPECT_EQ(t.Reason(TLanguage::Polish), std::string("odpowiedź nie pasuje do zapytania: ") + c.polish);
        EXPECT_EQ(t.Reason(TLanguage::English), std::string("the reply does not answer the request: ") + c.english);
        EXPECT_FALSE(t.Rslt().Ok);
        EXPECT_EQ(t.Log().Status, u"mismatch");
        EXPECT_EQ(c.node->Record.Value, u"");  // emptied by the read, nothing stored
        EXPECT_EQ(Ticks(mode), (std::vector<uint8_t>{2, 0, 0}));
        EXPECT_EQ(view.ResultLines.size(), results);
        EXPECT_TRUE(t.ReplyWords().empty());
    }
    // An exception reply to the request answers it.
    slave.ReplyRawOnce(WithCrc({0xF7, 0x84, 0x02}));
    Read(counter);
    EXPECT_EQ(t.Outcome(), TOutcome::Exception);
}

TEST_F(TransactionTest, WriteReplyShowsTheWrittenTextAndLeavesTheValue) {
    ASSERT_TRUE(t.WriteRegister(*setpoint, 247));
    EXPECT_EQ(view.ResultLines.back(), "40011  N100:       3,25");
    EXPECT_EQ(setpoint->Record.Value, u"3,25");
    EXPECT_EQ(slave.Holding(10), 0x0000);  // 3.25 = 40500000, low-order register first
    EXPECT_EQ(slave.Holding(11), 0x4050);

    TNode* single = AddRegister(tree, group, "Adres", "40040", "WORD", "1", "RW", "17");
    ASSERT_TRUE(t.WriteRegister(*single, 247));
    EXPECT_EQ(slave.Holding(39), 17);
    EXPECT_EQ(frame.Function(), 6);
    EXPECT_EQ(view.ResultLines.back(), "40040  Adres:      17");

    EXPECT_FALSE(t.WriteRegister(*real, 247));  // RO: nothing sent
    EXPECT_EQ(view.ResultLines.size(), 2u);
}

TEST_F(TransactionTest, MonitoringLinesCarryTheTime) {
    view.Monitor = true;
    slave.SetInput(0, {0x0000, 0x4148});  // 12.5
    Read(real);
    EXPECT_EQ(view.ResultLines.back(), "12:34:56  12,50");
}

TEST_F(TransactionTest, SequenceNestsInsideTheFirstTransaction) {
    slave.SetHolding(2, 1);
    int steps = 0;
    view.NextStep = [&] {
        if (steps++ == 0) Read(real);
    };
    Read(mode);
    EXPECT_EQ(t.RequestsSent(), 2u);
    EXPECT_EQ(view.ResultLines.size(), 2u);
    // The inner transaction sets its RX indicator first, the outer one last.
    std::vector<size_t> rx;
    for (size_t i = 0; i < view.Events.size(); ++i)
        if (view.Events[i] == "rx green") rx.push_back(i);
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(view.Events.back(), "rx timer on");
}

TEST_F(TransactionTest, ResetHasItsOwnLine) {
    Read(real);
    ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30));  // libmodbus's slave may leave the restart unanswered
    ASSERT_TRUE(t.ResetDevice(247));
    ASSERT_GE(view.CommLines.size(), 3u);
    EXPECT_EQ(view.CommLines[2], "< $F7080001FF00E4AD");
    EXPECT_EQ(t.Log().LineName, u"Reset");
    EXPECT_EQ(t.Node(), nullptr);
    const size_t sent = view.CommLines.size();
    EXPECT_FALSE(t.ResetDevice(0));  // the broadcast address: nothing sent
    EXPECT_THROW(t.ResetDevice(TSlave::Parse(u"256")), Error);  // no longer cut to the broadcast address
    EXPECT_EQ(view.CommLines.size(), sent);
}

