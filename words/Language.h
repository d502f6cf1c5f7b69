#pragma once

#include <QString>
#include <QStringList>

namespace tavolix::words {

// The program's own language: its texts are written in it, and it needs no
// catalogue.
inline const QString kSourceLanguage = QStringLiteral("ja");
// What every language without a catalogue of its own gets.
inline const QString kFallbackLanguage = QStringLiteral("en");

// The languages with a catalogue built in ("en", ...), from the catalogues'
// names (tavolix_<language>.qm).
QStringList CatalogueLanguages();

// The first of the user's languages (QLocale::uiLanguages(), most wanted
// first) that is Japanese or has a catalogue; "C" counts as Japanese, and
// without any the fallback language is chosen. A catalogue is matched by the
// whole name ("pt_BR") or by the language alone ("pt").
QString ChooseLanguage(const QStringList& uiLanguages, const QStringList& catalogues);

// True for the locale names C and POSIX (with or without a codeset) and an
// empty one: there, as for gettext, LANGUAGE doesn't count.
bool IsPlainLocale(const QString& messagesLocale);

// The user's language, from the environment as gettext reads it: LC_ALL,
// else LC_MESSAGES, else LANG names the messages' locale; a plain one is
// Japanese, the program's language; otherwise LANGUAGE and the locale
// through QLocale::uiLanguages().
QString UserLanguage();

// Installs the catalogue of `language` on the application (removing the one
// installed before) and, with `toolkit`, Qt's own catalogue for its dialogs
// when there is one. The source language installs none of ours. Returns
// false when the catalogue could not be loaded: the texts stay Japanese.
bool InstallLanguage(const QString& language, bool toolkit = false);
// The language of the texts now: the one installed last, else Japanese.
QString Language();

} // namespace tavolix::words
