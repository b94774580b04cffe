// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the remembered settings: filling the controls at start,
// collecting them for a clean close, and placing the window on the screen, with
// the narrower layout a small screen needs.
#include <QCheckBox>
#include <QCursor>
#include <algorithm>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeView>

#include "ui/FormSupport.h"
#include "ui/MainWindow.h"
#include "ui/Replug.h"
#include "ui/TrendWindow.h"
#include "ui/SignalList.h"
#include "ui/UnitList.h"
#include "ui/WindowSizes.h"

namespace vyx::ui {
namespace fs = std::filesystem;

void TForm1::ApplySettings(const TWindowSettings& s) {
    // The port is only named: choosing it, or Enter, opens it. A remembered
    // adapter is named where it is now.
    const QString port =
        portChoice_.Recall(s.Port, s.PortAdapter, s.PortAdapter.isEmpty() ? std::vector<TPortEntry>() : ListPortEntries());
    ComCBox->setEditText(port);
    ShowLineControls();
    SelectOrType(cbxBaud, s.Baud);
    cbxParity->setCurrentIndex(s.Parity);
    eSlave->setText(s.Slave);
    replyWaitMs_ = s.ReplyWaitMs;
    eWait->setText(QString::number(replyWaitMs_));
    Transaction.SetLine({s.Echo, static_cast<uint16_t>(s.GapMs)});
    eGap->setText(QString::number(s.GapMs));
    Replug->SetWaitS(s.ReplugWaitS);
    eReplug->setText(QString::number(s.ReplugWaitS));
    cbEcho->setChecked(s.Echo);
    ePeriod->setText(s.Period);
    eCount->setText(s.Count);
    Trend->ApplySettings(s.Trend);
    Visit.Report = s.Report;
    UnitList->SetAll(s.Units);
    UnitList->MovePort(UnitsPort(s.Port), UnitsPort(port));
    Trend->Signals->MovePort(UnitsPort(s.Port), UnitsPort(port));
    UnitList->ShowPort(UnitsPort(port));
    Trend->ShowPort(UnitsPort(port));

    if (!s.DeviceFile.isEmpty()) {
        std::error_code ec;
        if (fs::is_regular_file(DeviceFilePath(s.DeviceFile), ec)) {
            cbxDevice->setEditText(s.DeviceFile);
            Run([this] { cbxDeviceSelect(); });
        }
    }

    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    const TPlacement placement = PlaceWindow(fullMinimum_, s.Geometry, screens, QCursor::pos());
    FitTo(placement);
    setGeometry(placement.Geometry);
    if (s.Maximized && placement.Fits) setWindowState(windowState() | Qt::WindowMaximized);
}

TWindowSettings TForm1::CurrentSettings() const {
    TWindowSettings s;
    const QString port = ComCBox->currentText();
    s.Port = port == Q(kDisconnected) ? QString() : port;
    s.PortAdapter = portChoice_.Key(s.Port);
    s.Baud = cbxBaud->currentText();
    s.Parity = std::max(0, cbxParity->currentIndex());
    s.Slave = eSlave->text();
    s.ReplyWaitMs = replyWaitMs_;
    s.GapMs = Transaction.Line().GapMs;
    s.ReplugWaitS = Replug->WaitS();
    s.Echo = Transaction.Line().Echo;
    s.DeviceFile = loadedDevice_;
    s.Period = ePeriod->text();
    s.Count = eCount->text();
    s.Maximized = isMaximized();
    s.Geometry = s.Maximized ? normalGeometry() : geometry();
    s.Trend = Trend->Settings();
    s.Report = Visit.Report;
    s.Units = UnitList->All();
    return s;
}

void TForm1::FitTo(const TPlacement& placement) {
    // The tree gives up width only on a screen too narrow for the fixed layout.
    if (placement.Geometry.width() >= fullMinimum_.width()) {
        VT->setFixedWidth(kTreeWidth);
    } else {
        VT->setMinimumWidth(kTreeNarrowest);
        VT->setMaximumWidth(kTreeWidth);
    }
    if (placement.Fits) {
        PanelScroll->setFixedWidth(kPanelWidth);
        setMinimumSize(fullMinimum_);
        return;
    }
    // The panel keeps its own width beside its scroll bar.
    PanelScroll->setFixedWidth(kPanelWidth + PanelScroll->verticalScrollBar()->sizeHint().width());
    setMinimumSize(fullMinimum_.boundedTo(placement.Geometry.size()));
}

}  // namespace vyx::ui
