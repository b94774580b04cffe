// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the window answers while the bus waits, on the offscreen platform:
// another thread posts an event to the window every 20 ms, stamped, and the
// window's thread notes how late each one ran (what a window manager's ping
// sees). Two waits: one read of a silent line with a reply wait of 5000 ms,
// and a connect to a peer whose listen queue is full, so it never accepts
// (the reply wait plus 3 s). Counters: the worst and the mean delay, in ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "bench/Offscreen.h"
#include "ui/MainWindow.h"
#include "ui/RegisterModel.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TDelays {
    double Worst = 0, Sum = 0;
    int Count = 0;
};

// Runs the window's events for `ms` while a thread pings it; the delays seen.
TDelays PingFor(vyx::ui::TForm1& form, int ms) {
    TDelays delays;
    std::atomic<bool> done{false};
    std::thread pinger([&] {
        while (!done) {
            const auto sent = Clock::now();
            QMetaObject::invokeMethod(
                &form,
                [&delays, sent] {
                    const double late = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                    delays.Worst = std::max(delays.Worst, late);
                    delays.Sum += late;
                    ++delays.Count;
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) QApplication::processEvents(QEventLoop::AllEvents, 5), std::this_thread::sleep_for(std::chrono::milliseconds(1));
    done = true;
    pinger.join();
    QApplication::processEvents();
    return delays;
}

void Report(benchmark::State& state, const TDelays& d) {
    state.counters["worst_ms"] = d.Worst;
    state.counters["mean_ms"] = d.Count ? d.Sum / d.Count : 0;
    state.counters["pings"] = d.Count;
}

fs::path Folder() {
    const fs::path f = fs::temp_directory_path() / "vyx-responsive-bench";
    fs::create_directories(f);
    fs::copy_file(VYX_DEVICES_DIR "/VXT-20F.dat", f / "VXT-20F.dat", fs::copy_options::overwrite_existing);
    return f;
}

void BM_SilentLineRead(benchmark::State& state) {
    // A pseudo-terminal nobody answers on.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master), unlockpt(master);
    vyx::bench::TQuietBoxes boxes;
    vyx::ui::TForm1 form(boxes, Folder() / "vyx-cfg", {.DefaultSettings = true});
    form.show();
    form.eWait->setText(QStringLiteral("5000"));
    form.Run([&] { form.eWaitExit(); });
    form.ComCBox->setEditText(QString::fromLatin1(ptsname(master)));
    form.Run([&] { form.ComCBoxSelect(); });
    form.cbxDevice->setEditText(QStringLiteral("VXT-20F.dat"));
    form.Run([&] { form.cbxDeviceSelect(); });
    PingFor(form, 300);  // the port opens
    vyx::TNode* r0 = form.Tree.FindRegisterByName(u"R0");
    form.VT->setCurrentIndex(form.Model->IndexOf(r0));
    for (auto _ : state) {
        form.Run([&] {
            form.VTClick();
            form.VTColumnDblClick(vyx::ui::kColName);
        });
        Report(state, PingFor(form, 5500));
        // The figures count only if the read went out and waited its whole time.
        if (form.stReason->text() != QStringLiteral("brak odpowiedzi urządzenia"))
            state.SkipWithError("the read did not wait for a reply");
    }
    close(master);
}
BENCHMARK(BM_SilentLineRead)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ConnectNeverAccepted(benchmark::State& state) {
    // A listener that never accepts, its queue filled: a further connect hangs.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    vyx::bench::TQuietBoxes boxes;
    vyx::ui::TForm1 form(boxes, Folder() / "vyx-cfg", {.DefaultSettings = true});
    form.show();
    form.eWait->setText(QStringLiteral("5000"));
    form.Run([&] { form.eWaitExit(); });
    for (auto _ : state) {
        form.ComCBox->setEditText(QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(a.sin_port)));
        form.Run([&] { form.ComCBoxSelect(); });
        Report(state, PingFor(form, 8500));
        if (!form.stBar->text().startsWith(QStringLiteral("brak połączenia z")))
            state.SkipWithError("the connect did not wait for the peer");
    }
    for (const int s : fillers) close(s);
    close(listener);
}
BENCHMARK(BM_ConnectNeverAccepted)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return vyx::bench::RunOffscreen(argc, argv); }
