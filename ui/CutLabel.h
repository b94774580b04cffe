// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A one-line label that never widens its panel: a text wider than the label is
// cut with "…", and hovering it then shows the whole text. text() stays whole.
#include <QLabel>

namespace vyx::ui {

class TCutLabel : public QLabel {
public:
    // Its text is plain, whatever it holds: a register's name may look like markup.
    explicit TCutLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {
        setTextFormat(Qt::PlainText);
    }

    bool IsCut() const;
    // What hovering shows: the whole text when it is cut, else nothing.
    QString CutTip() const { return IsCut() ? text() : QString(); }

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vyx::ui
