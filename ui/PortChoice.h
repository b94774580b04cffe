// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port list as the window shows it, and the port it remembers by the
// adapter behind it. An entry reads as the technician knows the port ("COM7 —
// USB Serial Port (FTDI)", a by-id link) and opens the path behind it; its
// tooltip names the adapter. Once chosen, the field holds the path alone.
// Windows may give an adapter another COM name after a plug-in elsewhere: the
// remembered adapter (its USB ids and serial number) is looked up at start.
#include <QString>
#include <vector>

#include "port/PortList.h"

namespace vyx::ui {

class TChoiceBox;

// What an entry's tooltip says: the adapter, its maker, USB ids and serial
// number; empty for a port with nothing more to tell.
QString PortTip(const TPortEntry& entry);

class TPortChoice {
public:
    // The box's entries anew from the system's ports (or those given), in
    // their order, then the entry of no port; the field's text stays.
    void Fill(TChoiceBox* box);
    void Fill(TChoiceBox* box, std::vector<TPortEntry> ports);

    // After a pick or Enter: an entry's label in the field becomes the path it
    // opens, and the adapter behind that path is remembered. The path.
    QString Take(TChoiceBox* box);

    // At start: the remembered port and its adapter's key (AdapterKey). The
    // path where that adapter is among `ports` now, else the port as it was.
    QString Recall(const QString& port, const QString& key, const std::vector<TPortEntry>& ports);
    // The remembered adapter came back under another name.
    void Moved(const QString& path) { remembered_.Path = path.toStdString(); }
    // The key of the adapter remembered for the port (empty: none known).
    QString Key(const QString& port) const;

private:
    std::vector<TPortEntry> listed_;  // the entries of the last Fill
    TPortEntry remembered_;
};

}  // namespace vyx::ui
