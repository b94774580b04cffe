// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts in Polish: the standard buttons, the file dialogs and the
// context menus of text fields come from Qt's translations (qtbase_pl.qm in
// QLibraryInfo's translations folder; Debian's qt6-translations-l10n).
#include <QString>

namespace vyx::ui {

// Loads Qt's Polish translations into the running application once; later calls
// only report. False when the file is not there: Qt's texts stay English.
bool InstallQtTranslations();

// The folder the translations are looked for in.
QString QtTranslationsFolder();

}  // namespace vyx::ui
