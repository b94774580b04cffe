// SPDX-License-Identifier: GPL-3.0-or-later
// One Qt application for all the window's tests, on the offscreen platform with a
// desktop screen unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", VYX_TEST_PLATFORM, 0);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("vyx-cfg"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
