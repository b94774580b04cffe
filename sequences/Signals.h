// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A set of signals read together: each a register of a unit on the line (its
// slave address and the device file its record comes from). A round reads every
// signal once, one after another, on the wire that owns the port; a failed
// reading says why and the round goes on with the next signal. The window posts
// a round as one job to its bus worker each period; `vyx monitor` runs rounds
// on its inline bus. Nothing here knows a toolkit.
//
// What a round leaves: one CSV line for the set, under a header that names
// each signal ("czas;R0 [mA] @2;Prąd wyjściowy [mA] @2;R0 @5;przyczyna"), with
// an empty value where a reading failed and the reasons in the last field
// ("R0 @5: brak odpowiedzi urządzenia"); and, between two markers on the plot,
// each curve's values at the markers, their difference and the statistics of
// the readings between them (MarkerSpan).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modbus/Frame.h"
#include "modbus/Wire.h"
#include "registers/RegData.h"
#include "sequences/Readings.h"

namespace vyx {

struct TSignal {
    uint8_t Slave = 1;
    std::string DeviceFile;  // the device list's name of the file its record comes from
    TRegData Record;
    bool operator==(const TSignal&) const = default;
};

// "R0 [mA] @2": the name, the note (its unit of measure) when there is one, the slave.
std::u16string SignalLabel(const TSignal& signal);
// The name in a failure's reason: "R0", with " @2" when another signal of the
// set has the same name.
std::u16string SignalShortName(const std::vector<TSignal>& set, size_t index);

// One signal's reading in a round: the reading (its number, or none), the value
// text of a good reply (a text register's too), and why a failed one failed.
struct TSignalReading {
    TReading Reading;
    std::u16string Text;
    TOutcome Outcome = TOutcome::None;  // None when nothing was sent
    bool Sent = false, Heard = false;   // the request went out; something came back
    std::string Reason, ReasonEn;  // why it failed, in Polish and English (UTF-8); empty when good
};

struct TRound {
    std::chrono::system_clock::time_point When;  // when the round began
    std::vector<TSignalReading> Readings;        // one per signal, in the set's order
    std::vector<std::u16string> Lines;           // the communication pane's lines of every exchange
    double Seconds = 0;                          // how long the round took
    bool PortGone = false;                       // the port closed under it: the rest was not sent
};

// Reads every signal once, in order. A request that cannot be built (a
// register out of range) fails that signal with the builder's text.
TRound ReadRound(TPort& port, TWire& wire, TLineOptions line, const std::vector<TSignal>& set);

// The time the bytes of one round take on the line at `mode`'s speed (11 bits
// a character): each request of 8 bytes and its reply of 5 + 2 x Length bytes.
// Zero for a mode without a speed (a network port).
double RoundLineSeconds(const std::vector<TSignal>& set, const std::string& mode);

// The header line of the set's CSV and one round's line (no line ends).
std::string RoundCsvHeader(const std::vector<TSignal>& set);
std::string RoundCsvLine(const std::vector<TSignal>& set, const TRound& round);

// Two markers on a curve: the readings nearest to each marker's time, their
// difference (B - A), and the statistics of the readings between the markers
// (both ends included). Points are (time, value) in time order; a NaN value
// (the break after a failed reading) is no reading.
struct TMarkerSpan {
    std::optional<double> AtA, AtB;
    std::optional<double> Delta() const {
        return AtA && AtB ? std::optional<double>(*AtB - *AtA) : std::nullopt;
    }
    TReadingStats Between;
};

// `Points` is any time-ordered range of elements with `key` and `value`.
template <class Points>
TMarkerSpan MarkerSpan(const Points& points, double a, double b) {
    const auto nearest = [&](double t) -> std::optional<double> {
        std::optional<double> best;
        double distance = 0;
        for (const auto& p : points) {
            if (std::isnan(p.value)) continue;
            const double d = std::abs(p.key - t);
            if (best && d >= distance) {
                if (p.key > t) break;  // further away from here on
                continue;
            }
            best = p.value;
            distance = d;
        }
        return best;
    };
    TMarkerSpan span;
    span.AtA = nearest(a);
    span.AtB = nearest(b);
    const double from = std::min(a, b), to = std::max(a, b);
    std::vector<double> values;
    for (const auto& p : points)
        if (p.key >= from && p.key <= to && !std::isnan(p.value)) values.push_back(p.value);
    span.Between = StatsOf(values);
    return span;
}

}  // namespace vyx
