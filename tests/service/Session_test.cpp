// SPDX-License-Identifier: GPL-3.0-or-later
// The service session against a Modbus slave: what one register read gives.
#include <gtest/gtest.h>

#include "service/Session.h"
#include "tests/support/ModbusSlave.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Wire.h"

using namespace vyx;
using namespace vyx::service;

TEST(SessionRead, WordsOrWhyNot) {
    test::TModbusSlave slave(247, 16, 16);
    slave.SetHolding(0, {0x0000, 0x447A});
    test::TRecordingView view;
    TSession s(view);
    s.Open(slave.SlavePath(), TLineSettings{});
    TRegisterTree tree;
    TNode& good = *tree.AddChild(nullptr);
    good.Record = test::RegisterRecord(u"40001", u"REAL", u"2");
    TNode& beyond = *tree.AddChild(nullptr);
    beyond.Record = test::RegisterRecord(u"40099", u"WORD", u"1");
    TNode& refused = *tree.AddChild(nullptr);
    refused.Record = test::RegisterRecord(u"-25535", u"WORD", u"1");

    TRegisterRead r = ReadWords(s, good);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Words, (std::vector<uint16_t>{0x0000, 0x447A}));
    EXPECT_EQ(r.Value, u"1000,00");

    r = ReadWords(s, beyond);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Outcome, TOutcome::Exception);
    EXPECT_EQ(r.Error, "błąd ! (exception 2: illegal data address)");

    // Refused before anything is sent, after a transaction that was.
    ReadWords(s, good);
    r = ReadWords(s, refused);
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Words.empty());
    EXPECT_EQ(r.Outcome, TOutcome::None);
    EXPECT_NE(r.Error.find("rejestr poza zakresem"), std::string::npos) << r.Error;
    EXPECT_EQ(slave.RequestCount(), 3);
}
