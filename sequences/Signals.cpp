// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequences/Signals.h"

#include <cctype>
#include <exception>

#include "base/Text.h"
#include "modbus/Builders.h"

namespace vyx {

std::u16string SignalLabel(const TSignal& signal) {
    std::u16string label = signal.Record.Name;
    if (!signal.Record.Note.empty()) label += u" [" + signal.Record.Note + u"]";
    return label + u" @" + FromUtf8(std::to_string(signal.Slave));
}

std::u16string SignalShortName(const std::vector<TSignal>& set, size_t index) {
    const TSignal& signal = set.at(index);
    for (size_t k = 0; k < set.size(); ++k)
        if (k != index && set[k].Record.Name == signal.Record.Name)
            return signal.Record.Name + u" @" + FromUtf8(std::to_string(signal.Slave));
    return signal.Record.Name;
}

TRound ReadRound(TPort& port, TWire& wire, TLineOptions line, const std::vector<TSignal>& set) {
    using Steady = std::chrono::steady_clock;
    const auto began = Steady::now();
    TRound round;
    round.When = std::chrono::system_clock::now();
    round.Readings.resize(set.size());
    TFrame frame;
    for (size_t k = 0; k < set.size(); ++k) {
        const TSignal& signal = set[k];
        TSignalReading& got = round.Readings[k];
        if (round.PortGone) {
            got.Outcome = TOutcome::PortClosed;
            got.Reason = OutcomeReason(TOutcome::PortClosed, 0, TLanguage::Polish);
            got.ReasonEn = OutcomeReason(TOutcome::PortClosed, 0, TLanguage::English);
            continue;
        }
        try {
            BuildRead(frame, signal.Slave, signal.Record);
        } catch (const std::exception& e) {
            got.Reason = got.ReasonEn = e.what();
            continue;
        }
        const TExchangeResult r = wire.Exchange(port, frame, line);
        round.Lines.insert(round.Lines.end(), r.Lines.begin(), r.Lines.end());
        round.PortGone = !r.PortOpen;
        got.Outcome = r.Outcome;
        got.Sent = r.Sent;
        got.Heard = r.Heard;
        const uint8_t* pdu = r.Rx.data() + r.PduAt;
        if (r.Outcome != TOutcome::Good || r.PduSize < 2) {
            got.Reason = OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::Polish, r.DetailPl);
            got.ReasonEn = OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English, r.DetailEn);
            continue;
        }
        // The wire has checked the byte count against the registers asked for.
        const int n = std::min<int>(pdu[1], static_cast<int>(r.PduSize) - 2);
        const int type = GetTypeCode(signal.Record.DataType);
        got.Reading.Good = true;
        got.Reading.Number = DecodeNumber(type, n, pdu + 2);
        got.Text = DecodeValue(type, n, pdu + 2);
        for (int i = 0; i + 1 < n; i += 2)
            got.Reading.Words.push_back(static_cast<uint16_t>(pdu[2 + i] << 8 | pdu[3 + i]));
    }
    round.Seconds = std::chrono::duration<double>(Steady::now() - began).count();
    return round;
}

double RoundLineSeconds(const std::vector<TSignal>& set, const std::string& mode) {
    size_t digits = 0;
    while (digits < mode.size() && std::isdigit(static_cast<unsigned char>(mode[digits]))) ++digits;
    if (digits == 0 || digits > 7) return 0;
    const double baud = std::stod(mode.substr(0, digits));
    double bytes = 0;
    for (const TSignal& signal : set) {
        int length = 1;
        try {
            length = std::max(1, StrToInt(signal.Record.Length));
        } catch (const std::exception&) {
        }
        bytes += 8 + 5 + 2.0 * length;
    }
    return bytes * 11 / baud;
}

namespace {

// A field of the set's CSV: neither a separator nor a line end gets into it.
void Field(std::string& line, std::string_view text) {
    line += ';';
    for (const char c : text) line += c == ';' || c == '\n' || c == '\r' ? ' ' : c;
}

}  // namespace

std::string RoundCsvHeader(const std::vector<TSignal>& set) {
    std::string line = "czas";
    for (const TSignal& signal : set) Field(line, ToUtf8(SignalLabel(signal)));
    Field(line, "przyczyna");
    return line;
}

std::string RoundCsvLine(const std::vector<TSignal>& set, const TRound& round) {
    // The time stamp as every reading's line has it.
    const std::string stamped = CsvLine(round.When, {}, {});
    std::string line = stamped.substr(0, stamped.find(';'));
    std::string reasons;
    for (size_t k = 0; k < set.size(); ++k) {
        const TSignalReading* got = k < round.Readings.size() ? &round.Readings[k] : nullptr;
        const int type = GetTypeCode(set[k].Record.DataType);
        std::u16string value;
        if (got && got->Reading.Number)
            value = FormatReading(type, *got->Reading.Number);
        else if (got && got->Reading.Good)
            value = CsvText(got->Text);  // a text register's value as it reads
        Field(line, ToUtf8(value));
        if (got && got->Reading.Good) continue;
        if (!reasons.empty()) reasons += ", ";
        reasons += ToUtf8(SignalShortName(set, k)) + ": " + (got ? got->Reason : std::string("brak odczytu"));
    }
    Field(line, reasons);
    return line;
}

}  // namespace vyx
