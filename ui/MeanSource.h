// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the text of "Wartość:" came from, and the question "Zapisz" asks with
// it before a calibration point is written: the register, its value in the
// device now, the value to write and its origin, and a warning when the mean
// was taken at the other point.
#include <QString>
#include <cstddef>
#include <string>
#include <utility>

#include "sequences/Sequences.h"

namespace vyx::ui {

struct TMeanSource {
    enum class TKind { Initial, Calibration, Typed };
    TKind Kind = TKind::Initial;
    // A calibration's: its point ("100R"), the time of day it ended, its readings.
    std::u16string Point;
    QString Time;
    size_t Readings = 0;

    static TMeanSource Calibration(std::u16string point, QString time, size_t readings) {
        return {TKind::Calibration, std::move(point), std::move(time), readings};
    }
    static TMeanSource Typed() { return {TKind::Typed, {}, {}, 0}; }
};

// "średnia kalibracji 100R z 00:31:02, 10 odczytów", "wpisana ręcznie",
// "wartość początkowa, bez kalibracji".
QString MeanSourceText(const TMeanSource& source);

// The box's lines, joined by "\n".
QString WriteQuestionText(const TWriteQuestion& question, const TMeanSource& source);

}  // namespace vyx::ui
