// SPDX-License-Identifier: GPL-3.0-or-later
// Files on Windows: names with letters outside the ANSI code page, bytes kept
// exactly (no text mode), the save through a temporary file, and the failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "base/WindowsFiles.h"
#include "tests/support/TreeCompare.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / (L"vyx-files-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(dir_);
        ASSERT_TRUE(fs::create_directory(dir_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(WindowsFiles, PolishNameRoundTripsAsUtf16) {
    TRegisterTree tree;
    TNode* node = tree.AddChild(nullptr);
    node->Record.Name = U16("Ciśnienie");
    node->States = kStateVisible | kStateInitialized;
    const fs::path path = dir_ / PathFromUtf8("urządzenie.dat");
    EXPECT_EQ(path.filename().wstring(), L"urz\u0105dzenie.dat");
    SaveRegisterFile(tree, path);
    EXPECT_EQ(Entries(), std::vector<std::wstring>{L"urz\u0105dzenie.dat"}) << "no temporary file left";
    EXPECT_EQ(PathToUtf8(path.filename()), "urządzenie.dat");

    TRegisterTree back;
    EXPECT_EQ(LoadRegisterFile(back, path), 2);
    test::ExpectSameTree(tree, back);

    // Replacing moves the new file over the old one.
    tree.AddChild(nullptr);
    SaveRegisterFile(tree, path);
    EXPECT_EQ(Entries().size(), 1u);
    LoadRegisterFile(back, path);
    EXPECT_EQ(back.Count(), 2u);
}

TEST_F(WindowsFiles, BytesAreKeptExactly) {
    // CR, LF, CR LF, Ctrl-Z and NUL: what text mode would change or stop at.
    const std::vector<uint8_t> bytes = {0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x1A, 0x00, 0x0A, 0xFF, 0x1A};
    const fs::path path = dir_ / L"bajty.dat";
    SaveFileBytes(path, bytes);
    EXPECT_EQ(fs::file_size(path), bytes.size());
    EXPECT_EQ(win::ReadFileBytes(path), bytes);
}

TEST_F(WindowsFiles, FailuresNameTheFileAndKeepTheOld) {
    TRegisterTree tree;
    tree.AddChild(nullptr)->Record.Name = u"stary";
    const fs::path old = dir_ / L"stary.dat";
    SaveRegisterFile(tree, old);

    const fs::path missing = dir_ / L"brak" / L"plik.dat";
    try {
        SaveRegisterFile(tree, missing);
        FAIL() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + PathToUtf8(missing) + "\". ", 0), 0u)
            << e.what();
    }
    try {
        SaveRegisterFile(tree, dir_);
        FAIL() << "saved over a folder";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + PathToUtf8(dir_) + "\". ", 0), 0u)
            << e.what();
    }
    try {
        TRegisterTree back;
        LoadRegisterFile(back, dir_ / L"nie-ma.dat");
        FAIL() << "a missing file loaded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + PathToUtf8(dir_ / L"nie-ma.dat") + "\". ", 0),
                  0u)
            << e.what();
    }
    EXPECT_THROW(LoadRegisterFile(tree, dir_), Error) << "a folder is no register file";

    // A file held open without sharing cannot be replaced: the save fails and
    // the old contents stay.
    HANDLE held = CreateFileW(old.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    TRegisterTree other;
    other.AddChild(nullptr)->Record.Name = u"nowy";
    EXPECT_THROW(SaveRegisterFile(other, old), Error);
    CloseHandle(held);
    TRegisterTree back;
    LoadRegisterFile(back, old);
    EXPECT_EQ(back.First()->Record.Name, u"stary");
    EXPECT_EQ(Entries(), std::vector<std::wstring>{L"stary.dat"}) << "no temporary file left";
}

TEST_F(WindowsFiles, DeviceIsWrittenInPlace) {
    // NUL takes the bytes and stays what it is.
    EXPECT_NO_THROW(SaveFileBytes(L"NUL", std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace vyx
