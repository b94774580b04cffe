// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Boxes.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace vyx::ui {

QString ErrorBoxText(const QString& text) {
    if (!text.isEmpty() && text.back().isLetterOrNumber()) return text + u'.';
    return text;
}

namespace {

void Show(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, QApplication::applicationDisplayName(), shown, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // names and paths in it may look like markup
    box.exec();
}

}  // namespace

void TDialogBoxes::DismissAll() {
    dismissing_ = true;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) dialog->reject();
}

void TDialogBoxes::ShowMessage(QWidget* parent, const QString& text) {
    if (!dismissing_) Show(parent, QMessageBox::NoIcon, text);
}

void TDialogBoxes::ShowError(QWidget* parent, const QString& text) {
    if (!dismissing_) Show(parent, QMessageBox::Critical, ErrorBoxText(text));
}

QString TDialogBoxes::AskSaveFileName(QWidget* parent, const QString& folder) {
    if (dismissing_) return {};
    return QFileDialog::getSaveFileName(parent, QString(), folder, QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString TDialogBoxes::AskFolder(QWidget* parent, const QString& folder) {
    if (dismissing_) return {};
    return QFileDialog::getExistingDirectory(parent, QString(), folder);
}

bool TDialogBoxes::Ask(QWidget* parent, const QString& text) {
    if (dismissing_) return false;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), shown, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("Tak"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nie"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool TDialogBoxes::AskPrinter(QWidget* parent, QPrinter& printer) {
    if (dismissing_) return false;
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace vyx::ui
