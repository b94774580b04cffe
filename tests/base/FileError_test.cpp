// SPDX-License-Identifier: GPL-3.0-or-later
// A file's fault: English for the command line, Polish for the window.
#include "base/FileError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace vyx;

TEST(FileError, SaysTheFaultInBothLanguages) {
    const struct {
        int error;
        const char* polish;
    } cases[] = {{ENOSPC, "brak miejsca na dysku"}, {EACCES, "brak uprawnień"}, {EROFS, "dysk tylko do odczytu"},
                 {ENAMETOOLONG, "nazwa za długa"}, {EXDEV, nullptr}};
    for (const auto& c : cases) {
        const FileError e(TFileAction::Write, "/x/a.log", ErrnoReason(c.error));
        EXPECT_EQ(std::string(e.what()), std::string("Cannot write file \"/x/a.log\". ") + std::strerror(c.error));
        // A reason without a text of its own is the system's, said as such.
        const std::string reason = c.polish ? c.polish : "błąd systemu: " + std::string(std::strerror(c.error));
        EXPECT_EQ(e.Polish(), "Nie można zapisać pliku \"/x/a.log\": " + reason);
        EXPECT_EQ(PolishText(e), e.Polish());
    }
    EXPECT_EQ(PolishText(Error("inny błąd")), "inny błąd");
}
