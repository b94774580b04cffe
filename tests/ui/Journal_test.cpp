// SPDX-License-Identifier: GPL-3.0-or-later
// The result journal: its bytes on disk, its lock, and what is recovered at start.
#include "tests/support/FileText.h"
#include "ui/Journal.h"
#include "ui/JournalKeeper.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/Env.h"
#include "base/Text.h"
#include "tests/support/ErrorText.h"
#include "ui/LogFile.h"

using namespace vyx;
namespace fs = std::filesystem;

using vyx::test::FileText;
using vyx::test::TEnvVar;

namespace {

// A stale journal: one whose window ended without Discard, holding the lines.
fs::path Stale(const fs::path& folder, std::initializer_list<std::u16string_view> lines) {
    ui::TJournal journal(folder);
    for (auto line : lines) journal.Append(line);
    return journal.Path();
}


// Runs `work` with files limited to `bytes`: a write beyond fails (EFBIG), even
// for root, as on a full disk.
void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& work) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = bytes;
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    work();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
}

class JournalTest : public ::testing::Test {
protected:
    JournalTest() {
        folder = fs::temp_directory_path() /
                 ("vyx-journal-test-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
    }
    ~JournalTest() override { fs::remove_all(folder); }
    fs::path folder;
};

TEST_F(JournalTest, LinesReachTheFileAsTheLogWritesThem) {
    ui::TJournal journal(folder / "new" / "sub");  // the folder is made
    EXPECT_EQ(journal.Path().parent_path(), folder / "new" / "sub");
    EXPECT_EQ(journal.Path().extension(), ".journal");
    journal.Append(u"Zapis ł OK");
    journal.Append(u"");
    journal.Append(u"€ → ?");
    // On disk before any Sync, as a crash would leave it.
    EXPECT_EQ(FileText(journal.Path()), "Zapis \xB3 OK\r\n\r\n\x80 ? ?\r\n");
    EXPECT_EQ(FileText(journal.Path()), ui::LogBytes({u"Zapis ł OK", u"", u"€ → ?"}));
    journal.Sync();
    journal.Sync();
    EXPECT_FALSE(journal.Failed()) << journal.FailureText();

    // A second window in the same second gets a name of its own.
    ui::TJournal other(folder / "new" / "sub");
    EXPECT_NE(other.Path(), journal.Path());
    journal.Discard();
    EXPECT_FALSE(fs::exists(journal.Path()));
    journal.Append(u"po zamknięciu");  // nothing left to write to, and no crash
    EXPECT_TRUE(fs::exists(other.Path()));
}

TEST_F(JournalTest, RecoveryKeepsWhatCrashedAndLeavesWhatRuns) {
    std::optional<ui::TJournal> live(std::in_place, folder);
    live->Append(u"okno nadal działa");
    const fs::path crashed = Stale(folder, {u"wynik ł", u"drugi"});
    const fs::path empty = Stale(folder, {});
    ASSERT_TRUE(fs::exists(crashed));
    ASSERT_TRUE(fs::exists(empty));
    ASSERT_EQ(::mkfifo((folder / "fifo.journal").c_str(), 0600), 0);  // an open for reading would wait
    fs::create_directory(folder / "folder.journal");
    std::ofstream(folder / "other.log") << "x";

    std::vector<fs::path> logs = ui::RecoverJournals(folder);
    ASSERT_EQ(logs.size(), 1U);
    EXPECT_EQ(logs[0].parent_path(), folder);
    EXPECT_TRUE(std::regex_match(logs[0].filename().string(),
                                 std::regex(R"(vyx-cfg-odzyskane-\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.log)")))
        << logs[0];
    EXPECT_EQ(FileText(logs[0]), "wynik \xB3\r\ndrugi\r\n");
    EXPECT_FALSE(fs::exists(crashed));
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_TRUE(fs::exists(live->Path()));
    for (const char* kept : {"fifo.journal", "folder.journal", "other.log"})
        EXPECT_TRUE(fs::exists(folder / kept)) << kept;
    EXPECT_TRUE(ui::RecoverJournals(folder).empty());

    // The running window writes on; once it is gone without a clean close, its
    // journal is recovered too.
    live->Append(u"koniec");
    const fs::path held = live->Path();
    live.reset();
    logs = ui::RecoverJournals(folder);
    ASSERT_EQ(logs.size(), 1U);
    EXPECT_EQ(FileText(logs[0]), "okno nadal dzia\xB3" "a\r\nkoniec\r\n");
    EXPECT_FALSE(fs::exists(held));
}

TEST_F(JournalTest, RecoveredNamesCarryTheTimeOfTheLastChangeAndReplaceNothing) {
    const fs::path first = Stale(folder, {u"a"});
    const fs::path second = Stale(folder, {u"b"});
    std::tm tm{};
    tm.tm_year = 2026 - 1900, tm.tm_mon = 11, tm.tm_mday = 8, tm.tm_hour = 14, tm.tm_min = 30, tm.tm_sec = 5;
    tm.tm_isdst = -1;
    const timespec changed[2] = {{std::mktime(&tm), 0}, {std::mktime(&tm), 0}};
    for (const fs::path& journal : {first, second}) ASSERT_EQ(::utimensat(AT_FDCWD, journal.c_str(), changed, 0), 0);
    const std::string name = "vyx-cfg-odzyskane-2026-12-08_14-30-05";
    std::ofstream(folder / (name + ".log")) << "stary";

    const std::vector<fs::path> logs = ui::RecoverJournals(folder);
    EXPECT_EQ(logs, (std::vector{folder / (name + " (2).log"), folder / (name + " (3).log")}));
    std::set<std::string> texts;
    for (const fs::path& log : logs) texts.insert(FileText(log));
    EXPECT_EQ(texts, (std::set<std::string>{"a\r\n", "b\r\n"}));
    EXPECT_EQ(FileText(folder / (name + ".log")), "stary");
}

TEST_F(JournalTest, BadPlacesAndFailedWritesAreSaidAndNeverThrownAtTheWindow) {
    fs::create_directories(folder);
    std::ofstream(folder / "plain") << "";
    // Below a plain file nothing can be made, also for root.
    for (const fs::path& bad : {folder / "missing", folder / "plain", folder / "plain" / "sub"})
        EXPECT_TRUE(ui::RecoverJournals(bad).empty()) << bad;
    EXPECT_EQ(test::ErrorOf([&] { ui::TJournal journal(folder / "plain" / "sub"); }),
              "Cannot create folder \"" + (folder / "plain" / "sub").string() + "\". Not a directory");

    // A write that fails has its torn line cut off, and each line tries again.
    ui::TJournal journal(folder);
    journal.Append(u"przed");
    bool written = true;
    WithFileSizeLimit(16, [&] { written = journal.Append(u"wiersz ponad limit pliku"); });
    EXPECT_FALSE(written);
    EXPECT_EQ(journal.FailureText(), "Cannot write file \"" + journal.Path().string() + "\". File too large");
    EXPECT_EQ(journal.Failure()->Polish(), "Nie można zapisać pliku \"" + journal.Path().string() + "\": plik za duży");
    EXPECT_EQ(FileText(journal.Path()), "przed\r\n");
    EXPECT_TRUE(journal.Append(u"dalej"));
    EXPECT_TRUE(journal.Sync());
    EXPECT_FALSE(journal.Failed());
    EXPECT_EQ(FileText(journal.Path()), "przed\r\ndalej\r\n");
}

// A journal that cannot be made or written keeps its lines waiting, in order,
// and writes them once the folder takes them; the change is said once each way.
TEST_F(JournalTest, TheKeeperHoldsLinesUntilTheFolderTakesThem) {
    fs::create_directories(folder);
    std::ofstream(folder / "state") << "";  // a plain file where the folder should be
    ui::TJournalKeeper keeper(folder / "state");
    ASSERT_TRUE(keeper.Fault().has_value());
    EXPECT_EQ(keeper.Journal(), nullptr);
    EXPECT_EQ(keeper.Append(u"a"), ui::TJournalChange::Stopped);
    EXPECT_EQ(keeper.Append(u"b"), ui::TJournalChange::None);
    EXPECT_EQ(keeper.Tick(), ui::TJournalChange::None);
    fs::remove(folder / "state");
    EXPECT_EQ(keeper.Tick(), ui::TJournalChange::Resumed);
    ASSERT_NE(keeper.Journal(), nullptr);
    EXPECT_FALSE(keeper.Fault().has_value());

    ui::TJournalChange full{}, waits{}, stillFull{};
    WithFileSizeLimit(8, [&] {
        full = keeper.Append(u"c ponad limit");
        waits = keeper.Append(u"d");
        stillFull = keeper.Tick();
    });
    EXPECT_EQ(full, ui::TJournalChange::Stopped);
    EXPECT_EQ(waits, ui::TJournalChange::None);
    EXPECT_EQ(stillFull, ui::TJournalChange::None);
    EXPECT_EQ(keeper.Waiting(), 2u);
    EXPECT_EQ(FileText(keeper.Journal()->Path()), "a\r\nb\r\n");
    EXPECT_EQ(keeper.Tick(), ui::TJournalChange::Resumed);
    EXPECT_EQ(FileText(keeper.Journal()->Path()), "a\r\nb\r\nc ponad limit\r\nd\r\n");
}

// A journal whose machine stopped in the middle of a line is recovered without it.
TEST_F(JournalTest, ATornLastLineIsNotRecovered) {
    const fs::path torn = Stale(folder, {u"12:00:01 R0 = 250,00"});
    std::ofstream(torn, std::ios::app | std::ios::binary) << "12:00:02 R0 = 2";
    const fs::path none = Stale(folder, {});
    std::ofstream(none, std::ios::app | std::ios::binary) << "00";
    const std::vector<fs::path> logs = ui::RecoverJournals(folder);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(FileText(logs[0]), "12:00:01 R0 = 250,00\r\n");
    EXPECT_FALSE(fs::exists(none));
}

TEST(StateFolder, FollowsTheEnvironment) {
    struct Row {
        const char* state;
        const char* home;
        fs::path folder;
    };
    const Row rows[] = {
        {"/s", "/h", "/s/vyx-cfg"},
        {"", "/h", "/h/.local/state/vyx-cfg"},
        {nullptr, "/h", "/h/.local/state/vyx-cfg"},
        {nullptr, nullptr, "/tmp/vyx-cfg-" + std::to_string(::getuid())},
    };
    TEnvVar state("XDG_STATE_HOME"), home("HOME");
    for (const Row& row : rows) {
        state.Set(row.state);
        home.Set(row.home);
        EXPECT_EQ(ui::StateFolder(), row.folder);
        EXPECT_EQ(ui::StateLogPath("/opt/vyx/vyx-cfg.exe"), row.folder / "vyx-cfg.log");
    }
}

}  // namespace

namespace {

TEST(InstalledUnderUsr, TheProgramsFolderIsAUsrBinOrBelowUsr) {
    for (const char* program : {"/usr/bin/vyx-cfg", "/usr/local/bin/vyx-cfg", "/usr/lib/vyx/../bin/vyx-cfg",
                                "/tmp/root/usr/bin/vyx-cfg"})
        EXPECT_TRUE(ui::InstalledUnderUsr(program)) << program;
    for (const char* program : {"/usr/vyx-cfg", "/usrx/bin/vyx-cfg", "/opt/vyx/vyx-cfg", "/home/u/bin/vyx-cfg",
                                "/opt/usr/sbin/vyx-cfg", "/usr/bin/../../opt/vyx-cfg", "usr/bin/vyx-cfg"})
        EXPECT_FALSE(ui::InstalledUnderUsr(program)) << program;
}

TEST_F(JournalTest, AnInstalledProgramsLogGoesStraightToTheStateFolder) {
    // Root could write into /usr/bin: the log must not even be tried there.
    const std::string name = "vyx-cfg-logtest-" + std::to_string(getpid());
    const fs::path program = fs::path("/usr/bin") / name;
    TEnvVar state("XDG_STATE_HOME");
    state.Set((folder / "state").c_str());
    const ui::TLogSave saved = ui::SaveLog(program, "wynik\r\n");
    EXPECT_TRUE(saved.Saved);
    EXPECT_EQ(saved.Message, "");  // no box at every close
    EXPECT_EQ(saved.Where, folder / "state" / "vyx-cfg" / (name + ".log"));
    EXPECT_EQ(FileText(saved.Where), "wynik\r\n");
    EXPECT_FALSE(fs::exists(fs::path("/usr/bin") / (name + ".log")));

    // A state folder below a plain file: the failure is said, nothing is written.
    fs::create_directories(folder);
    std::ofstream(folder / "plain") << "";
    state.Set((folder / "plain").c_str());
    const ui::TLogSave failed = ui::SaveLog(program, "wynik\r\n");
    EXPECT_FALSE(failed.Saved);
    EXPECT_NE(failed.Message.find((folder / "plain" / "vyx-cfg" / (name + ".log")).string()), std::string::npos);
    EXPECT_NE(failed.Message.find("Log nie został zapisany"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path("/usr/bin") / (name + ".log")));
}

TEST_F(JournalTest, EachSessionsLogIsKeptUnderTheTimeItWasWritten) {
    // Names and the line are in local time: UTC here, the zone put back after.
    struct TUtc {
        std::optional<TEnvVar> tz{"TZ"};
        TUtc() { tz->Set("UTC"), tzset(); }
        ~TUtc() { tz.reset(), tzset(); }
    } utc;
    fs::create_directories(folder);
    const fs::path program = folder / "vyx-cfg";
    const std::time_t written = 1796776265;  // 2026-12-09 00:31:05
    const auto stamp = fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(written));
    for (const char* session : {"pierwsza\r\n", "druga\r\n", "trzecia\r\n"}) {
        ASSERT_TRUE(ui::SaveLog(program, session).Saved) << session;
        fs::last_write_time(folder / "vyx-cfg.log", stamp);
    }
    // The same session saving again (a logout then cancelled) replaces its own log.
    ASSERT_TRUE(ui::SaveLog(program, "trzecia, dłuższa\r\n", false).Saved);
    EXPECT_EQ(FileText(folder / "vyx-cfg.log"), "trzecia, dłuższa\r\n");
    EXPECT_EQ(FileText(folder / "vyx-cfg-2026-12-09_00-31-05.log"), "pierwsza\r\n");
    EXPECT_EQ(FileText(folder / "vyx-cfg-2026-12-09_00-31-05 (2).log"), "druga\r\n");
    EXPECT_EQ(ToUtf8(ui::SessionLine(written)), "--- 2026-12-09 00:31:05 ---");
}

}  // namespace
