// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's controls, by the names the whole team uses; the window
// builds them (WindowLayout.cpp, PanelLayout.cpp) and its tests reach them.
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTimer;
class QToolButton;
class QTreeView;

namespace vyx::ui {

class TChoiceBox;
class TCutLabel;
class TShape;
class TTextPane;
class TUnitList;
class TWarningArea;

struct TFormControls {
    TChoiceBox* ComCBox;
    TChoiceBox* cbxBaud;
    TChoiceBox* cbxParity;
    TShape* shConnect;
    QLineEdit* eSlave;
    QToolButton* btSzukaj;  // beside "Adres:": "Szukaj urządzeń…"
    QLineEdit* eWait;  // the reply wait: how long a read waits for a first byte (ms)
    QLineEdit* eGap;   // the least quiet time on the line before each request (ms)
    QCheckBox* cbEcho; // the adapter returns each request before the reply
    QLineEdit* eReplug;  // how long an unplugged adapter is awaited (s); 0: not at all
    QPushButton* btReset;
    TChoiceBox* cbxDevice;
    TShape* ledTX;
    TShape* ledRx;
    QGroupBox* gbMon;
    TCutLabel* lbReg;  // the current register; its tooltip holds a name it cuts
    QLineEdit* ePeriod;
    QCheckBox* cbMonitor;
    QPushButton* btWykres;  // opens the plot window (F6)
    QCheckBox* cbxScale;
    QGroupBox* gbKal;
    TChoiceBox* cbxKalibracja;
    QLineEdit* eCount;
    QPushButton* Button1;
    QLineEdit* eMed;
    QPushButton* btZapisz;
    TUnitList* UnitList;  // "Jednostki na linii", above the tree
    QTreeView* VT;
    TTextPane* Memo1;
    TTextPane* Memo2;
    QSplitter* Splitter1;
    QScrollArea* PanelScroll;  // holds the control panel
    QLabel* stBar;
    TWarningArea* stWarning;  // the status bar's lasting warnings, in red
    QLabel* stReason;  // the status bar's right area: why the last transaction failed
    QMenu* PopupMenu1;
    QMenu* PopupMenu2;
    QTimer* Timer1;
    QTimer* stbTimer;
    QTimer* txTimer;
    QTimer* rxTimer;
    QTimer* HighlightTimer;  // the 500 ms one-shot that ends the red highlight
    QTimer* JournalTimer;    // syncs the result journal to the disk every second
};

}  // namespace vyx::ui
