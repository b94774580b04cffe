// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window remembers between sessions: the connection, the device file,
// the units on each port's line, the monitoring period, the calibration count
// and where the window was. Kept in
// an INI file in the user's configuration folder, written at a clean close and
// read at start. A missing, unreadable or damaged file gives the defaults, and so
// does each value that is out of range: nothing read here ever stops the start.
#include <QMap>
#include <QRect>
#include <QStringList>
#include <QString>

#include "port/LineSettings.h"

namespace vyx::ui {

// A signal of the plot window: a register of a unit on the port's line, its
// record's texts as the device file gave them, where and whether it is drawn,
// and its tolerance (empty: the window's).
struct TTrendSignal {
    int Slave = 1;  // 1 to 247
    QString File;   // a name of the device list
    QString Name, Note, Address, DataType, Length;
    bool Right = false;   // on the right value axis
    bool Hidden = false;
    QString Tolerance;
    bool operator==(const TTrendSignal&) const = default;
};
// The signals of each port, by the path that opens it.
using TTrendSignals = QMap<QString, QList<TTrendSignal>>;

// What the plot window remembers.
struct TTrendSettings {
    bool Open = false;
    QRect Geometry;  // null: beside the main window
    QString N = QStringLiteral("20");
    QString Tolerance;  // empty: none
    int SpanS = 60;
    bool ClockTime = false;
    QString Period = QStringLiteral("1000");  // of the set's rounds
    TTrendSignals Signals;
    bool operator==(const TTrendSettings&) const = default;
};

// What the service report dialog remembers: the service company, the
// technician, the folder reports go under, each unit's site by its serial
// number and the identity registers chosen for each device file. Notes belong
// to one visit and are never remembered.
struct TReportSettings {
    QString Company, Technician, Folder;
    QMap<QString, QString> Sites;         // serial number -> site
    QMap<QString, QStringList> Identity;  // device file name -> register names
    bool operator==(const TReportSettings&) const = default;
};

// A unit on a port's line, found by a scan or added by hand. Empty texts are
// not known.
struct TLineUnit {
    int Slave = 0;     // 1 to 247
    QString Mode;      // "19200,e,8,1"; empty on a network port
    QString Type, Serial;
    QString File;      // a name of the device list
    bool operator==(const TLineUnit&) const = default;
};
// The units of each port, by the path that opens it (PortPathOf).
using TLineUnits = QMap<QString, QList<TLineUnit>>;

// An adapter the system named anew (COM9 for COM7) takes its port's list along:
// `from`'s list becomes `to`'s, unless `to` has one of its own.
template <class T>
void MovePortList(QMap<QString, QList<T>>& all, const QString& from, const QString& to) {
    if (from == to || from.isEmpty() || to.isEmpty() || !all.value(to).isEmpty() || !all.contains(from)) return;
    all[to] = all.take(from);
}

// How long the window waits for an unplugged adapter to come back, in seconds.
inline constexpr int kReplugWaitDefaultS = 60;
inline constexpr int kReplugWaitMaxS = 3600;

struct TWindowSettings {
    QString Port;                  // the port field's text; empty: none
    QString PortAdapter;           // the adapter behind it (port/PortList.h's AdapterKey); empty: none known
    QString Baud = QStringLiteral("19200");
    int Parity = 0;                // entry of the parity list (0: even parity)
    QString Slave = QStringLiteral("247");
    int ReplyWaitMs = kReplyWaitDefaultMs;
    int GapMs = 0;                 // the line's quiet time before a request, 0 to kMaxGapMs
    bool Echo = false;             // the adapter echoes each request
    int ReplugWaitS = kReplugWaitDefaultS;  // 0 (none) to kReplugWaitMaxS
    QString DeviceFile;            // a name of the device list; empty: none
    QString Period = QStringLiteral("2000");
    QString Count = QStringLiteral("16");
    QRect Geometry;                // the window without its frame; null: none remembered
    bool Maximized = false;
    TTrendSettings Trend;
    TReportSettings Report;
    TLineUnits Units;

    bool operator==(const TWindowSettings&) const = default;
};

// `vyx-cfg/vyx-cfg.ini` in the user's configuration folder: $XDG_CONFIG_HOME,
// else ~/.config; on Windows the roaming application data (%APPDATA%).
QString SettingsFilePath();

// The settings the file holds, each checked; the defaults where it holds none.
TWindowSettings ReadSettings(const QString& path);
// Writes the whole file anew; false when it could not be written.
bool WriteSettings(const TWindowSettings& settings, const QString& path);

}  // namespace vyx::ui
