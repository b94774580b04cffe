// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drop-down list whose entry is chosen only on purpose: by picking it in the
// opened list (mouse or keyboard), or by Enter in an editable list's field.
// Chosen() then comes exactly once.
//
// A plain QComboBox also "activates" an entry when its field loses the focus
// holding a listed name, when the mouse wheel turns over the closed list, and
// when an arrow key is pressed on it: leaving a field or scrolling the panel
// would reopen a port or reload a device file. Here the wheel over a closed list
// passes to the panel, an arrow key opens the list, and leaving the field
// chooses nothing.
#include <QComboBox>

namespace vyx::ui {

class TChoiceBox : public QComboBox {
    Q_OBJECT
public:
    explicit TChoiceBox(bool editable, QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    void Chosen();
    // The list is about to open: its entries may be made anew.
    void Opening();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool picking_ = false;  // the opened list has just closed: an activation now is a pick
};

}  // namespace vyx::ui
