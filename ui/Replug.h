// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An adapter pulled out and plugged back in (a loose cable on site). The window
// tells this which port it has opened with which line settings, and when it
// closed it. This watches the system's ports (on Linux the /dev, by-id and
// simulator folders, on Windows the device notifications, and a look every
// second either way), and:
// - says at once when the open port's adapter has gone (Gone), and holds the
//   periodic activities that were running (monitoring; a recording follows its
//   readings);
// - when the same adapter is back within the time the technician set, has the
//   port reopened with the same settings (Reopen), says how long it was away
//   (Back) and resumes what it held. An adapter with a serial number is the
//   same one under another name too (Windows may give it COM9 for COM7): the
//   port reopens under the name it has now;
// - past that time, or once the technician closes the port or chooses another,
//   ends what it held (GaveUp first).
// Nothing else waits for an adapter: a walk or a calibration ends when its port
// goes, since its results would mix two connections.
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <vector>

#include "port/LineSettings.h"
#include "port/PortList.h"
#include "ui/Settings.h"

class QFileSystemWatcher;
class QTimer;

namespace vyx::ui {

class TReplug : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::system_clock;

    // Something periodic that may outlive an adapter's absence. Running is asked
    // when the adapter goes: Pause then holds it; once the port is back, Resume
    // starts it again if it still runs (the technician may have stopped it
    // meanwhile); GiveUp ends it when the adapter stays away.
    struct TResumable {
        std::function<bool()> Running;
        std::function<void()> Pause, Resume, GiveUp;
    };

    explicit TReplug(QObject* parent = nullptr);
    ~TReplug() override;

    void AddResumable(TResumable resumable) { resumables_.push_back(std::move(resumable)); }

    // How long an adapter may stay away, in seconds (0 to kReplugWaitMaxS); 0
    // waits for none: the port is closed for good at once.
    void SetWaitS(int seconds) { waitS_ = seconds; }
    int WaitS() const { return waitS_; }

    // The window's port opened (after a Reopen too) or failed to; it closed it
    // or chose another (which also ends an absence and what it held).
    void Opened(const QString& name, const TLineSettings& line);
    void OpenFailed();
    void Closed();
    // The port closed itself under an exchange (the system says the device is
    // gone): the adapter has gone, whatever the folders say yet.
    void PortLost();
    // Looks at the open or awaited port now (what the watchers and the timer call).
    void Check();

    // The adapter of the port is away and awaited.
    bool Away() const { return state_ == TState::Away; }
    const QString& Name() const { return name_; }

    // Reopens `name` with `line` on the bus; its outcome comes back through
    // Opened or OpenFailed.
    std::function<void(const QString& name, const TLineSettings& line)> Reopen;
    // The system's ports with what is known of their adapters, where a moved
    // adapter is looked for (a test gives its own).
    std::function<std::vector<TPortEntry>()> Entries = [] { return ListPortEntries(); };

signals:
    void Gone(const QString& name);
    // The awaited adapter is open again under another name (before Back; Name()
    // is still the name it had).
    void Moved(const QString& name);
    // The port is open again; `resuming`: something held resumes now (after this).
    void Back(const QString& name, Clock::time_point from, Clock::time_point to, bool resuming);
    void GaveUp(const QString& name);
    // A port may have come or gone: a list shown now can be made anew.
    void PortsChanged();

private:
    enum class TState { Closed, Open, Away };
    // A watcher saw a change.
    void Changed();
    void Lost();
    void EndAbsence();
    void Watch();
    // The name under which the awaited adapter is plugged in now; empty while away.
    QString Whereabouts();

    TState state_ = TState::Closed;
    QString name_;
    TPortEntry adapter_;  // the open port's entry in the list
    QString reopenName_;  // what a reopening under way opens
    TLineSettings line_;
    int waitS_ = kReplugWaitDefaultS;
    bool reopening_ = false;
    Clock::time_point since_{};
    std::vector<TResumable> resumables_;
    std::vector<size_t> held_;  // indexes into resumables_
    QTimer* look_;
    QFileSystemWatcher* watcher_ = nullptr;
    struct TDeviceEvents;
    TDeviceEvents* events_ = nullptr;  // Windows only
};

}  // namespace vyx::ui
