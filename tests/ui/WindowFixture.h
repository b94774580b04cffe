// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh window for each test, its program path in the test's own folder, its
// boxes answered by the test, and simulators at hand. On Windows the folder
// alone: the simulator is a POSIX program, so a test that needs one begins with
// NEEDS_SIMULATOR() and is skipped there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeView>
#include <QElapsedTimer>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#ifdef _WIN32
#include <QSettings>
#include <string>
#include <vector>
#else
#include "tests/support/Simulator.h"
#endif

#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "tests/support/Env.h"
#include "ui/Boxes.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vyx::test {
namespace fs = std::filesystem;

// The last entry, or an empty text when there is none (a failed read adds no line).
inline QString Last(const QStringList& list) { return list.isEmpty() ? QString() : list.back(); }

// A session's first result line comes after its date line: "--- 2026-12-09 00:31:05 ---".
inline bool IsDateLine(const QString& line) {
    static const QRegularExpression date(QStringLiteral("^--- \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ---$"));
    return date.match(line).hasMatch();
}
// The lines after the date line; a list without one comes back as it is, and the test that compares it fails.
inline QStringList Undated(QStringList lines) {
    if (!lines.isEmpty() && IsDateLine(lines.front())) lines.removeFirst();
    return lines;
}
// The same for a log's or a journal's bytes (CR LF after each line).
inline std::string Undated(const std::string& bytes) {
    const size_t end = bytes.find("\r\n");
    if (end == std::string::npos || !IsDateLine(QString::fromStdString(bytes.substr(0, end)))) return bytes;
    return bytes.substr(end + 2);
}

class TRecordingBoxes : public ui::TBoxes {
public:
    void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
    void ShowError(QWidget*, const QString& text) override { Errors << ui::ErrorBoxText(text); }
    QString AskSaveFileName(QWidget*, const QString& folder) override {
        AskedIn = folder;
        return SaveAs;
    }
    QString AskFolder(QWidget*, const QString& folder) override {
        AskedIn = folder;
        return Folder;
    }
    bool Ask(QWidget*, const QString& text) override {
        Questions << text;
        if (WhileAsked) WhileAsked();  // what happens while the box is open
        return Answer;
    }
    // The print dialog answered as PrintTo says: the pages go into that PDF file; empty: cancelled.
    bool AskPrinter(QWidget*, QPrinter& printer) override {
        if (PrintTo.isEmpty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(PrintTo);
        return true;
    }
    std::function<void()> WhileAsked;
    QStringList Messages, Errors, Questions;
    QString SaveAs, AskedIn, Folder, PrintTo;
    bool Answer = true;
};

#ifdef _WIN32
#define NEEDS_SIMULATOR() GTEST_SKIP() << "the simulator is a POSIX program"

class SimulatorTest : public ::testing::Test {
protected:
    SimulatorTest(const std::string&, const std::string& name)
        : folder(fs::temp_directory_path() / ("vyx-" + name + "-test-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~SimulatorTest() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string StartSim(const std::string& = {}, const std::vector<std::string>& = {}) {
        ADD_FAILURE() << "a test that starts a simulator begins with NEEDS_SIMULATOR()";
        return {};
    }
    fs::path folder;
    std::vector<int> sims;  // never any
};
#else
#define NEEDS_SIMULATOR() static_cast<void>(0)
#endif

inline const std::string kSampleDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

class WindowTest : public SimulatorTest {
protected:
    WindowTest() : SimulatorTest(VYX_BINARY, "ui") {
        fs::create_directories(folder / "bin");
        // The state folder is FOLDER/state/vyx-cfg, and there are no settings of an earlier run.
        SetStateHome(folder / "state");
#ifdef _WIN32
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdWString((folder / "config").wstring()));
#else
        SetEnv("XDG_CONFIG_HOME", (folder / "config").string());
        SetEnv("XDG_DATA_HOME", (folder / "data").string());  // no device files of the user's
#endif
        form = std::make_unique<ui::TForm1>(boxes, folder / "bin" / "vyx-cfg");
    }
    ~WindowTest() override { form.reset(); }  // before its simulators stop

    // Starts `vyx sim` on a device file; its terminal's path.
    std::string StartSim(const std::string& device = kSampleDevice, std::vector<std::string> options = {}) {
        return SimulatorTest::StartSim(device, options);
    }

    // Chooses a port as the user would. A simulator is another process, which a
    // busy machine may run late: on its port a long first-byte wait keeps that
    // from turning a reply into a time-out, and costs nothing when the reply comes.
    void ChoosePort(const QString& name) {
        form->ComCBox->setEditText(name);
        Act([&] { form->ComCBoxSelect(); });
        if (!sims.empty() && form->PortOpen()) SetTimeouts({30, 0, 1000, 0, 30});
    }

    // A handler run as the window runs it, then the window left to run until
    // the bus owes nothing: every exchange it started has been shown.
    void Act(const std::function<void()>& work) {
        form->Run(work);
        Settle();
    }
    void Settle() {
        QElapsedTimer t;
        t.start();
        while (!form->Settled()) {
            if (t.elapsed() > 60000) {
                ADD_FAILURE() << "the window did not settle within 60 s";
                return;
            }
            QTest::qWait(5);
        }
    }
    // The port's time-outs, read and set on the bus.
    TTimeouts Timeouts() const {
        TTimeouts out;
        form->Bus.Call([&](TPort& port, TWire&) { out = port.Timeouts(); });
        return out;
    }
    void SetTimeouts(const TTimeouts& t) {
        form->Bus.Call([&](TPort& port, TWire&) {
            port.SetTimeouts(static_cast<uint16_t>(t.ReadInterval), static_cast<uint16_t>(t.ReadTotalMultiplier),
                             static_cast<uint16_t>(t.ReadTotalConstant), static_cast<uint16_t>(t.WriteTotalMultiplier),
                             static_cast<uint16_t>(t.WriteTotalConstant));
        });
    }

    // Copies a device file into the program's folder and chooses it.
    void ChooseDevice(const fs::path& source, const std::string& name = "VXT-20F.dat") {
        // Removed first: on Windows "f100.dat" replaces "F100.dat", which the copy refuses.
        fs::remove(folder / "bin" / name);
        fs::copy_file(source, folder / "bin" / name);
        form->cbxDevice->setEditText(QString::fromStdString(name));
        Act([&] { form->cbxDeviceSelect(); });
    }

    // Makes the named register current, as a click on it does.
    TNode* Click(std::u16string_view name) {
        TNode* node = form->Tree.FindRegisterByName(name);
        EXPECT_NE(node, nullptr);
        form->VT->setCurrentIndex(form->Model->IndexOf(node));
        Act([&] { form->VTClick(); });
        return node;
    }

    // The state folder becomes HOME/vyx-cfg.
    static void SetStateHome(const fs::path& home) {
#ifdef _WIN32
        SetEnv("LOCALAPPDATA", PathToUtf8(home));
#else
        SetEnv("XDG_STATE_HOME", home.string());
#endif
    }

    // The window shown and active, so that focus and keys reach its controls.
    void ShowActive() {
        form->show();
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    static void Focus(QWidget* w) {
        w->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }

    // Lets the window run until `done` holds, for at most a minute: a busy
    // machine may serve readings and timers late.
    static bool WaitUntil(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 60000) QTest::qWait(10);
        return done();
    }

    // Lets the event loop run for a while.
    static void Spin(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    TRecordingBoxes boxes;
    std::unique_ptr<ui::TForm1> form;
};

}  // namespace vyx::test
