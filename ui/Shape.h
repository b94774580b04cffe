// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small filled square with a thin border: the connection and line indicators.
#include <QColor>
#include <QPainter>
#include <QWidget>

namespace vyx::ui {

class TShape : public QWidget {
public:
    TShape(QColor color, QWidget* parent = nullptr) : QWidget(parent), color_(color) { setFixedSize(10, 10); }
    QColor Color() const { return color_; }
    void SetColor(QColor color) {
        if (color == color_) return;
        color_ = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(Qt::black);
        p.setBrush(color_);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    QColor color_;
};

}  // namespace vyx::ui
