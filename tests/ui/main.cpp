// SPDX-License-Identifier: GPL-3.0-or-later
// One Qt application for all the window's tests, on the offscreen platform with a
// desktop screen unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/support/Env.h"

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) vyx::test::SetEnv("QT_QPA_PLATFORM", VYX_TEST_PLATFORM);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("vyx-cfg"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
