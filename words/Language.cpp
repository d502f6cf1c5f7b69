#include "words/Language.h"

#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tavolix::words {

namespace {

// Where the build puts the catalogues (qt_add_translations' resources).
const QString kCatalogueDir = QStringLiteral(":/i18n");
const QString kCataloguePrefix = QStringLiteral("tavolix_");

struct TInstalled {
    QString Language = kSourceLanguage;
    std::unique_ptr<QTranslator> Own;
    std::unique_ptr<QTranslator> Toolkit;
};

TInstalled& Installed() {
    static TInstalled installed;
    return installed;
}

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator)
        QCoreApplication::removeTranslator(translator.get());
    translator.reset();
}

std::unique_ptr<QTranslator> Load(const QString& name, const QString& dir) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, dir) || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

} // namespace

QStringList CatalogueLanguages() {
    QStringList languages;
    const QStringList files =
        QDir(kCatalogueDir).entryList({kCataloguePrefix + QStringLiteral("*.qm")}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        languages << file.mid(kCataloguePrefix.size(), file.size() - kCataloguePrefix.size() - 3);
    return languages;
}

QString ChooseLanguage(const QStringList& uiLanguages, const QStringList& catalogues) {
    for (QString name : uiLanguages) {
        name.replace(QLatin1Char('-'), QLatin1Char('_'));
        const QStringList parts = name.split(QLatin1Char('_'));
        const QString language = parts.first().toLower();
        if (language == kSourceLanguage || language == QStringLiteral("c"))
            return kSourceLanguage;
        // "pt_BR" for pt-BR and pt-Latn-BR, then "pt".
        const QString territorial = parts.size() > 1 ? language + QLatin1Char('_') + parts.last() : QString();
        if (!territorial.isEmpty() && catalogues.contains(territorial))
            return territorial;
        if (catalogues.contains(language))
            return language;
    }
    return kFallbackLanguage;
}

bool IsPlainLocale(const QString& messagesLocale) {
    const QString name = messagesLocale.section(QLatin1Char('.'), 0, 0);
    return name.isEmpty() || name == QStringLiteral("C") || name == QStringLiteral("POSIX");
}

QString UserLanguage() {
    QString messages;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = qEnvironmentVariable(variable);
        if (!messages.isEmpty())
            break;
    }
    if (IsPlainLocale(messages))
        return kSourceLanguage;
    return ChooseLanguage(QLocale::system().uiLanguages(), CatalogueLanguages());
}

bool InstallLanguage(const QString& language, bool toolkit) {
    TInstalled& now = Installed();
    Remove(now.Own);
    Remove(now.Toolkit);
    now.Language = kSourceLanguage;
    if (language != kSourceLanguage) {
        now.Own = Load(kCataloguePrefix + language, kCatalogueDir);
        if (!now.Own)
            return false;
        now.Language = language;
    }
    // Qt's own texts are English: other languages have a catalogue of Qt's
    // (qtbase_ja.qm), when the system has it.
    if (toolkit && language != QStringLiteral("en"))
        now.Toolkit =
            Load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return true;
}

QString Language() {
    return Installed().Language;
}

} // namespace tavolix::words
