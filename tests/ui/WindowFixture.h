// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh window for each test, its program path in the test's own folder, its
// boxes answered by the test, and simulators at hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeView>
#include <QElapsedTimer>
#include <QTest>
#include <filesystem>
#include <memory>

#include "registers/RegisterFile.h"
#include "tests/support/Process.h"
#include "tests/support/Simulator.h"
#include "ui/Boxes.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vyx::test {
namespace fs = std::filesystem;

// The last entry, or an empty text when there is none (a failed read adds no line).
inline QString Last(const QStringList& list) { return list.isEmpty() ? QString() : list.back(); }

class TRecordingBoxes : public ui::TBoxes {
public:
    void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
    void ShowError(QWidget*, const QString& text) override { Errors << ui::ErrorBoxText(text); }
    QString AskSaveFileName(QWidget*, const QString& folder) override {
        AskedIn = folder;
        return SaveAs;
    }
    QStringList Messages, Errors;
    QString SaveAs, AskedIn;
};

inline const std::string kSampleDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

class WindowTest : public SimulatorTest {
protected:
    WindowTest() : SimulatorTest(VYX_BINARY, "ui") {
        fs::create_directories(folder / "bin");
        setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);  // no settings of an earlier run
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);      // no device files of the user's
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
        form->Run([&] { form->ComCBoxSelect(); });
        if (!sims.empty() && form->Port.IsOpened()) form->Port.SetTimeouts(30, 0, 1000, 0, 30);
    }

    // Copies a device file into the program's folder and chooses it.
    void ChooseDevice(const std::string& source, const std::string& name = "VXT-20F.dat") {
        fs::copy_file(source, folder / "bin" / name, fs::copy_options::overwrite_existing);
        form->cbxDevice->setEditText(QString::fromStdString(name));
        form->Run([&] { form->cbxDeviceSelect(); });
    }

    // Makes the named register current, as a click on it does.
    TNode* Click(std::u16string_view name) {
        TNode* node = form->Tree.FindRegisterByName(name);
        EXPECT_NE(node, nullptr);
        form->VT->setCurrentIndex(form->Model->IndexOf(node));
        form->Run([&] { form->VTClick(); });
        return node;
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
