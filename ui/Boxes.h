// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every box the window shows goes through one seam, so a test answers the boxes
// instead of a person: the plain message box, the error box, the save and folder
// dialogs and the yes-or-no question.
#include <QString>

class QPrinter;
class QWidget;

namespace vyx::ui {

// The error box's text: a full stop is appended when the text ends in a letter or
// a digit.
QString ErrorBoxText(const QString& text);

class TBoxes {
public:
    virtual ~TBoxes() = default;
    // No icon, one OK, titled with the application title. Lines joined by CR LF
    // show as separate lines.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // Error icon, one OK, the application title; the text as ErrorBoxText gives it.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // The save dialog, opened in `folder`; an existing file is overwritten without
    // asking. Empty when the user cancels.
    virtual QString AskSaveFileName(QWidget* parent, const QString& folder) = 0;
    // A folder to write into, starting in `folder`. Empty when the user cancels.
    virtual QString AskFolder(QWidget* parent, const QString& folder) = 0;
    // A question with "Tak" and "Nie" ("Nie" the default): true for "Tak" only;
    // Escape and closing the box are "Nie".
    virtual bool Ask(QWidget* parent, const QString& text) = 0;
    // The system's print dialog for `printer`: true when the user chose to print.
    virtual bool AskPrinter(QWidget* parent, QPrinter& printer) = 0;
};

// The real boxes of the toolkit.
class TDialogBoxes : public TBoxes {
public:
    // The program is asked to end (SIGTERM, a logout): every dialog open now is
    // closed as "Nie", Escape or "Anuluj" would close it, and every later box is
    // answered so at once (nothing shown, "Nie", no file), so that the window
    // closes and writes its log without waiting for anybody.
    void DismissAll();

    void ShowMessage(QWidget* parent, const QString& text) override;
    void ShowError(QWidget* parent, const QString& text) override;
    QString AskSaveFileName(QWidget* parent, const QString& folder) override;
    QString AskFolder(QWidget* parent, const QString& folder) override;
    bool Ask(QWidget* parent, const QString& text) override;
    bool AskPrinter(QWidget* parent, QPrinter& printer) override;

private:
    bool dismissing_ = false;
};

}  // namespace vyx::ui
