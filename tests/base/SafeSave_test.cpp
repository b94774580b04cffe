// SPDX-License-Identifier: GPL-3.0-or-later
// Saving never destroys what stands in the target's place: plain files are
// replaced whole, links followed, devices and FIFOs written in place.
#include "base/SafeSave.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ErrorText.h"
#include "tests/support/Pty.h"

namespace vyx {
namespace {

namespace fs = std::filesystem;
using test::ErrorOf;

const std::vector<uint8_t> kBytes = {'n', 'o', 'w', 'e', 0, 0xFF, '\n'};

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vyx-safesave-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::file_type Type(const fs::path& p) const { return fs::symlink_status(p).type(); }

    fs::path dir_;
};

TEST_F(SafeSave, NewAndPlainFilesAreWrittenWhole) {
    SaveFileBytes(dir_ / "a.dat", kBytes);
    std::ofstream(dir_ / "b.dat") << "stare, dłuższe niż nowe dane";
    SaveFileBytes(dir_ / "b.dat", kBytes);
    SaveFileBytes(dir_ / "c.log", std::string("linia\r\n"));
    EXPECT_EQ(ReadText(dir_ / "c.log"), "linia\r\n");
    EXPECT_EQ(ReadText(dir_ / "a.dat"), Text(kBytes));
    EXPECT_EQ(ReadText(dir_ / "b.dat"), Text(kBytes));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.dat", "b.dat", "c.log"})) << "no temporary file left";
}

TEST_F(SafeSave, LinksAreFollowedAndStayLinks) {
    std::ofstream(dir_ / "target.dat") << "stare";
    fs::create_symlink("target.dat", dir_ / "link.dat");
    fs::create_symlink(dir_ / "link.dat", dir_ / "link2.dat");  // a chain of two
    fs::create_symlink("missing.dat", dir_ / "dangling.dat");

    SaveFileBytes(dir_ / "link2.dat", kBytes);
    SaveFileBytes(dir_ / "dangling.dat", kBytes);
    EXPECT_EQ(Type(dir_ / "link.dat"), fs::file_type::symlink);
    EXPECT_EQ(Type(dir_ / "link2.dat"), fs::file_type::symlink);
    EXPECT_EQ(Type(dir_ / "dangling.dat"), fs::file_type::symlink);
    EXPECT_EQ(ReadText(dir_ / "target.dat"), Text(kBytes));
    EXPECT_EQ(ReadText(dir_ / "missing.dat"), Text(kBytes)) << "a dangling link's target is created";

    fs::create_symlink("loop.dat", dir_ / "loop.dat");
    EXPECT_EQ(ErrorOf([&] { SaveFileBytes(dir_ / "loop.dat", kBytes); }),
              "Cannot create file \"" + (dir_ / "loop.dat").string() + "\". Too many levels of symbolic links");
}

TEST_F(SafeSave, DeviceIsWrittenInPlaceDirectlyOrThroughALink) {
    test::TPty pty;
    fs::create_symlink(pty.SlavePath(), dir_ / "port");
    for (const fs::path& target : {fs::path(pty.SlavePath()), dir_ / "port"}) {
        SaveFileBytes(target, kBytes);
        EXPECT_EQ(pty.ReadClient(kBytes.size(), std::chrono::seconds(5)), kBytes) << target;
        EXPECT_EQ(fs::status(pty.SlavePath()).type(), fs::file_type::character);
    }
    EXPECT_EQ(Type(dir_ / "port"), fs::file_type::symlink);
}

TEST_F(SafeSave, FifoIsWrittenInPlaceAndOneNobodyReadsFailsAtOnce) {
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf([&] { SaveFileBytes(fifo, kBytes); }),
              "Cannot write file \"" + fifo.string() + "\". No such device or address (nothing reads the FIFO)");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    SaveFileBytes(fifo, kBytes);
    std::vector<uint8_t> got(64);
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    ASSERT_GE(n, 0);
    got.resize(static_cast<size_t>(n));
    EXPECT_EQ(got, kBytes);
    EXPECT_EQ(Type(fifo), fs::file_type::fifo);
}

TEST_F(SafeSave, FolderRefusingNewFilesHasItsWritableFileWrittenInPlace) {
    // Run by a user who may write the file but not the folder; root drops to nobody.
    const fs::path file = dir_ / "log.txt";
    std::ofstream(file) << "stary dziennik, dłuższy niż nowe dane";
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
        const bool refused = ::access(dir_.c_str(), W_OK) != 0;
        try {
            SaveFileBytes(file, kBytes);
        } catch (...) {
            ::_exit(1);
        }
        const std::string missing = ErrorOf([&] { SaveFileBytes(dir_ / "new.txt", kBytes); });
        ::_exit(!refused ? 4 : missing.rfind("Cannot create file", 0) == 0 ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadText(file), Text(kBytes));
    EXPECT_EQ(Entries(), std::vector<std::string>{"log.txt"});
}

TEST_F(SafeSave, FolderInTheTargetsPlaceIsRefused) {
    fs::create_directory(dir_ / "folder");
    EXPECT_EQ(ErrorOf([&] { SaveFileBytes(dir_ / "folder", kBytes); }),
              "Cannot create file \"" + (dir_ / "folder").string() + "\". Is a directory");
    EXPECT_EQ(Type(dir_ / "folder"), fs::file_type::directory);
}

}  // namespace
}  // namespace vyx
