// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Szukaj urządzeń": which addresses and line settings to try and how long that
// takes at most; once "Szukaj" has started the window's scan, its progress and
// the units as they answer. The scan is the window's (one job on its bus); the
// dialog asks for it and shows what the window hands on. "Anuluj", Escape and
// the dialog's close button all reject it: the window cancels the scan at once,
// without waiting for the bus, and the dialog goes.
#include <QDialog>
#include <cstddef>
#include <string>

#include "port/LineSettings.h"
#include "service/LineScan.h"
#include "ui/Settings.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace vyx::ui {

// The line a scan runs on, as the connection panel sets it.
struct TScanLine {
    QString Port;          // as typed
    std::string Mode;      // the panel's speed and parity: "19200,e,8,1"
    bool Network = false;  // no line settings: only the addresses are tried
    uint16_t ReplyWaitMs = kReplyWaitDefaultMs;
    TLineOptions Line;
};

// "Czas przeszukiwania: do 11 s (247 prób)".
QString DurationLine(const service::TScanPlan& plan);

class TScanDialog : public QDialog {
    Q_OBJECT
public:
    TScanDialog(TScanLine line, QWidget* parent);

    QSpinBox* sbFrom;
    QSpinBox* sbTo;
    QCheckBox* cbStandard;  // the speeds and parities `vyx scan` tries
    QCheckBox* cbSlow;      // 1200 to 4800 besides
    QLabel* lbDuration;
    QProgressBar* pbProgress;
    QTreeWidget* lstFound;
    QLabel* lbNote;  // a line setting passed over, a refusal, how the scan ended
    QPushButton* btSzukaj;
    QPushButton* btAnuluj;

    // The plan the choices make: the panel's setting first, then the ticked
    // sets; one empty mode on a network port. The identities are the scan's.
    service::TScanPlan Plan() const;

    // What the window hands on from its scan.
    void ScanStarted(size_t total);
    void ScanProgress(size_t done, size_t total);
    void UnitFound(const TLineUnit& unit);
    void ModeSkipped(const QString& mode, const QString& reason);
    void ScanEnded(const QString& outcome);
    // "Szukaj" refused: why, and the choices stay.
    void Refused(const QString& why);

signals:
    void StartAsked();

private:
    void ShowChoices();
    void SetNote(const QString& text);

    TScanLine line_;
    bool scanning_ = false;
};

}  // namespace vyx::ui
