// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/LineScan.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/Text.h"
#include "modbus/Builders.h"
#include "net/Address.h"

namespace vyx::service {

namespace {

// A try's request on the line: 8 bytes of at most 11 bits each.
constexpr double kRequestBits = 8 * 11;

bool Network(const TScanPlan& plan) { return net::PortKindOf(plan.Port) != net::TPortKind::Serial; }

std::vector<std::string> ModesOf(const TScanPlan& plan) {
    return Network(plan) ? std::vector<std::string>{""} : plan.Modes;
}

}  // namespace

const std::vector<TScanParity>& ScanParities() {
    static const std::vector<TScanParity> parities = {
        {"e", ",e,8,1", "even parity"},
        {"o", ",o,8,1", "odd parity"},
        {"n2", ",n,8,2", "no parity: 2 STOP"},
        {"n1", ",n,8,1", "no parity: 1 STOP"},
    };
    return parities;
}

const TScanParity* FindScanParity(std::string_view key) {
    for (const TScanParity& p : ScanParities())
        if (key == p.Key) return &p;
    return nullptr;
}

const std::vector<long>& ScanBauds() {
    static const std::vector<long> bauds = {9600, 19200, 38400, 57600, 115200};
    return bauds;
}

const std::vector<long>& SlowScanBauds() {
    static const std::vector<long> bauds = {1200, 2400, 4800};
    return bauds;
}

std::vector<std::string> ScanModes(const std::vector<long>& bauds, const std::vector<const TScanParity*>& parities) {
    std::vector<std::string> modes;
    for (const long baud : bauds)
        for (const TScanParity* parity : parities) modes.push_back(std::to_string(baud) + parity->Suffix);
    return modes;
}

TRegData TScanPlan::DefaultProbe() {
    TRegData probe;
    probe.Address = u"40001";
    probe.DataType = u"WORD";
    probe.Length = u"1";
    probe.Access = u"RO";
    return probe;
}

size_t ScanTries(const TScanPlan& plan) { return ModesOf(plan).size() * plan.Slaves.size(); }

double ScanSeconds(const TScanPlan& plan) {
    const double wait = plan.ReplyWaitMs / 1000.0;
    double seconds = 0;
    for (const std::string& mode : ModesOf(plan)) {
        const long baud = std::strtol(mode.c_str(), nullptr, 10);
        const double line = baud > 0 ? kRequestBits / static_cast<double>(baud) : 0;
        seconds += static_cast<double>(plan.Slaves.size()) * (wait + line);
    }
    return seconds;
}

std::string DurationText(double seconds) {
    const long s = std::lround(seconds);
    char buf[32];
    if (s >= 60)
        std::snprintf(buf, sizeof buf, "%ld min %ld s", s / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld s", s);
    return buf;
}

TScanSummary ScanLine(TAnyPort& port, TWire& wire, const TScanPlan& plan, TScanEvents& events,
                      const std::atomic<bool>& cancel) {
    using TClock = std::chrono::steady_clock;
    const auto start = TClock::now();
    TScanSummary s;
    s.Total = ScanTries(plan);
    // A probe the request cannot carry stops the scan before anything is sent.
    TFrame frame;
    BuildRead(frame, 1, plan.Probe);
    const int typeCode = GetTypeCode(plan.Probe.DataType);

    // Each exchange of the scan, shown as it ends; none once the scan is cancelled.
    const TExchanger exchange = [&](const TFrame& request) {
        if (cancel) return TExchangeResult{};
        TExchangeResult r = wire.Exchange(port, request, plan.Line);
        events.Exchanged(r);
        return r;
    };

    const auto count = [&s](const TExchangeResult& r) {
        s.Garbled += r.Outcome == TOutcome::CrcError || r.Outcome == TOutcome::Damaged;
        s.Stray += r.Outcome == TOutcome::Mismatch;
        s.Echoes += r.Outcome == TOutcome::Echo;
    };

    for (const std::string& mode : ModesOf(plan)) {
        if (cancel || !s.Ended.empty()) break;
        wire.Forget();
        const TOpened opened = port.Open(plan.Port, TLineSettings{mode, plan.ReplyWaitMs, plan.Line});
        if (!opened.Opened) {
            events.Skipped(mode, opened);
            s.Done += plan.Slaves.size();
            events.Progress(s.Done, s.Total);
            continue;
        }
        for (const int slave : plan.Slaves) {
            if (cancel) break;
            BuildRead(frame, static_cast<uint8_t>(slave), plan.Probe);
            TExchangeResult r = exchange(frame);
            count(r);
            // Another unit's late reply may have run into this one's: the try is
            // made once more, after the line has been read until quiet.
            if (r.Outcome == TOutcome::Mismatch || r.Outcome == TOutcome::CrcError) count(r = exchange(frame));
            ++s.Done;
            if (!r.PortOpen) {
                // The adapter went away: nothing more can be tried.
                s.Ended = OutcomeReason(TOutcome::PortClosed, 0, TLanguage::English);
                events.Progress(s.Done, s.Total);
                break;
            }
            // Only a reply that answers the try counts: a late answer to an
            // earlier try is a mismatch, not this address's.
            if (r.Outcome == TOutcome::Good || r.Outcome == TOutcome::Exception) {
                TScanFound found;
                found.Mode = mode;
                found.Slave = slave;
                if (r.Outcome == TOutcome::Good) {
                    const uint8_t* pdu = r.Rx.data() + r.PduAt;
                    const int n = r.PduSize >= 2 ? std::min<int>(pdu[1], static_cast<int>(r.PduSize) - 2) : 0;
                    found.Answer = "reply " + ToUtf8(DecodeValue(typeCode, n, pdu + 2));
                } else {
                    found.Answer = OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English);
                }
                if (plan.Identify) found.Identity = IdentifyUnit(exchange, static_cast<uint8_t>(slave), plan.Identities);
                ++s.Found;
                events.Found(found);
            }
            events.Progress(s.Done, s.Total);
        }
    }
    s.Cancelled = cancel;
    s.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return s;
}

}  // namespace vyx::service
