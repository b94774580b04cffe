// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1's connection panel (ConnectionPanel.cpp, Replugging.cpp), read inside
// TForm1's declaration in ui/MainWindow.h and nowhere else, hence no guard: the
// port field and its list, opening and closing, speed, parity, the reply wait,
// the line's gap, the wait for an unplugged adapter and the echo.
    void ComCBoxEnter();
    void ComCBoxSelect();
    // Opens the port the fields name, on the bus; the status bar says how it went
    // once it has (a network port may take the reply wait plus 3 s).
    void Connect();
    void Disconnect();
    // The port is open, as the bus last reported.
    bool PortOpen() const { return portOpen_; }
    // The mode string the port was last opened with ("19200,e,8,1").
    const std::string& PortMode() const { return Session.Line.Mode; }
    // Nothing is owed by the bus: no job queued or running, no result waiting to
    // be shown, no sequence running.
    bool Settled() const;
    void cbxBaudSelect();
    // False for a network port (its name in the port field): speed and parity are greyed.
    bool LineSettingsApply() const;
    void ShowLineControls();
    void cbxParitySelect();
    void btResetClick();
    // The reply wait field left or Enter pressed: a whole number in range takes
    // effect (at once on an open port), anything else shows the wait in force again.
    void eWaitExit();
    int ReplyWaitMs() const { return replyWaitMs_; }
    // The gap field left or Enter pressed, as the reply wait's: a whole number
    // from 0 to kMaxGapMs takes effect for the next request; anything else shows
    // the gap in force again.
    void eGapExit();
    // The field of how long an unplugged adapter is awaited, left or Enter
    // pressed: 0 to kReplugWaitMaxS seconds takes effect, anything else shows the
    // time in force again.
    void eReplugExit();
    // "Echo" ticked or unticked: the next request reads its echo first, or not.
    void cbEchoClick();
