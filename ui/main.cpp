// SPDX-License-Identifier: GPL-3.0-or-later
// vyx-cfg: the service technician's window.
#include <QApplication>
#include <QFileInfo>

#include "base/Text.h"
#include "ui/Boxes.h"
#include "ui/MainWindow.h"
#include "ui/Translations.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the window as the user would, so the log is
// written: a box open at the time is closed first, as "Nie" or Escape would.
void CloseOnSignals(vyx::ui::TForm1& form, vyx::ui::TDialogBoxes& boxes) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form, &boxes] {
        char byte;
        (void)!::read(signalPipe[0], &byte, 1);
        boxes.DismissAll();
        form.close();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
}

}  // namespace
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vyx-cfg"));
    QApplication::setApplicationDisplayName(QStringLiteral("vyx-cfg"));
    // Without the file Qt's own texts stay English; the window works the same.
    vyx::ui::InstallQtTranslations();
    vyx::ui::LoadBundledFonts();

    vyx::ui::TDialogBoxes boxes;
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    // --reset-settings: start with the defaults; a clean close then remembers anew.
    vyx::ui::TFormOptions options;
    options.DefaultSettings = QCoreApplication::arguments().contains(QStringLiteral("--reset-settings"));
    vyx::ui::TForm1 form(boxes, vyx::PathFromUtf8(program.toStdString()), options);

#ifndef _WIN32
    CloseOnSignals(form, boxes);
#endif
    // A session that ends (log-off, shutdown) keeps the log as a close would.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form] { form.SessionEnds(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.SessionQuits(); });

    form.show();
    form.activateWindow();
    return QApplication::exec();
}
