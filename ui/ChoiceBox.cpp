// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ChoiceBox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWheelEvent>

namespace vyx::ui {

TChoiceBox::TChoiceBox(bool editable, QWidget* parent) : QComboBox(parent) {
    setEditable(editable);
    setInsertPolicy(QComboBox::NoInsert);
    if (editable) {
        setCompleter(nullptr);  // no completion behind the user's back
        connect(lineEdit(), &QLineEdit::returnPressed, this, &TChoiceBox::Chosen);
    }
    // The opened list hides itself before it reports the entry picked; any other
    // activation (a field left holding a listed name) is no choice.
    connect(this, &QComboBox::activated, this, [this] {
        if (!picking_) return;
        picking_ = false;
        emit Chosen();
    });
}

void TChoiceBox::showPopup() {
    emit Opening();
    QComboBox::showPopup();
}

void TChoiceBox::hidePopup() {
    // The toolkit also calls this on a closed list (when it is refilled).
    const bool open = view()->isVisible();
    QComboBox::hidePopup();
    if (!open) return;
    picking_ = true;
    QTimer::singleShot(0, this, [this] { picking_ = false; });
}

void TChoiceBox::wheelEvent(QWheelEvent* event) { event->ignore(); }

void TChoiceBox::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    // Home and End move the cursor in a field; on a list without one they would pick.
    const bool moves = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
                       (!isEditable() && (key == Qt::Key_Home || key == Qt::Key_End));
    if (plain && moves) {
        showPopup();
        return;
    }
    // A closed list without a field would pick the entry a typed letter starts.
    if (!isEditable() && !event->text().isEmpty() && event->text().at(0).isPrint()) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace vyx::ui
