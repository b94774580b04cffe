// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window's table of the two markers: Δt, and per curve the value at
// each marker, Δvalue and the minimum, maximum and mean between them.
#include <QLabel>
#include <QTreeWidget>

#include "ui/FormSupport.h"
#include "ui/SignalList.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {
namespace {

// The container's elements as a range MarkerSpan can walk.
struct TPoints {
    QCPGraphDataContainer::const_iterator From, To;
    QCPGraphDataContainer::const_iterator begin() const { return From; }
    QCPGraphDataContainer::const_iterator end() const { return To; }
};

}  // namespace

void TTrendWindow::ShowMarkers() {
    const std::optional<double> a = Plot->Marker(0), b = Plot->Marker(1);
    twMarkers->clear();
    if (!a) {
        lbMarkers->setText(QStringLiteral("Znaczniki: Ctrl+klik na wykresie (A), potem drugi (B)"));
        return;
    }
    lbMarkers->setText(b ? QStringLiteral("Δt = %1 s").arg(QString::number(*b - *a, 'f', 3).replace(u'.', u','))
                         : QStringLiteral("A: Ctrl+klik jeszcze raz, by postawić B"));
    const int curves = setShown_ ? Plot->CurveCount() : 1;
    for (int k = 0; k < curves; ++k) {
        const auto data = Plot->CurveData(setShown_ ? k : -1);
        const TMarkerSpan span = MarkerSpan(TPoints{data->constBegin(), data->constEnd()}, *a, b.value_or(*a));
        const int type = setShown_ ? GetTypeCode(set_[static_cast<size_t>(k)].Record.DataType) : typeCode_;
        const auto text = [type](std::optional<double> v) { return v ? Q(FormatLikeRegister(type, *v)) : QString(); };
        auto* row = new QTreeWidgetItem(twMarkers);
        row->setText(0, setShown_ ? Q(SignalShortName(set_, static_cast<size_t>(k))) : Q(record_.Name));
        if (setShown_) row->setForeground(0, TSignalList::ColourOf(k));
        row->setText(1, text(span.AtA));
        if (!b) continue;
        row->setText(2, text(span.AtB));
        // A difference of HEX words reads better in decimal.
        const int deltaType = type == kTypeHex ? kTypeInt : type;
        row->setText(3, span.Delta() ? Q(FormatLikeRegister(deltaType, *span.Delta())) : QString());
        if (span.Between.Count == 0) continue;
        row->setText(4, text(span.Between.Min));
        row->setText(5, text(span.Between.Max));
        row->setText(6, text(span.Between.Mean));
    }
}

}  // namespace vyx::ui
