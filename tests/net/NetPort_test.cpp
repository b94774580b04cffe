// SPDX-License-Identifier: GPL-3.0-or-later
// The network ports under the real transaction, against servers on the loopback:
// libmodbus's Modbus TCP server, and scripted servers for what a real one never
// sends. Waits are a second or more: a busy machine must not turn a reply into
// a time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "modbus/Transaction.h"
#include "port/AnyPort.h"
#include "registers/RegisterTree.h"
#include "tests/support/ModbusTcpSlave.h"
#include "tests/support/RecordingView.h"

namespace vyx::net {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kWaitMs = 1000;

struct Master {
    TAnyPort Port;
    TFrame Frame;
    test::TRecordingView View;
    TTransaction Transaction{Port, Frame, View};
    TRegisterTree Tree;
    TNode* Node = Tree.AddChild(nullptr);

    bool Open(const std::string& name) {
        Port.SetTimeouts(30, 0, kWaitMs, 0, 30);
        return Port.OpenPort(name, "19200,e,8,1") && Port.SetTimeouts(30, 0, kWaitMs, 0, 30);
    }
    void Read(const char16_t* address) {
        Node->Record = {u"R", u"", address, u"WORD", u"1", u"RW", u""};
        Transaction.ReadRegister(*Node, 247);
    }
};

std::string Url(const char* scheme, uint16_t port) { return std::string(scheme) + "127.0.0.1:" + std::to_string(port); }

TEST(ModbusTcp, ReadsAndWritesALibmodbusServerShowingTheWireBytes) {
    test::TModbusTcpSlave slave;
    slave.SetHolding(4, 4660);
    Master m;
    ASSERT_TRUE(m.Open(Url("mbtcp://", slave.Port()))) << OpenFaultText(m.Port.OpenFault(), m.Port.OpenErrno());
    m.Read(u"40005");
    EXPECT_EQ(m.Transaction.Outcome(), TOutcome::Good);
    EXPECT_EQ(ToUtf8(m.Transaction.Rslt().ValueText), "4660");
    // Transaction 1, protocol 0, 6 bytes: unit 247, function 3, register 4, one register.
    EXPECT_EQ(m.View.CommLines.at(0), "< $000100000006F70300040001");
    EXPECT_EQ(m.View.CommLines.at(1), "> $000100000005F70302" "1234");

    m.Node->Record.Value = u"77";
    ASSERT_TRUE(m.Transaction.WriteRegister(*m.Node, 247));
    EXPECT_EQ(m.Transaction.Outcome(), TOutcome::Good);
    EXPECT_EQ(slave.Holding(4), 77);
    EXPECT_EQ(m.View.CommLines.at(2).substr(0, 7), "< $0002");
}

// Replies of a scripted Modbus TCP server to a read of one register, by the request.
Bytes Reply(const Bytes& q, uint16_t tidDelta, uint16_t protocol, uint16_t length) {
    const uint16_t tid = static_cast<uint16_t>((q[0] << 8 | q[1]) + tidDelta);
    return {static_cast<uint8_t>(tid >> 8), static_cast<uint8_t>(tid), static_cast<uint8_t>(protocol >> 8),
            static_cast<uint8_t>(protocol), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
            q[6], 0x03, 0x02, 0x00, 0x2A};
}

TEST(ModbusTcp, DamagedLateAndCutRepliesAreClearOutcomes) {
    // Each case is read twice: the second request has one before it, whose reply may come late.
    const struct {
        const char* name;
        test::TScriptedServer::TScript script;
        bool close;
        TOutcome outcome;
        const char* reason;  // of the second read, in the window's words
    } cases[] = {
        {"good", [](const Bytes& q) { return Reply(q, 0, 0, 5); }, false, TOutcome::Good, ""},
        {"a late one only", [](const Bytes& q) { return Reply(q, 0xFFFF, 0, 5); }, false, TOutcome::Timeout,
         "brak odpowiedzi urządzenia"},
        {"a late one, then ours",
         [](const Bytes& q) {
             Bytes r = Reply(q, 0xFFFF, 0, 5);
             const Bytes ours = Reply(q, 0, 0, 5);
             r.insert(r.end(), ours.begin(), ours.end());
             return r;
         },
         false, TOutcome::Good, ""},
        {"an id never sent", [](const Bytes& q) { return Reply(q, 1, 0, 5); }, false, TOutcome::Damaged,
         "uszkodzona odpowiedź: nagłówek MBAP (identyfikator transakcji 3 zamiast 2)"},
        {"protocol 1", [](const Bytes& q) { return Reply(q, 0, 1, 5); }, false, TOutcome::Damaged,
         "uszkodzona odpowiedź: nagłówek MBAP (protokół 1)"},
        {"length 0", [](const Bytes& q) { return Reply(q, 0, 0, 0); }, false, TOutcome::Damaged,
         "uszkodzona odpowiedź: nagłówek MBAP (długość 0)"},
        {"length 65535", [](const Bytes& q) { return Reply(q, 0, 0, 0xFFFF); }, false, TOutcome::Damaged,
         "uszkodzona odpowiedź: nagłówek MBAP (długość 65535)"},
        {"cut by the server", [](const Bytes& q) { return Bytes(q.begin(), q.begin() + 5); }, true,
         TOutcome::PortClosed, "port zamknięty"},
        {"closed without a reply", [](const Bytes&) { return Bytes{}; }, true, TOutcome::PortClosed,
         "port zamknięty"},
    };
    for (const auto& c : cases) {
        test::TScriptedServer server(c.script, c.close);
        Master m;
        ASSERT_TRUE(m.Open(Url("mbtcp://", server.Port()))) << c.name;
        m.Read(u"40001");
        m.Read(u"40001");
        EXPECT_EQ(m.Transaction.Outcome(), c.outcome) << c.name;
        EXPECT_EQ(m.Transaction.Reason(TLanguage::Polish), c.reason) << c.name;
        EXPECT_EQ(m.Port.IsOpened(), !c.close) << c.name;
        EXPECT_EQ(m.Port.Com.Opened, !c.close) << c.name;
        if (c.outcome == TOutcome::Good) {
            EXPECT_EQ(ToUtf8(m.Transaction.Rslt().ValueText), "42") << c.name;
        }
    }
    // A late reply passed over is still shown, also when nothing else came.
    test::TScriptedServer server([](const Bytes& q) { return Reply(q, 0xFFFF, 0, 5); }, false);
    Master m;
    ASSERT_TRUE(m.Open(Url("mbtcp://", server.Port())));
    m.Read(u"40001");
    m.Read(u"40001");
    EXPECT_EQ(m.View.CommLines.back(), "> $000100000005F70302002A (odrzucone)");
}

TEST(RtuOverTcp, FramesGoAsOnTheLine) {
    Bytes seen;
    // libmodbus's reply on a serial line to a read of register 0: the value 0.
    test::TScriptedServer server(
        [&](const Bytes& q) {
            seen = q;
            return Bytes{0xF7, 0x03, 0x02, 0x00, 0x00, 0x70, 0x51};
        },
        false);
    Master m;
    ASSERT_TRUE(m.Open(Url("tcp://", server.Port())));
    m.Read(u"40001");
    EXPECT_EQ(m.Transaction.Outcome(), TOutcome::Good);
    EXPECT_EQ(seen, (Bytes{0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}));
    EXPECT_EQ(m.View.CommLines.at(1), "> $F7030200007051");
}

TEST(RtuOverTcp, BytesThatWouldBeADamagedMbapHeaderAreACrcErrorOnTheLine) {
    for (const uint16_t protocol : {0, 1}) {
        test::TScriptedServer server([&](const Bytes& q) { return Reply(q, 0, protocol, 5); }, false);
        Master m;
        ASSERT_TRUE(m.Open(Url("tcp://", server.Port())));
        m.Read(u"40001");
        EXPECT_EQ(m.Transaction.Outcome(), TOutcome::CrcError) << protocol;
        EXPECT_EQ(m.Transaction.Reason(TLanguage::Polish), "błąd CRC odpowiedzi") << protocol;
    }
}

TEST(NetPort, APeerThatTricklesForeverCannotHoldTheRead) {
    // A gap of half a second never comes between its bytes: only the bound on
    // the whole read (twice the first-byte wait, 2 s here) ends each read.
    const struct {
        const char* scheme;
        test::TScriptedServer::TScript start;
        TOutcome outcome;
    } cases[] = {
        // A reply that says 255 bytes follow.
        {"tcp://", [](const Bytes& q) { return Bytes{q[0], 0x03, 0xFF}; }, TOutcome::CrcError},
        // Our transaction's header, announcing 254 bytes.
        {"mbtcp://", [](const Bytes& q) { return Bytes{q[0], q[1], 0, 0, 0, 254, q[6], 0x03, 0xFF}; },
         TOutcome::Damaged},
    };
    for (const auto& c : cases) {
        test::TTricklingServer server(c.start, std::chrono::milliseconds(30), 0x55);
        Master m;
        ASSERT_TRUE(m.Open(Url(c.scheme, server.Port()))) << c.scheme;
        ASSERT_TRUE(m.Port.SetTimeouts(500, 0, kWaitMs, 0, 30));
        const auto start = std::chrono::steady_clock::now();
        // The second write finds the bytes still coming: purging them cannot hold it either.
        for (int i = 0; i < 2; ++i) {
            m.Read(u"40001");
            EXPECT_EQ(m.Transaction.Outcome(), c.outcome) << c.scheme << i;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.scheme;
    }
}

TEST(NetPort, ARefusedConnectionAndABadNameAreSaid) {
    const struct {
        std::string name;
        TOpenFault fault;
    } cases[] = {
        {Url("tcp://", test::ClosedPort()), TOpenFault::Refused},
        {Url("mbtcp://", test::ClosedPort()), TOpenFault::Refused},
        // A name goes through the resolver's worker thread: found, or never found.
        {"tcp://localhost:" + std::to_string(test::ClosedPort()), TOpenFault::Refused},
        {"mbtcp://no-such-host.invalid", TOpenFault::NoHost},
        {"tcp://127.0.0.1:70000", TOpenFault::BadAddress},
        {"mbtcp://[::1", TOpenFault::BadAddress},
    };
    for (const auto& c : cases) {
        Master m;
        EXPECT_FALSE(m.Open(c.name)) << c.name;
        EXPECT_EQ(m.Port.OpenFault(), c.fault) << c.name;
        EXPECT_FALSE(m.Port.Com.Opened) << c.name;
        m.Read(u"40001");
        EXPECT_EQ(m.Transaction.Outcome(), TOutcome::PortClosed) << c.name;
    }
}

}  // namespace
}  // namespace vyx::net
