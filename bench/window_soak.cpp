// SPDX-License-Identifier: GPL-3.0-or-later
// The window monitoring one register for a long time, on the offscreen platform:
// every minute a line of elapsed time, resident memory, CPU time and the lines
// of both panes, so the growth per hour can be read off. Run by bench/window-soak.
//   window_soak PORT PROGRAM_DIR PERIOD_MS SECONDS
//   window_soak PORT PROGRAM_DIR calibrate COUNT     (the CPU time of a calibration)
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <string>

#include "ui/Boxes.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"
#include "ui/TextPane.h"

namespace {

// Boxes on standard error: a soak has no one to click them away.
class TQuietBoxes : public vyx::ui::TBoxes {
public:
    void ShowMessage(QWidget*, const QString& text) override { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    QString AskSaveFileName(QWidget*, const QString&) override { return {}; }
    QString AskFolder(QWidget*, const QString&) override { return {}; }
    bool Ask(QWidget*, const QString&) override { return false; }
    bool AskPrinter(QWidget*, QPrinter&) override { return false; }
};

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: window_soak PORT PROGRAM_DIR PERIOD_MS SECONDS\n");
        return 1;
    }
    QApplication app(argc, argv);
    TQuietBoxes boxes;
    vyx::ui::TForm1 form(boxes, std::filesystem::path(argv[2]) / "vyx-cfg", {.DefaultSettings = true});
    form.show();

    form.ComCBox->setEditText(QString::fromLocal8Bit(argv[1]));
    form.Run([&] { form.ComCBoxSelect(); });
    form.cbxDevice->setEditText(QStringLiteral("VXT-20F.dat"));
    form.Run([&] { form.cbxDeviceSelect(); });
    vyx::TNode* r0 = form.Tree.FindRegisterByName(u"R0");
    if (!form.Port.IsOpened() || !r0) {
        std::fprintf(stderr, "window_soak: no port or no R0\n");
        return 1;
    }
    if (std::string(argv[3]) == "calibrate") {
        form.eCount->setText(QString::fromLatin1(argv[4]));
        form.cbxKalibracja->setCurrentIndex(0);
        QElapsedTimer wall;
        wall.start();
        const double cpu = CpuSeconds();
        form.Run([&] { form.Button1Click(); });
        const double used = CpuSeconds() - cpu;
        std::printf("calibration of %s readings (%s): %.1f s, CPU %.2f s (%.1f %% of a core)\n", argv[4],
                    qPrintable(form.Memo1->Lines().back()),
                    static_cast<double>(wall.elapsed()) / 1000, used, 100 * used / (static_cast<double>(wall.elapsed()) / 1000));
        return 0;
    }
    form.VT->setCurrentIndex(form.Model->IndexOf(r0));
    form.Run([&] { form.VTClick(); });
    form.ePeriod->setText(QString::fromLatin1(argv[3]));
    form.cbMonitor->setChecked(true);
    form.Run([&] { form.cbMonitorClick(); });

    const double cpuStart = CpuSeconds();
    const long rssStart = ResidentKb();
    int minutes = 0;
    std::printf("minute  rss_kB  cpu_s  result_lines  comm_lines\n");
    auto report = [&] {
        std::printf("%6d  %6ld  %5.1f  %12d  %10d\n", minutes, ResidentKb(), CpuSeconds() - cpuStart,
                    form.Memo1->blockCount(), form.Memo2->blockCount());
        std::fflush(stdout);
    };
    report();
    QTimer minute;
    QObject::connect(&minute, &QTimer::timeout, [&] {
        ++minutes;
        report();
    });
    minute.start(60000);
    QTimer::singleShot(std::stoi(argv[4]) * 1000, &app, [&] {
        form.cbMonitor->setChecked(false);
        form.Run([&] { form.cbMonitorClick(); });
        const long rssEnd = ResidentKb();
        std::printf("end: rss %ld kB -> %ld kB (%+ld kB), %d result lines, cpu %.1f s in %s s\n", rssStart, rssEnd,
                    rssEnd - rssStart, form.Memo1->blockCount(), CpuSeconds() - cpuStart, argv[4]);
        QApplication::quit();
    });
    return QApplication::exec();
}
