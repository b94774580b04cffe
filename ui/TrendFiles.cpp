// SPDX-License-Identifier: GPL-3.0-or-later
// What the plot window keeps: "Zapisz CSV", "Zapisz obraz" and recording every
// reading to dated CSV files.
#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/Error.h"
#include "base/FileError.h"
#include "base/SafeSave.h"
#include "base/Text.h"
#include "ui/Boxes.h"
#include "ui/CutLabel.h"
#include "ui/TrendPlot.h"
#include "ui/TrendWindow.h"

namespace vyx::ui {
namespace {

using Clock = std::chrono::system_clock;

constexpr uint64_t kMaxFileMb = 100000;

}  // namespace

QString TTrendWindow::FilePrefix() const {
    if (setShown_) return QStringLiteral("zestaw");
    QString part;
    for (const QChar c : QString::fromStdU16String(record_.Name)) part += c.isLetterOrNumber() ? c : QChar(u'_');
    return part.isEmpty() ? QStringLiteral("odczyty") : part;
}

void TTrendWindow::Record(const std::string& line, Clock::time_point when) {
    if (!recorder_) return;
    try {
        recorder_->Write(when, line);
    } catch (const Error& e) {
        // Recording stops; the plot keeps every reading, so "Zapisz CSV" still has them.
        recorder_.reset();
        btRecord->setChecked(false);
        recordError_ = QStringLiteral("nagrywanie przerwane: ") + QString::fromUtf8(PolishText(e));
        ShowStatus();
        emit RecordingStopped(recordError_);
    }
}

QString TTrendWindow::SuggestedName(const QString& extension) const {
    return FilePrefix() + u'-' +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + extension;
}

void TTrendWindow::SaveCsv() {
    const QString name = boxes_.AskSaveFileName(this, saveFolder_ + u'/' + SuggestedName(QStringLiteral(".csv")));
    if (name.isEmpty()) return;
    std::string bytes;
    if (setShown_) {
        bytes = RoundCsvHeader(set_) + '\n';
        Plot->ForEachRound([&](double t, const std::vector<std::optional<double>>& values,
                               const std::vector<QString>& reasons) { bytes += SetCsvLine(t, values, reasons) + '\n'; });
    } else {
        Plot->ForEachCsvLine([&](const std::string& line) {
            bytes += line;
            bytes += '\n';
        });
    }
    try {
        SaveFileBytes(PathFromUtf8(name.toStdString()), bytes);
        saveFolder_ = QFileInfo(name).absolutePath();
        stStatus->setText(QStringLiteral("zapisano: ") + name);
    } catch (const std::exception& e) {
        boxes_.ShowError(this, QString::fromUtf8(PolishText(e)));
    }
}

std::string TTrendWindow::PlotPng(bool titled) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    // A picture of its own carries its title and date above the plot, and the legend in it.
    QCPTextElement* title = nullptr;
    if (titled) {
        title = new QCPTextElement(Plot, lbTitle->text() + QStringLiteral(" – ") +
                                             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                   QFont(font().family(), 11, QFont::Bold));
        Plot->plotLayout()->insertRow(0);
        Plot->plotLayout()->addElement(0, 0, title);
    }
    const bool drawn = Plot->toPixmap(std::max(Plot->width(), 640), std::max(Plot->height(), 400)).save(&buffer, "PNG");
    if (title) {
        Plot->plotLayout()->remove(title);
        Plot->plotLayout()->simplify();
        Plot->Refresh();
    }
    if (!drawn) return {};
    return std::string(png.constData(), static_cast<size_t>(png.size()));
}

std::string TTrendWindow::SeriesPng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!Plot->SeriesPixmap(std::max(Plot->width(), 640), std::max(Plot->height(), 400)).save(&buffer, "PNG")) return {};
    return std::string(png.constData(), static_cast<size_t>(png.size()));
}

void TTrendWindow::SaveImage() {
    const QString name = boxes_.AskSaveFileName(this, saveFolder_ + u'/' + SuggestedName(QStringLiteral(".png")));
    if (name.isEmpty()) return;
    // Drawn into memory and saved as every file is: a failure leaves no half file.
    const std::string png = PlotPng(true);
    try {
        if (png.empty()) throw Error("nie udało się narysować wykresu");
        SaveFileBytes(PathFromUtf8(name.toStdString()), png);
        saveFolder_ = QFileInfo(name).absolutePath();
        stStatus->setText(QStringLiteral("zapisano: ") + name);
    } catch (const std::exception& e) {
        boxes_.ShowError(this, QString::fromUtf8(PolishText(e)));
    }
}

void TTrendWindow::SetRecording(bool on, const QString& folder) {
    if (!recordError_.isEmpty()) {
        recordError_.clear();
        emit RecordingStopped(QString());
    }
    if (!on) {
        recorder_.reset();
        btRecord->setChecked(false);
        ShowStatus();
        return;
    }
    bool ok = true;
    const QString mbText = eFileMb->text().trimmed();
    const uint64_t mb = mbText.isEmpty() ? 0 : mbText.toULongLong(&ok);
    if (!ok || mb > kMaxFileMb) {
        btRecord->setChecked(false);
        boxes_.ShowError(this, QStringLiteral("rozmiar pliku musi być liczbą MB od 1 do %1 (puste: nowy plik co dzień)")
                                   .arg(kMaxFileMb));
        return;
    }
    const QString chosen = folder.isEmpty() ? boxes_.AskFolder(this, saveFolder_) : folder;
    if (chosen.isEmpty()) {
        btRecord->setChecked(false);
        return;
    }
    recordFolder_ = PathFromUtf8(chosen.toStdString());
    recordBytes_ = mb * 1024 * 1024;
    recorder_ = std::make_unique<TCsvRecorder>(recordFolder_, FilePrefix().toStdString(), recordBytes_);
    if (setShown_) recorder_->SetHeader(RoundCsvHeader(set_));
    btRecord->setChecked(true);
    ShowStatus();
}

std::string TTrendWindow::SetCsvLine(double t, const std::vector<std::optional<double>>& values,
                                     const std::vector<QString>& reasons) const {
    TRound round;
    round.When = Plot->Start() + std::chrono::milliseconds(std::llround(t * 1000));
    for (size_t k = 0; k < set_.size(); ++k) {
        TSignalReading got;
        got.Reading.Good = k < values.size() && values[k].has_value();
        got.Reading.Number = got.Reading.Good ? values[k] : std::nullopt;
        if (!got.Reading.Good && k < reasons.size()) got.Reason = reasons[k].toStdString();
        round.Readings.push_back(std::move(got));
    }
    return RoundCsvLine(set_, round);
}

}  // namespace vyx::ui
