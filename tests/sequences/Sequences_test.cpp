// SPDX-License-Identifier: GPL-3.0-or-later
// The sequences without a window: walks, monitoring, calibration and "Zapisz"
// over a device played in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <optional>

#include "modbus/Bus.h"
#include "base/Error.h"
#include "base/Text.h"
#include "sequences/Sequences.h"
#include "tests/support/ErrorText.h"
#include "tests/support/RecordingView.h"
#include "tests/support/ScriptedPort.h"

using namespace vyx;
using vyx::test::TScriptedPort;
using TFault = TScriptedPort::TFault;

namespace {

class TWindow : public TSequenceView {
public:
    std::vector<std::string> Events;
    test::TRecordingView* Panes = nullptr;
    std::u16string Mean = u"8";

    void ActivityChanged(TActivity now) override { Events.push_back("activity " + std::to_string(int(now))); }
    void MonitoringStarted(int ms) override {
        Panes->Monitor = true;
        Events.push_back("timer " + std::to_string(ms));
    }
    void MonitoringStopped() override {
        Panes->Monitor = false;
        Events.push_back("stopped");
    }
    void ShowMean(std::u16string_view text) override { Mean = text; }
    bool Pause(int ms) override {
        Events.push_back("pause " + std::to_string(ms));
        return true;
    }
    void SequenceInterrupted(std::u16string_view line) override { Interruptions.push_back(ToUtf8(line)); }
    std::optional<std::u16string> CalibrationVerdict(const std::vector<TReading>&) override { return Verdict; }
    void CalibrationRecorded(const service::TCalibrationRun& run, bool sameRun) override {
        Runs.emplace_back(run, sameRun);
    }
    // Set: the window asks before "Zapisz" writes, and this answers.
    std::function<bool(const TWriteQuestion&)> Confirm;
    bool AsksBeforeWriting() const override { return bool(Confirm); }
    bool ConfirmWrite(const TWriteQuestion& q) override { return Confirm(q); }
    std::vector<std::string> Interruptions;
    std::optional<std::u16string> Verdict;
    std::vector<std::pair<service::TCalibrationRun, bool>> Runs;
};

// The reason each scripted fault gives.
std::string ReasonOf(TFault fault) {
    return fault == TFault::Crc         ? "błąd CRC odpowiedzi"
           : fault == TFault::Exception ? "wyjątek 2: niedozwolony adres danych"
                                        : "brak odpowiedzi urządzenia";
}

const std::string kWalk = "activity " + std::to_string(int(TActivity::Walk));
const std::string kIdle = "activity " + std::to_string(int(TActivity::Idle));
const std::string kMonitoring = "activity " + std::to_string(int(TActivity::Monitoring));
const std::string kCalibration = "activity " + std::to_string(int(TActivity::Calibration));

class SequencesTest : public ::testing::Test {
protected:
    SequencesTest() : t(port, frame, view), seq(t, view, window) {
        seq.UseTree(&tree);
        window.Panes = &view;
        view.NextStep = [this] { seq.OnNextStep(); };
    }

    TNode* Add(TNode* parent, const char* name, const char* address = "", const char* type = "",
               const char* access = "", const char* length = "1", const char* value = "") {
        TNode* n = tree.AddChild(parent);
        n->Record = {U16(name), u"", U16(address), U16(type), U16(length), U16(access), U16(value)};
        if (parent) parent->States |= kStateHasChildren;
        return n;
    }
    // A group of WORD registers 40001.. named r1.., reading 11, 12, ...
    TNode* Group(TNode* parent, int count, int first = 1) {
        TNode* g = Add(parent, "G");
        for (int i = first; i < first + count; ++i) {
            Add(g, ("r" + std::to_string(i)).c_str(), std::to_string(40000 + i).c_str(), "WORD", "RO");
            port.Set(3, i - 1, static_cast<uint16_t>(10 + i));
        }
        return g;
    }
    std::vector<int> ReadAddresses() const {
        std::vector<int> a;
        for (size_t i = 0; i < port.Requests.size(); ++i) a.push_back(port.AddressOf(i));
        return a;
    }
    // R0 as an INT input register whose readings come one per request.
    TNode* R0(std::vector<int> readings) {
        TNode* r0 = Add(Add(nullptr, "Pomiar"), "R0", "30001", "INT", "RO");
        port.BeforeReply = [this, readings](size_t i) {
            if (i < readings.size()) port.Set(4, 0, static_cast<uint16_t>(readings[i]));
        };
        return r0;
    }

    TScriptedPort port;
    TFrame frame;
    test::TRecordingView view;
    TTransaction t;
    TWindow window;
    TSequences seq;
    TRegisterTree tree;
};

}  // namespace

TEST(Calibration, SummaryArithmetic) {
    const struct {
        std::vector<std::u16string> samples;
        int32_t mean;
        const char16_t* err;
    } cases[] = {
        {{u"10", u"11", u"11"}, 11, u"0,333"},
        {{u"-3", u"-3"}, -3, u"0,000"},  // truncation would give -2
        {{u"-2", u"-3"}, -2, u"0,500"},  // half up
        {{u"2147483647", u"2147483647"}, INT32_MAX, u"0,000"},
        {{u"-2147483648", u"-2147483648"}, INT32_MIN, u"0,000"},
        {{u"-2147483648", u"2147483647"}, 0, u"1,5185002E+09"},  // deviations of 2^31
        {{u"$FFFFFFFF", u"1"}, 0, u"0,707"},                    // hexadecimal is a 32-bit pattern
    };
    for (const auto& c : cases) {
        const auto s = SummariseCalibration(c.samples);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->Mean, c.mean);
        EXPECT_EQ(s->ErrLine.substr(19), std::u16string(c.err) + u" ") << ToUtf8(s->ErrLine);
    }
    const auto s = SummariseCalibration({u"10", u"11", u"11"});
    EXPECT_EQ(s->MeanLine, u"========" + std::u16string(11, u' ') + u"11 ");
    EXPECT_EQ(s->ErrLine, u"err: " + std::u16string(14, u' ') + u"0,333 ");
    EXPECT_FALSE(SummariseCalibration({}));
    EXPECT_EQ(test::ErrorOf([] { SummariseCalibration({u"10", u""}); }), "'' is not a valid integer value");
    EXPECT_EQ(test::ErrorOf([] { SummariseCalibration({u"10,5"}); }), "'10,5' is not a valid integer value");
}

TEST(Calibration, ErrTurnsToExponentFormAfterEightDigits) {
    EXPECT_EQ(FormatErr(12345678.0f), u"12345678,000");
    EXPECT_EQ(FormatErr(123456789.0f), u"1,2345679E+08");  // stored as 123456792
    EXPECT_EQ(FormatErr(0.0005f), u"0,001");
}

TEST_F(SequencesTest, FindRegisterByNameTwoLevelsDeepAndFirstOfTwo) {
    Add(nullptr, "A");
    TNode* deep = Add(Add(Add(nullptr, "B"), "C"), "X", "40001", "WORD", "RW");
    Add(nullptr, "X", "40002", "WORD", "RW");
    EXPECT_EQ(seq.FindRegisterByName(u"X"), deep);
    EXPECT_EQ(seq.FindRegisterByName(u"x"), nullptr);
    EXPECT_EQ(AccessCodeOf(nullptr), -1);
    EXPECT_EQ(AccessCodeOf(deep), kAccessRW);
}

TEST_F(SequencesTest, WalkReadsEveryChildInOrderWithOneLineEach) {
    TNode* g = Group(nullptr, 4);
    seq.StartRead(g, 247);
    EXPECT_EQ(ReadAddresses(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(view.ResultLines, (std::vector<std::string>{"40001  r1          11", "40002  r2          12",
                                                          "40003  r3          13", "40004  r4          14"}));
    EXPECT_EQ(g->Child(3)->Record.Value, u"14");
    EXPECT_FALSE(seq.WalkMode());
    EXPECT_EQ(seq.CurrentNode(), nullptr);
    EXPECT_EQ(window.Events, (std::vector<std::string>{kWalk, kIdle}));
}

TEST_F(SequencesTest, AFailedReadEndsTheWalkAtThatRegister) {
    for (const TFault fault : {TFault::Crc, TFault::Exception, TFault::Silence}) {
        tree.Clear();
        port = TScriptedPort();
        view.ResultLines.clear();
        TNode* g = Group(nullptr, 4);
        port.Faults[2] = fault;
        seq.StartRead(g, 247);
        EXPECT_EQ(ReadAddresses(), (std::vector<int>{0, 1, 2})) << int(fault);
        EXPECT_EQ(view.ResultLines.size(), 2u);
        EXPECT_EQ(seq.CurrentNode(), g->Child(2));
        EXPECT_EQ(g->Child(3)->Record.Value, u"");
        EXPECT_FALSE(seq.WalkMode());
        EXPECT_EQ(seq.Activity(), TActivity::Idle);
        EXPECT_EQ(window.Interruptions.back(), "przerwano przy 40003 r3: " + ReasonOf(fault));
    }
    EXPECT_EQ(window.Interruptions.size(), 3u);
}

TEST_F(SequencesTest, AnErrorRaisedInAStepEndsTheWalk) {
    TNode* g = Group(nullptr, 3);
    g->Child(1)->Record.Address = u"1000";  // refused by the read builder
    EXPECT_EQ(test::ErrorOf([&] { seq.StartRead(g, 247); }), "rejestr poza zakresem");
    EXPECT_EQ(port.Requests.size(), 1u);
    EXPECT_FALSE(seq.WalkMode());
    EXPECT_FALSE(seq.Busy());
    EXPECT_EQ(window.Events, (std::vector<std::string>{kWalk, kIdle}));
}

TEST_F(SequencesTest, WalkEntersChildGroupsButNeverGoesBelowARegister) {
    TNode* g = Add(nullptr, "G");
    TNode* empty = Add(g, "pusta");
    Add(g, "r1", "40001", "WORD", "RO");
    TNode* sub = Add(g, "Sub");
    Add(sub, "r2", "40002", "WORD", "RO");
    Add(Add(sub, "Sub2"), "r3", "40003", "WORD", "RO");
    TNode* hex = Add(g, "r4", "40004", "HEX", "RW");
    Add(hex, "bit", "", "BIT", "", "", "$01");
    Add(Add(hex, "bajt"), "bit", "", "BIT", "", "", "$0100");
    Add(g, "dziwny", "40009", "WORD", "");  // access code 0 but typed: not a group, not read
    Add(g, "r5", "40005", "WORD", "RO");
    seq.StartRead(g, 247);
    EXPECT_EQ(ReadAddresses(), (std::vector<int>{0, 1, 2, 3, 4}));

    port.Requests.clear();
    seq.StartRead(empty, 247);  // no child
    seq.StartRead(Add(nullptr, "tylko bity"), 247);
    seq.StartRead(hex->Child(0), 247);  // a bit child
    seq.StartRead(nullptr, 247);
    EXPECT_TRUE(port.Requests.empty());
    EXPECT_EQ(window.Events, (std::vector<std::string>{kWalk, kIdle}));
}

TEST_F(SequencesTest, APortClosedMidWalkEndsItWithOneLineAndNoBox) {
    TNode* g = Group(nullptr, 4);
    port.BeforeReply = [this](size_t i) { port.Opened = i < 1; };
    seq.StartRead(g, 247);
    EXPECT_EQ(port.Requests.size(), 2u);
    EXPECT_TRUE(view.Messages.empty());
    ASSERT_EQ(window.Interruptions.size(), 1u);
    EXPECT_NE(window.Interruptions[0].find(": port zamknięty"), std::string::npos) << window.Interruptions[0];
    EXPECT_FALSE(seq.WalkMode());
    EXPECT_EQ(seq.Activity(), TActivity::Idle);
}

TEST_F(SequencesTest, ARefusedStartLeavesNothingHalfStarted) {
    TNode* g = Group(nullptr, 2);
    g->Child(0)->Record.Value = u"stara";
    EXPECT_EQ(test::ErrorOf([&] { seq.StartRead(g, TSlave::Parse(u"x")); }), "'x' is not a valid integer value");
    EXPECT_EQ(g->Child(0)->Record.Value, u"stara");
    EXPECT_TRUE(port.Requests.empty());
    EXPECT_FALSE(seq.WalkMode());
    EXPECT_TRUE(window.Events.empty());

    R0({10});
    EXPECT_THROW(seq.StartCalibration(u"100R", 3, TSlave::Parse(u"")), Error);
    EXPECT_TRUE(view.ResultLines.empty());
    EXPECT_FALSE(seq.CalibrationActive());
}

TEST_F(SequencesTest, AWalkOfTenThousandRegistersKeepsItsStackDepth) {
    TNode* g = Add(nullptr, "G");
    for (int i = 0; i < 10000; ++i) Add(g, "r", "40001", "WORD", "RO");
    seq.StartRead(g, 247);
    ASSERT_EQ(port.Requests.size(), 10000u);
    EXPECT_EQ(view.ResultLines.size(), 10000u);
    const auto [low, high] = std::minmax_element(port.StackMarks.begin(), port.StackMarks.end());
    EXPECT_EQ(*high - *low, 0u) << "every step starts from the same depth";
}

TEST_F(SequencesTest, MonitoringStartsAtAPeriodOf100) {
    TNode* r = Add(nullptr, "R", "40001", "WORD", "RO");
    port.Set(3, 0, 5);
    seq.Select(r);
    seq.StartMonitoring(seq.CurrentNode(), 50, 247);
    EXPECT_FALSE(seq.Monitoring());
    EXPECT_EQ(window.Events, (std::vector<std::string>{"stopped"}));  // the box is unticked
    EXPECT_TRUE(port.Requests.empty());
    EXPECT_TRUE(view.ResultLines.empty());

    window.Events.clear();
    seq.StartMonitoring(seq.CurrentNode(), 100, 247);
    EXPECT_TRUE(seq.Monitoring());
    seq.MonitorTick();
    port.Set(3, 0, 6);
    seq.MonitorTick();
    EXPECT_EQ(view.ResultLines, (std::vector<std::string>{"", "40001  R:", "12:34:56  5", "12:34:56  5",
                                                          "12:34:56  6"}));
    EXPECT_EQ(window.Events, (std::vector<std::string>{"timer 100", kMonitoring}));

    // No write, reset, walk or calibration while it runs.
    seq.Write(seq.CurrentNode(), 247);
    seq.StartRead(r, 247);
    EXPECT_FALSE(seq.Reset(247));
    seq.StartCalibration(u"", 3, 247);
    EXPECT_EQ(port.Requests.size(), 3u);

    port.Faults[port.Requests.size()] = TFault::Silence;
    seq.MonitorTick();
    seq.StopMonitoring();  // unticking always stops
    EXPECT_FALSE(seq.Monitoring());
    EXPECT_EQ(view.ResultLines.back(), "");
    EXPECT_EQ(view.ResultLines.end()[-2], "nieudane odczyty: 1 z 4");
    EXPECT_EQ(window.Events.back(), kIdle);
}

TEST_F(SequencesTest, MonitoringRefusesWithoutARegister) {
    TNode* g = Group(nullptr, 1);
    const struct {
        TNode* node;
        int32_t period;
    } cases[] = {{g, 100}, {nullptr, 100}, {g->Child(0), 99}};
    for (const auto& c : cases) {
        seq.StartMonitoring(c.node, c.period, 247);
        EXPECT_FALSE(seq.Monitoring()) << c.period;
    }
    EXPECT_EQ(std::count(window.Events.begin(), window.Events.end(), "stopped"), 3);
    EXPECT_TRUE(port.Requests.empty());
    EXPECT_TRUE(view.ResultLines.empty());
}

// A lost connection ends the run with one message, and the result pane says
// why and how many readings failed, as unticking would.
TEST_F(SequencesTest, AMonitoringReadThatCannotBeSentStopsItWithOneMessage) {
    TNode* r = Add(nullptr, "R", "40001", "WORD", "RO");
    seq.Select(r);
    seq.StartMonitoring(seq.CurrentNode(), 100, 247);
    port.Faults[1] = TFault::Crc;  // a failed read adds nothing and goes on
    seq.MonitorTick();
    EXPECT_TRUE(seq.Monitoring());
    port.Opened = false;
    seq.MonitorTick();
    seq.MonitorTick();
    EXPECT_FALSE(seq.Monitoring());
    EXPECT_TRUE(view.Messages.empty());  // no box in the middle of a run
    EXPECT_EQ(window.Events, (std::vector<std::string>{"timer 100", kMonitoring, "stopped", kIdle}));
    EXPECT_EQ(window.Interruptions, (std::vector<std::string>{"przerwano: port zamknięty"}));
    ASSERT_EQ(view.ResultLines.size(), 5u);
    EXPECT_EQ(view.ResultLines[3], "nieudane odczyty: 1 z 2");
    EXPECT_EQ(view.ResultLines[4], "");
}

TEST_F(SequencesTest, CalibrationPrintsTheMeanAndErr) {
    R0({10, 11, 11});
    seq.StartCalibration(u"100R", 3, 247);
    EXPECT_EQ(window.Mean, u"11");
    EXPECT_EQ(view.ResultLines,
              (std::vector<std::string>{"", "kalibracja 100R ... ", "30001  R0          10", "30001  R0          11",
                                        "30001  R0          11", "========           11 ",
                                        "err:               0,333 ", ""}));
    EXPECT_EQ(window.Events, (std::vector<std::string>{kCalibration, "pause 200", "pause 200", kIdle}));
    EXPECT_EQ(seq.CalibrationSamples(), (std::vector<std::u16string>{u"10", u"11", u"11"}));
    EXPECT_FALSE(seq.CalibrationActive());
}

TEST_F(SequencesTest, AFailedReadingEndsTheCalibrationWithoutASummary) {
    for (const TFault fault : {TFault::Crc, TFault::Exception, TFault::Silence}) {
        tree.Clear();
        port = TScriptedPort();
        view.ResultLines.clear();
        R0({10, 11, 11});
        port.Faults[1] = fault;
        seq.StartCalibration(u"100R", 3, 247);
        EXPECT_EQ(port.Requests.size(), 2u);  // nothing is read after the failure
        EXPECT_EQ(view.ResultLines.back(), "30001  R0          10");
        EXPECT_EQ(window.Interruptions.back(), "przerwano: " + ReasonOf(fault) + " (odczyt 2 z 3)");
        EXPECT_EQ(window.Mean, u"8");
        EXPECT_FALSE(seq.CalibrationActive());
        EXPECT_EQ(seq.SamplesLeft(), 0);
        EXPECT_EQ(seq.Activity(), TActivity::Idle);
    }
}

TEST_F(SequencesTest, CalibrationOfNothing) {
    seq.StartCalibration(u"100R", 3, 247);  // no "R0"
    EXPECT_EQ(view.Messages, (std::vector<std::string>{"brak rejestru R0"}));
    EXPECT_TRUE(port.Requests.empty());
    EXPECT_TRUE(view.ResultLines.empty());

    R0({10});
    seq.StartCalibration(u"100R", 0, 247);  // one read, then the run is over
    EXPECT_EQ(port.Requests.size(), 1u);
    EXPECT_EQ(view.ResultLines.size(), 3u);
    EXPECT_FALSE(seq.CalibrationActive());
    EXPECT_EQ(seq.Activity(), TActivity::Idle);
}

// Every way to start a transaction, tried while events are processed inside a step.
TEST_F(SequencesTest, NothingElseStartsWhileAWalkOrACalibrationRuns) {
    TNode* g = Group(nullptr, 3);
    TNode* r0 = R0({10, 11, 11});
    TNode* n100 = Add(nullptr, "N100", "40009", "WORD", "RW", "1", "5");
    int attempts = 0;
    view.Pending = [&] {
        ++attempts;
        TNode* current = seq.CurrentNode();
        seq.Select(n100);  // even a click that got through changes nothing of the run
        seq.StartRead(n100, 247);
        seq.Write(seq.CurrentNode(), 247);
        seq.WriteMean(u"100R", u"7", 247);
        seq.StartCalibration(u"100R", 1, 247);
        seq.StartMonitoring(seq.CurrentNode(), 100, 247);
        seq.MonitorTick();
        EXPECT_FALSE(seq.Reset(247));
        EXPECT_TRUE(seq.Busy());
        seq.Select(current);  // the window ignores tree clicks while busy
    };
    seq.StartRead(g, 247);
    EXPECT_EQ(ReadAddresses(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(g->Child(2)->Record.Value, u"13");

    port.Requests.clear();
    view.Pending = [&, inner = view.Pending] {
        inner();
        seq.Select(n100);  // a click in the tree during a calibration moves no reading
    };
    seq.StartCalibration(u"100R", 3, 247);
    EXPECT_EQ(attempts, 6);
    EXPECT_EQ(port.Requests.size(), 3u);
    EXPECT_EQ(port.FunctionOf(2), 4);
    EXPECT_EQ(window.Mean, u"11");
    EXPECT_EQ(r0->Record.Value, u"11");
    EXPECT_EQ(n100->Record.Value, u"5");
    EXPECT_FALSE(seq.Monitoring());
    EXPECT_FALSE(seq.Busy());
}

TEST_F(SequencesTest, StopEndsACalibrationAfterTheReadingInProgress) {
    R0({10, 11, 11});
    view.Pending = [&] { seq.Stop(); };
    seq.StartCalibration(u"100R", 3, 247);
    EXPECT_EQ(port.Requests.size(), 1u);
    EXPECT_FALSE(seq.CalibrationActive());
    EXPECT_EQ(view.ResultLines.size(), 3u);  // no summary
    EXPECT_EQ(seq.Activity(), TActivity::Idle);
}

// Nothing sent says why.
TEST_F(SequencesTest, ZapiszWritesTheMeanOnlyIntoAWritableTypedRegister) {
    const struct {
        const char* choice;
        const char* access;
        const char* type;
        const char* why;  // empty when written
    } cases[] = {
        {"400R", "RW", "REAL", ""},
        {"400R", "RP", "WORD", ""},
        {"400R", "RO", "REAL", "rejestru 40003 N400 nie można zapisać (dostęp RO)"},
        {"400R", "RW", "XYZ", "rejestru 40003 N400 nie można zapisać (typ XYZ)"},
        {"", "RW", "REAL", "wybierz wielkość 100R lub 400R"},
        {"100R", "RW", "REAL", "brak rejestru N100 w pliku urządzenia"},
        {"400r", "RW", "REAL", "wybierz wielkość 100R lub 400R"},
    };
    for (const auto& c : cases) {
        tree.Clear();
        port = TScriptedPort();
        const char* length = std::string(c.type) == "WORD" ? "1" : "2";
        TNode* n400 = Add(Add(nullptr, "Kalibracja"), "N400", "40003", c.type, c.access, length, "4000");
        EXPECT_EQ(ToUtf8(seq.WriteMean(U16(c.choice), u"1234", 247)), c.why);
        const bool written = *c.why == '\0';
        EXPECT_EQ(port.Requests.size(), written ? 1u : 0u) << c.choice << c.access << c.type;
        EXPECT_EQ(n400->Record.Value, written ? u"1234" : u"4000");
        if (written) {
            EXPECT_EQ(port.AddressOf(0), 2);
        }
    }
}

// With a record kept, "Zapisz" reads the register before and after its write and
// compares the words; the run goes to the view after the summary and again with
// its write. Request indices: 0-2 the readings, 3 the read before, 4 the write,
// 5 the read back.
TEST_F(SequencesTest, ARecordedZapiszVerifiesTheWordsItWrote) {
    const struct {
        const char* name;
        std::map<size_t, TFault> faults;
        bool alterAfterWrite;         // the device keeps another value than written
        std::vector<int> functions;   // of the requests after the readings
        std::string line;             // the result line that ends the write
        bool verified;
    } cases[] = {
        {"good", {}, false, {3, 16, 3}, "N100: zweryfikowano", true},
        {"differs", {}, true, {3, 16, 3}, "N100: odczytano 1,00 [0000 3F80] zamiast 11 [0000 4130]", false},
        {"read before fails", {{3, TFault::Silence}}, false, {3},
         "N100: nie zapisano: odczyt przed zapisem nieudany: brak odpowiedzi urządzenia", false},
        {"write refused", {{4, TFault::Exception}}, false, {3, 16},
         "N100: zapis nieudany: wyjątek 2: niedozwolony adres danych", false},
        {"read back fails", {{5, TFault::Crc}}, false, {3, 16, 3},
         "N100: odczyt po zapisie nieudany: błąd CRC odpowiedzi", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tree.Clear();
        port = TScriptedPort();
        view.ResultLines.clear();
        window.Runs.clear();
        window.Verdict = u"stabilny: rozrzut 1";
        TNode* r0 = R0({10, 11, 11});
        Add(r0->Parent(), "N100", "40001", "REAL", "RW", "2", "1000,00");
        port.Set(3, 1, 0x447A);  // 1000.0, the low word first
        port.Faults = c.faults;
        port.BeforeReply = [this, inner = port.BeforeReply, alter = c.alterAfterWrite](size_t i) {
            inner(i);
            if (alter && i == 5) port.Set(3, 1, 0x3F80);  // 1.0
        };
        seq.KeepRecord(true, "VXT-20F.dat");
        seq.StartCalibration(u"100R", 3, 247);
        ASSERT_EQ(window.Runs.size(), 1u);
        EXPECT_FALSE(window.Runs[0].second);
        EXPECT_FALSE(window.Runs[0].first.Write);
        seq.WriteMean(u"100R", window.Mean, 247);

        std::vector<int> functions;
        for (size_t i = 3; i < port.Requests.size(); ++i) functions.push_back(port.FunctionOf(i));
        EXPECT_EQ(functions, c.functions);
        EXPECT_EQ(view.ResultLines.back(), c.line);
        ASSERT_EQ(window.Runs.size(), 2u);
        EXPECT_TRUE(window.Runs[1].second);
        const service::TCalibrationRun& run = window.Runs[1].first;
        EXPECT_EQ(run.Device, "VXT-20F.dat");
        EXPECT_EQ(run.Slave, 247);
        EXPECT_EQ(run.Point, "100R");
        EXPECT_EQ(run.Readings, (std::vector<std::string>{"10", "11", "11"}));
        EXPECT_EQ(run.Mean, "11");
        EXPECT_EQ(run.Err, "0,333");
        EXPECT_EQ(run.Verdict, "stabilny: rozrzut 1");
        ASSERT_TRUE(run.Write);
        EXPECT_EQ(run.Write->Verified(), c.verified);
        EXPECT_EQ(run.Write->Name + ": " + run.Write->Verification(), c.line);
        EXPECT_EQ(run.Write->WrittenWords, (std::vector<uint16_t>{0, 0x4130}));  // 11.0
        if (c.functions.size() > 1) {
            EXPECT_EQ(run.Write->Before.Value, "1000,00");
            EXPECT_EQ(run.Write->Before.Words, (std::vector<uint16_t>{0, 0x447A}));
        }
        EXPECT_FALSE(seq.Busy());
        EXPECT_EQ(seq.Activity(), TActivity::Idle);
    }
}

// A second "Zapisz", or one of another point, is a run of its own without readings.
TEST_F(SequencesTest, AZapiszAfterTheRunsWriteIsARunOfItsOwn) {
    TNode* r0 = R0({10, 11, 11});
    Add(r0->Parent(), "N100", "40001", "WORD", "RW", "1", "0");
    Add(r0->Parent(), "N400", "40002", "WORD", "RW", "1", "0");
    seq.StartCalibration(u"100R", 3, 247);
    EXPECT_TRUE(window.Runs.empty());  // no record kept
    seq.WriteMean(u"100R", u"11", 247);
    EXPECT_EQ(port.Requests.size(), 4u);  // the write alone
    EXPECT_EQ(port.FunctionOf(3), 6);

    seq.KeepRecord(true);
    seq.StartCalibration(u"100R", 3, 247);
    seq.WriteMean(u"100R", u"11", 247);
    seq.WriteMean(u"100R", u"12", 247);
    seq.WriteMean(u"400R", u"13", 247);
    ASSERT_EQ(window.Runs.size(), 4u);
    EXPECT_EQ(window.Runs[1].second, true);
    for (size_t i : {2u, 3u}) {
        EXPECT_FALSE(window.Runs[i].second);
        EXPECT_TRUE(window.Runs[i].first.Readings.empty());
        ASSERT_TRUE(window.Runs[i].first.Write);
        EXPECT_TRUE(window.Runs[i].first.Write->Verified());
    }
    EXPECT_EQ(window.Runs[3].first.Point, "400R");
    EXPECT_EQ(window.Runs[3].first.Write->Name, "N400");
    EXPECT_EQ(port.Get(3, 1), 13);
}

// A window that asks: "Nie" writes nothing and leaves the run to the next
// "Zapisz" of its point.
TEST_F(SequencesTest, AnAskedZapiszWritesOnlyWhenConfirmed) {
    TNode* r0 = R0({10, 11, 11});
    Add(r0->Parent(), "N100", "40001", "WORD", "RW", "1", "0");
    port.Set(3, 0, 5);
    seq.KeepRecord(true);
    seq.StartCalibration(u"100R", 3, 247);
    std::optional<std::u16string> asked;
    bool answer = false;
    window.Confirm = [&](const TWriteQuestion& q) {
        asked = q.DeviceValue;
        return answer;
    };
    seq.WriteMean(u"100R", u"11", 247);
    EXPECT_EQ(asked, u"5");
    EXPECT_EQ(port.Requests.size(), 4u);  // the read before alone
    EXPECT_EQ(view.ResultLines.back(), "N100: nie zapisano: nie potwierdzono");
    ASSERT_EQ(window.Runs.size(), 2u);
    EXPECT_TRUE(window.Runs[1].second && window.Runs[1].first.Write->Declined);

    answer = true;
    seq.WriteMean(u"100R", u"11", 247);
    EXPECT_EQ(port.Get(3, 0), 11);
    ASSERT_EQ(window.Runs.size(), 3u);
    EXPECT_TRUE(window.Runs[2].second);  // still the calibration's run, now written
    EXPECT_EQ(window.Runs[2].first.Readings.size(), 3u);
    EXPECT_TRUE(window.Runs[2].first.Write->Verified());
}

// The same sequences on a worker bus: each result comes back as a task the
// owner runs later, as the window's thread does.
class WorkerSequencesTest : public SequencesTest {
protected:
    WorkerSequencesTest() : bus(port, [this](TBus::TTask task) { Hand(std::move(task)); }), ta(bus, frame, view),
                            sa(ta, view, window) {
        sa.UseTree(&tree);
        view.NextStep = [this] { sa.OnNextStep(); };
    }
    void Hand(TBus::TTask task) {
        const std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
    }
    // Runs the handed tasks until the sequence and the bus owe nothing.
    void Settle() {
        for (int spins = 0; spins < 100000 && (sa.Busy() || bus.Pending() > 0 || !tasks.empty()); ++spins) {
            std::vector<TBus::TTask> now;
            {
                const std::lock_guard lock(mutex);
                now.swap(tasks);
            }
            for (TBus::TTask& task : now) task();
            if (now.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::mutex mutex;
    std::vector<TBus::TTask> tasks;
    TBusWorker bus;
    TTransaction ta;
    TSequences sa;
};

TEST_F(WorkerSequencesTest, ResultsDriveWalkAndCalibrationInTheOrderOfTheInlineBus) {
    TNode* g = Group(nullptr, 3);
    sa.StartRead(g, 247);
    EXPECT_TRUE(sa.Busy());  // the first exchange is out
    Settle();
    TNode* r0 = R0({0, 0, 0, 1000, 1001, 1002});  // by request: after the walk's three
    sa.StartCalibration(u"100R", 3, 247);
    Settle();
    EXPECT_EQ(ReadAddresses(), (std::vector<int>{0, 1, 2, 0, 0, 0}));
    EXPECT_EQ(view.ResultLines,
              (std::vector<std::string>{"40001  r1          11", "40002  r2          12", "40003  r3          13", "",
                                        "kalibracja 100R ... ", "30001  R0          1000", "30001  R0          1001",
                                        "30001  R0          1002", "========           1001 ", "err:               0,471 ",
                                        ""}));
    EXPECT_EQ(r0->Record.Value, u"1002");
    EXPECT_EQ(window.Events, (std::vector<std::string>{kWalk, kIdle, kCalibration, "pause 200", "pause 200", kIdle}));
}

TEST_F(WorkerSequencesTest, StopEndsAWalkAtOnceAndAbandonsTheExchangeOut) {
    TNode* g = Group(nullptr, 3);
    sa.StartRead(g, 247);
    sa.Stop();
    EXPECT_EQ(sa.Activity(), TActivity::Idle);
    EXPECT_FALSE(sa.WalkMode());
    EXPECT_TRUE(sa.Busy());  // until the exchange's result is shown
    sa.StartRead(g, 247);  // refused meanwhile
    Settle();
    // The abandoned reply is shown as discarded, and nothing else of it.
    EXPECT_EQ(ReadAddresses(), (std::vector<int>{0}));
    EXPECT_TRUE(view.ResultLines.empty());
    EXPECT_EQ(view.CommLines.back(), "> $F70302000B3196 (odrzucone)");
    EXPECT_EQ(g->Child(0)->Record.Value, u"");
    EXPECT_FALSE(sa.Busy());
}
