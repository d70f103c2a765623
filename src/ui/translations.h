// The windowed client in the user's language: its own catalogue, built
// from translations/gantrell_LANG.ts and embedded in the program, and Qt's
// (qtbase_LANG.qm from Qt's translations folder, when installed) for the
// standard dialogs and buttons Qt draws itself. English, the language of
// the sources, needs no catalogue and is what any missing text falls back
// to.
#pragma once

#include <QString>
#include <QStringList>

namespace gantrell::ui {

// Installs the catalogues of the first language in `languages` (most
// preferred first, as QLocale::uiLanguages() gives them: "de-AT", "de",
// "en-US"...) that the client speaks: English or one with a catalogue.
// Returns that language ("en" also when none of them is known); a language
// installed before is replaced.
QString InstallTranslations(const QStringList& languages);

}  // namespace gantrell::ui
