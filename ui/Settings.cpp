// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: reading with every value checked, writing it whole.
#include "ui/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <functional>

#include "modbus/Transaction.h"
#include "registers/RegData.h"

namespace vyx::ui {
namespace {

constexpr int kMaxText = 260;          // a port path or a file name
constexpr int kMaxPeriodMs = 86400000;  // a day
constexpr int kMaxCount = 100000;
constexpr int kMaxExtent = 100000;      // pixels, either way
constexpr int kMaxUnits = 2000;         // of every port together

// The whole number a text holds, when it lies in [low, high].
bool InRange(const QString& text, int low, int high, int* value = nullptr) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < low || n > high) return false;
    if (value) *value = n;
    return true;
}

bool PlainText(const QString& text) {
    if (text.size() > kMaxText) return false;
    for (QChar c : text)
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) return false;
    return true;
}

// A bare name of a device file, never a path out of the device folders.
bool DeviceName(const QString& name) {
    return PlainText(name) && !name.contains(u'/') && !name.contains(u'\\') &&
           name.endsWith(QStringLiteral(".dat"), Qt::CaseInsensitive);
}

// The entries of the file's array `name` by their port (at most kMaxUnits of
// every port together): each with a plain port and a slave address from 1 to
// 247; `read` takes the rest of an entry and says whether it holds. An entry
// that does not hold is passed over.
template <class T>
QMap<QString, QList<T>> ReadPortLists(QSettings& file, const QString& name, const std::function<bool(T&)>& read) {
    QMap<QString, QList<T>> all;
    const int size = std::min(file.beginReadArray(name), kMaxUnits);
    for (int i = 0; i < size; ++i) {
        file.setArrayIndex(i);
        T entry;
        const QString port = file.value(QStringLiteral("port")).toString();
        if (port.isEmpty() || !PlainText(port) ||
            !InRange(file.value(QStringLiteral("slave")).toString(), 1, 247, &entry.Slave) || !read(entry))
            continue;
        all[port] << entry;
    }
    file.endArray();
    return all;
}

// Writes every port's entries into the array `name`, each with its port and
// slave address; `write` adds the rest.
template <class T>
void WritePortLists(QSettings& file, const QString& name, const QMap<QString, QList<T>>& all,
                    const std::function<void(const T&)>& write) {
    file.beginWriteArray(name);
    int i = 0;
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        for (const T& entry : it.value()) {
            file.setArrayIndex(i++);
            file.setValue(QStringLiteral("port"), it.key());
            file.setValue(QStringLiteral("slave"), entry.Slave);
            write(entry);
        }
    file.endArray();
}

TLineUnits ReadUnits(QSettings& file) {
    static const QRegularExpression mode(QStringLiteral("^[1-9][0-9]{0,6},[eon],8,[12]$"));
    return ReadPortLists<TLineUnit>(file, QStringLiteral("lineUnits"), [&file](TLineUnit& unit) {
        // A mode written by hand without quotes comes as a list of its parts.
        const auto text = [&](const char* key) {
            const QVariant value = file.value(QLatin1String(key));
            return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
        };
        unit.Mode = text("mode");
        unit.Type = text("type");
        unit.Serial = text("serial");
        unit.File = text("file");
        return (unit.Mode.isEmpty() || mode.match(unit.Mode).hasMatch()) && PlainText(unit.Type) &&
               PlainText(unit.Serial) && (unit.File.isEmpty() || DeviceName(unit.File));
    });
}

void WriteUnits(QSettings& file, const TLineUnits& units) {
    WritePortLists<TLineUnit>(file, QStringLiteral("lineUnits"), units, [&file](const TLineUnit& unit) {
        file.setValue(QStringLiteral("mode"), unit.Mode);
        file.setValue(QStringLiteral("type"), unit.Type);
        file.setValue(QStringLiteral("serial"), unit.Serial);
        file.setValue(QStringLiteral("file"), unit.File);
    });
}

// The plot window's signals of every port.
TTrendSignals ReadSignals(QSettings& file) {
    return ReadPortLists<TTrendSignal>(file, QStringLiteral("trendSignals"), [&file](TTrendSignal& signal) {
        const auto text = [&](const char* key) { return file.value(QLatin1String(key)).toString(); };
        signal.File = text("file");
        signal.Name = text("name");
        signal.Note = text("note");
        signal.Address = text("address");
        signal.DataType = text("type");
        signal.Length = text("length");
        signal.Tolerance = text("tolerance");
        signal.Right = text("right") == QStringLiteral("true");
        signal.Hidden = text("hidden") == QStringLiteral("true");
        if (signal.Name.isEmpty() || !InRange(signal.Address, 0, 105536) || !InRange(signal.Length, 1, 125) ||
            GetTypeCode(signal.DataType.toStdU16String()) == kTypeNone || (!signal.File.isEmpty() && !DeviceName(signal.File)))
            return false;
        bool plain = true;
        for (const QString* t : {&signal.Name, &signal.Note, &signal.Tolerance}) plain = plain && PlainText(*t);
        return plain && signal.Tolerance.size() <= 20;
    });
}

void WriteSignals(QSettings& file, const TTrendSignals& all) {
    WritePortLists<TTrendSignal>(file, QStringLiteral("trendSignals"), all, [&file](const TTrendSignal& signal) {
        file.setValue(QStringLiteral("file"), signal.File);
        file.setValue(QStringLiteral("name"), signal.Name);
        file.setValue(QStringLiteral("note"), signal.Note);
        file.setValue(QStringLiteral("address"), signal.Address);
        file.setValue(QStringLiteral("type"), signal.DataType);
        file.setValue(QStringLiteral("length"), signal.Length);
        file.setValue(QStringLiteral("right"), signal.Right);
        file.setValue(QStringLiteral("hidden"), signal.Hidden);
        file.setValue(QStringLiteral("tolerance"), signal.Tolerance);
    });
}

// Each unit's site by its serial number. An array, as a serial number may hold
// any character, '/' too, which a key could not.
QMap<QString, QString> ReadSites(QSettings& file) {
    QMap<QString, QString> sites;
    const int size = std::min(file.beginReadArray(QStringLiteral("reportSites")), kMaxUnits);
    for (int i = 0; i < size; ++i) {
        file.setArrayIndex(i);
        const QString serial = file.value(QStringLiteral("serial")).toString();
        const QString site = file.value(QStringLiteral("site")).toString();
        if (!serial.isEmpty() && PlainText(serial) && PlainText(site)) sites[serial] = site;
    }
    file.endArray();
    return sites;
}

void WriteSites(QSettings& file, const QMap<QString, QString>& sites) {
    file.beginWriteArray(QStringLiteral("reportSites"));
    int i = 0;
    for (auto it = sites.cbegin(); it != sites.cend(); ++it) {
        file.setArrayIndex(i++);
        file.setValue(QStringLiteral("serial"), it.key());
        file.setValue(QStringLiteral("site"), it.value());
    }
    file.endArray();
}

}  // namespace

QString SettingsFilePath() {
#ifdef _WIN32
    // Where the toolkit keeps a user's INI settings.
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("vyx-cfg"), QStringLiteral("vyx-cfg"))
        .fileName();
#else
    // Asked each time: the folder follows XDG_CONFIG_HOME as it is now.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/vyx-cfg/vyx-cfg.ini");
#endif
}

TWindowSettings ReadSettings(const QString& path) {
    TWindowSettings s;
    if (!QFileInfo(path).isFile()) return s;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return s;
    const auto text = [&](const char* key) { return file.value(QLatin1String(key)).toString(); };

    if (const QString port = text("connection/port"); PlainText(port)) s.Port = port;
    if (const QString adapter = text("connection/adapter");
        adapter.size() <= 80 && PlainText(adapter) &&
        QRegularExpression(QStringLiteral("^[0-9a-f]{4}:[0-9a-f]{4}:")).match(adapter).hasMatch())
        s.PortAdapter = adapter;
    if (const QString baud = text("connection/speed");
        baud.size() <= 7 && QRegularExpression(QStringLiteral("^[1-9][0-9]*$")).match(baud).hasMatch())
        s.Baud = baud;
    InRange(text("connection/parity"), 0, 3, &s.Parity);
    if (const QString slave = text("connection/slave"); InRange(slave, 0, 255)) s.Slave = slave.trimmed();
    InRange(text("connection/replyWait"), kReplyWaitMinMs, kReplyWaitMaxMs, &s.ReplyWaitMs);
    InRange(text("connection/gap"), 0, kMaxGapMs, &s.GapMs);
    InRange(text("connection/replugWait"), 0, kReplugWaitMaxS, &s.ReplugWaitS);
    s.Echo = text("connection/echo") == QStringLiteral("true");
    if (const QString device = text("device/file"); DeviceName(device)) s.DeviceFile = device;
    if (const QString period = text("monitor/period"); InRange(period, 100, kMaxPeriodMs)) s.Period = period.trimmed();
    if (const QString count = text("calibration/count"); InRange(count, 1, kMaxCount)) s.Count = count.trimmed();

    int x = 0, y = 0, w = 0, h = 0;
    if (InRange(text("window/x"), -kMaxExtent, kMaxExtent, &x) && InRange(text("window/y"), -kMaxExtent, kMaxExtent, &y) &&
        InRange(text("window/width"), 1, kMaxExtent, &w) && InRange(text("window/height"), 1, kMaxExtent, &h))
        s.Geometry = QRect(x, y, w, h);
    s.Maximized = !s.Geometry.isNull() && text("window/maximized") == QStringLiteral("true");

    s.Trend.Open = text("trend/open") == QStringLiteral("true");
    if (InRange(text("trend/x"), -kMaxExtent, kMaxExtent, &x) && InRange(text("trend/y"), -kMaxExtent, kMaxExtent, &y) &&
        InRange(text("trend/width"), 1, kMaxExtent, &w) && InRange(text("trend/height"), 1, kMaxExtent, &h))
        s.Trend.Geometry = QRect(x, y, w, h);
    if (const QString n = text("trend/n"); InRange(n, 2, kMaxCount)) s.Trend.N = n.trimmed();
    // Checked again where it is used; here only kept plain and short.
    if (const QString tolerance = text("trend/tolerance"); tolerance.size() <= 20 && PlainText(tolerance))
        s.Trend.Tolerance = tolerance;
    InRange(text("trend/span"), 10, 3600, &s.Trend.SpanS);
    s.Trend.ClockTime = text("trend/clock") == QStringLiteral("true");
    if (const QString period = text("trend/period"); InRange(period, 100, kMaxPeriodMs)) s.Trend.Period = period.trimmed();
    s.Trend.Signals = ReadSignals(file);

    // An older file's "report/site" and "report/notes" are of no known unit: passed over.
    for (auto [key, field] : {std::pair{"report/company", &s.Report.Company}, {"report/technician", &s.Report.Technician},
                              {"report/folder", &s.Report.Folder}})
        if (const QString t = text(key); PlainText(t)) *field = t;
    s.Report.Sites = ReadSites(file);
    file.beginGroup(QStringLiteral("reportIdentity"));
    for (const QString& device : file.childKeys())
        if (PlainText(device)) s.Report.Identity[device] = file.value(device).toStringList();
    file.endGroup();
    s.Units = ReadUnits(file);
    return s;
}

bool WriteSettings(const TWindowSettings& s, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings file(path, QSettings::IniFormat);
    file.clear();
    file.setValue(QStringLiteral("connection/port"), s.Port);
    if (!s.PortAdapter.isEmpty()) file.setValue(QStringLiteral("connection/adapter"), s.PortAdapter);
    file.setValue(QStringLiteral("connection/speed"), s.Baud);
    file.setValue(QStringLiteral("connection/parity"), s.Parity);
    file.setValue(QStringLiteral("connection/slave"), s.Slave);
    file.setValue(QStringLiteral("connection/replyWait"), s.ReplyWaitMs);
    file.setValue(QStringLiteral("connection/gap"), s.GapMs);
    file.setValue(QStringLiteral("connection/replugWait"), s.ReplugWaitS);
    file.setValue(QStringLiteral("connection/echo"), s.Echo);
    file.setValue(QStringLiteral("device/file"), s.DeviceFile);
    file.setValue(QStringLiteral("monitor/period"), s.Period);
    file.setValue(QStringLiteral("calibration/count"), s.Count);
    if (!s.Geometry.isNull()) {
        file.setValue(QStringLiteral("window/x"), s.Geometry.x());
        file.setValue(QStringLiteral("window/y"), s.Geometry.y());
        file.setValue(QStringLiteral("window/width"), s.Geometry.width());
        file.setValue(QStringLiteral("window/height"), s.Geometry.height());
        file.setValue(QStringLiteral("window/maximized"), s.Maximized);
    }
    file.setValue(QStringLiteral("trend/open"), s.Trend.Open);
    if (!s.Trend.Geometry.isNull()) {
        file.setValue(QStringLiteral("trend/x"), s.Trend.Geometry.x());
        file.setValue(QStringLiteral("trend/y"), s.Trend.Geometry.y());
        file.setValue(QStringLiteral("trend/width"), s.Trend.Geometry.width());
        file.setValue(QStringLiteral("trend/height"), s.Trend.Geometry.height());
    }
    file.setValue(QStringLiteral("trend/n"), s.Trend.N);
    file.setValue(QStringLiteral("trend/tolerance"), s.Trend.Tolerance);
    file.setValue(QStringLiteral("trend/span"), s.Trend.SpanS);
    file.setValue(QStringLiteral("trend/clock"), s.Trend.ClockTime);
    file.setValue(QStringLiteral("trend/period"), s.Trend.Period);
    WriteSignals(file, s.Trend.Signals);
    file.setValue(QStringLiteral("report/company"), s.Report.Company);
    file.setValue(QStringLiteral("report/technician"), s.Report.Technician);
    WriteSites(file, s.Report.Sites);
    file.setValue(QStringLiteral("report/folder"), s.Report.Folder);
    file.beginGroup(QStringLiteral("reportIdentity"));
    for (auto it = s.Report.Identity.cbegin(); it != s.Report.Identity.cend(); ++it) file.setValue(it.key(), it.value());
    file.endGroup();
    WriteUnits(file, s.Units);
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace vyx::ui
