// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PortChoice.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <utility>

#include "ui/ChoiceBox.h"
#include "ui/ConnectionTexts.h"
#include "ui/FormSupport.h"

namespace vyx::ui {
namespace {

QString S(const std::string& text) { return QString::fromStdString(text); }

QString Hex4(uint16_t id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

QString PortTip(const TPortEntry& e) {
    // A by-id link: the adapter's name and the device it is now.
    if (!e.Device.empty()) return S(e.Adapter) + QStringLiteral(" (teraz ") + S(e.Device) + u')';
    QStringList lines;
    if (!e.Adapter.empty()) lines << S(e.Adapter);
    if (!e.Manufacturer.empty()) lines << QStringLiteral("producent: ") + S(e.Manufacturer);
    if (e.VendorId != 0) lines << QStringLiteral("USB VID %1, PID %2").arg(Hex4(e.VendorId), Hex4(e.ProductId));
    if (!e.Serial.empty()) lines << QStringLiteral("numer seryjny: ") + S(e.Serial);
    return lines.join(u'\n');
}

void TPortChoice::Fill(TChoiceBox* box) { Fill(box, ListPortEntries()); }

void TPortChoice::Fill(TChoiceBox* box, std::vector<TPortEntry> ports) {
    listed_ = std::move(ports);
    QStringList labels;
    QHash<QString, QString> tips;
    for (const TPortEntry& e : listed_) {
        const QString label = S(PortLabel(e));
        labels << label;
        if (const QString tip = PortTip(e); !tip.isEmpty()) tips.insert(label, tip);
    }
    labels << Q(kDisconnected);
    Refill(box, labels, tips, false);
    for (int i = 0; i < static_cast<int>(listed_.size()); ++i) box->setItemData(i, S(listed_[i].Path), Qt::UserRole);
}

QString TPortChoice::Take(TChoiceBox* box) {
    const int index = box->findText(box->currentText());
    QString path = index >= 0 && box->itemData(index, Qt::UserRole).isValid()
                             ? box->itemData(index, Qt::UserRole).toString()
                             : box->currentText().trimmed();
    if (path != box->currentText()) box->setEditText(path);
    const auto it = std::find_if(listed_.begin(), listed_.end(),
                                 [&](const TPortEntry& e) { return S(e.Path) == path; });
    remembered_ = it != listed_.end() ? *it : TPortEntry{.Path = path.toStdString()};
    return path;
}

QString TPortChoice::Recall(const QString& port, const QString& key, const std::vector<TPortEntry>& ports) {
    remembered_ = AdapterFromKey(key.toStdString(), port.toStdString());
    if (remembered_.VendorId == 0) return port;
    // Where an adapter without a serial number moved, it is no longer told
    // apart from another of its kind: it is found only where it was.
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const TPortEntry& e) { return SameAdapter(remembered_, e); });
    if (it == ports.end()) return port;
    remembered_.Path = it->Path;
    return S(it->Path);
}

QString TPortChoice::Key(const QString& port) const {
    return S(remembered_.Path) == port ? S(AdapterKey(remembered_)) : QString();
}

}  // namespace vyx::ui
