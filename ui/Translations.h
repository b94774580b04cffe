// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window takes from files around it at start.
// Qt's own texts in Polish: the standard buttons, the file dialogs and the
// context menus of text fields come from Qt's translations (qtbase_pl.qm; on
// Linux in QLibraryInfo's translations folder from Debian's
// qt6-translations-l10n, on Windows in translations/ beside the program).
// The fixed-width font: Windows has no Cousine, so the Windows program brings
// it in fonts/ beside itself.
#include <QString>

namespace vyx::ui {

// Loads Qt's Polish translations into the running application once; later calls
// only report. False when the file is not there: Qt's texts stay English.
bool InstallQtTranslations();

// The folder the translations are looked for in.
QString QtTranslationsFolder();

// Adds the fonts (*.ttf) of fonts/ beside the program to the application's
// fonts; returns how many were added. None there is no error: the system's are used.
int LoadBundledFonts();

}  // namespace vyx::ui
