// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Replug.h"

#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QTimer>
#include <filesystem>

#include "port/PortList.h"
#include "port/Presence.h"

#ifdef _WIN32
#include <windows.h>

#include <QAbstractNativeEventFilter>
#endif

namespace vyx::ui {
namespace {
constexpr int kLookMs = 1000;
#ifdef _WIN32
constexpr Qt::CaseSensitivity kPortNameCase = Qt::CaseInsensitive;  // "com7" is COM7
#else
constexpr Qt::CaseSensitivity kPortNameCase = Qt::CaseSensitive;
#endif
}  // namespace

#ifdef _WIN32
// Windows tells every top-level window of a port's arrival and removal
// (WM_DEVICECHANGE); the look comes after the message has been handled.
struct TReplug::TDeviceEvents : QAbstractNativeEventFilter {
    explicit TDeviceEvents(TReplug* owner) : owner(owner) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type == "windows_generic_MSG" && static_cast<const MSG*>(message)->message == WM_DEVICECHANGE)
            QMetaObject::invokeMethod(owner, [o = owner] { o->Changed(); }, Qt::QueuedConnection);
        return false;
    }
    TReplug* owner;
};
#else
struct TReplug::TDeviceEvents {};
#endif

TReplug::TReplug(QObject* parent) : QObject(parent), look_(new QTimer(this)) {
    look_->setInterval(kLookMs);
    connect(look_, &QTimer::timeout, this, &TReplug::Check);
#ifdef _WIN32
    events_ = new TDeviceEvents(this);
    QCoreApplication::instance()->installNativeEventFilter(events_);
#else
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TReplug::Changed);
    Watch();
#endif
}

TReplug::~TReplug() {
#ifdef _WIN32
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(events_);
#endif
    delete events_;
}

void TReplug::Watch() {
#ifndef _WIN32
    if (!watcher_) return;
    // The by-id folder and the simulators' come and go with their last entry.
    const QStringList watched = watcher_->directories();
    for (const std::string& folder : {std::string("/dev"), std::string("/dev/serial/by-id"), SimulatorFolder()}) {
        const QString path = QString::fromStdString(folder);
        std::error_code ec;
        if (!watched.contains(path) && std::filesystem::is_directory(folder, ec)) watcher_->addPath(path);
    }
#endif
}

void TReplug::Opened(const QString& name, const TLineSettings& line) {
    // A network port or a bare terminal has no adapter to come back: its loss is
    // final. Nor is a port watched that no list names although it just opened (a
    // port wine maps to a Linux device, a driver that registers no device): its
    // absence could not be told from its presence.
    if (!MayComeBack(name.toStdString()) || !AdapterPresent(name.toStdString())) {
        Closed();
        return;
    }
    const bool back = state_ == TState::Away && reopening_ && name == reopenName_;
    if (!back) {
        EndAbsence();
        adapter_ = {.Path = name.toStdString()};
        for (TPortEntry& entry : Entries())
            if (QString::fromStdString(entry.Path).compare(name, kPortNameCase) == 0) adapter_ = std::move(entry);
    }
    if (back && name != name_) emit Moved(name);
    adapter_.Path = name.toStdString();
    reopening_ = false;
    state_ = TState::Open;
    name_ = name;
    line_ = line;
    look_->start();
    if (!back) return;
    bool resuming = false;
    for (const size_t i : held_) resuming = resuming || resumables_[i].Running();
    emit Back(name_, since_, Clock::now(), resuming);
    for (const size_t i : std::exchange(held_, {}))
        if (resumables_[i].Running()) resumables_[i].Resume();
}

void TReplug::OpenFailed() {
    // Not ready yet (a device node before its permissions): the next look tries again.
    if (state_ == TState::Away) reopening_ = false;
}

void TReplug::Closed() {
    EndAbsence();
    state_ = TState::Closed;
    reopening_ = false;
    look_->stop();
}

void TReplug::PortLost() { Lost(); }

void TReplug::Changed() {
    Watch();
    emit PortsChanged();
    Check();
}

void TReplug::Check() {
    if (state_ == TState::Open && !AdapterPresent(name_.toStdString())) Lost();
    // A reopening under way has the last word (an open ends within seconds).
    if (state_ != TState::Away || reopening_) return;
    if (Clock::now() - since_ >= std::chrono::seconds(waitS_)) {
        Closed();
        return;
    }
    reopenName_ = Whereabouts();
    if (!reopenName_.isEmpty()) {
        reopening_ = true;
        if (Reopen) Reopen(reopenName_, line_);
    }
}

QString TReplug::Whereabouts() {
    if (AdapterPresent(name_.toStdString())) return name_;
    // An adapter without a serial number is the same one under its own name only.
    for (const TPortEntry& entry : Entries())
        if (SameAdapter(adapter_, entry) && AdapterPresent(entry.Path)) return QString::fromStdString(entry.Path);
    return {};
}

void TReplug::Lost() {
    if (state_ != TState::Open) return;
    state_ = waitS_ > 0 ? TState::Away : TState::Closed;
    since_ = Clock::now();
    if (state_ == TState::Away)
        for (size_t i = 0; i < resumables_.size(); ++i)
            if (resumables_[i].Running()) {
                resumables_[i].Pause();
                held_.push_back(i);
            }
    emit Gone(name_);
    if (state_ == TState::Closed) look_->stop();
}

void TReplug::EndAbsence() {
    if (state_ != TState::Away) return;
    state_ = TState::Closed;
    emit GaveUp(name_);
    for (const size_t i : std::exchange(held_, {}))
        if (resumables_[i].Running()) resumables_[i].GiveUp();
}

}  // namespace vyx::ui
