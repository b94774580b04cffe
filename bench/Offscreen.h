// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's benchmarks share: boxes that answer nothing (an error ends
// the run, it would falsify the figures) and a main on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "ui/Boxes.h"

namespace vyx::bench {

struct TQuietBoxes : vyx::ui::TBoxes {
    void ShowMessage(QWidget*, const QString&) override {}
    void ShowError(QWidget*, const QString& text) override { qFatal("%s", qPrintable(text)); }
    QString AskSaveFileName(QWidget*, const QString&) override { return {}; }
    QString AskFolder(QWidget*, const QString&) override { return {}; }
    bool Ask(QWidget*, const QString&) override { return false; }
    bool AskPrinter(QWidget*, QPrinter&) override { return false; }
};

inline int RunOffscreen(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace vyx::bench
