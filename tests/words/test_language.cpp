#include "words/Language.h"

#include <gtest/gtest.h>

using namespace tavolix::words;

namespace {

// The user's languages as QLocale::uiLanguages() gives them, most wanted first.
TEST(Language, FirstLanguageWithWordsElseEnglish) {
    const QStringList catalogues = {"en", "pt_BR", "de"};
    const struct {
        QStringList Wanted;
        const char* Chosen;
    } cases[] = {
        {{"C"}, "ja"}, // the plain locale: the program's own language
        {{"ja-JP", "ja-Jpan-JP", "ja"}, "ja"},
        {{"en-US", "en-Latn-US", "en"}, "en"},
        {{"en-GB", "en-Latn-GB", "en"}, "en"},
        {{"fr-FR", "fr-Latn-FR", "fr"}, "en"},    // no catalogue: English
        {{"fr", "ja", "ja-Jpan-JP"}, "ja"},       // LANGUAGE=fr:ja
        {{"ja", "en"}, "ja"},                     // LANGUAGE=ja:en, Japanese first
        {{"de-AT", "de-Latn-AT", "de"}, "de"},    // by the language alone
        {{"pt-BR", "pt-Latn-BR", "pt"}, "pt_BR"}, // by the whole name
        {{"pt-Latn-BR"}, "pt_BR"},
        {{"pt-PT", "pt-Latn-PT", "pt"}, "en"}, // another territory's catalogue doesn't count
        {{}, "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLanguage(c.Wanted, catalogues), c.Chosen) << c.Wanted.join(",").toStdString();
    // Without a German catalogue German readers get English.
    EXPECT_EQ(ChooseLanguage({"de-DE", "de-Latn-DE", "de"}, {"en"}), "en");
}

// As for gettext, LANGUAGE doesn't count under the C or POSIX locale.
TEST(Language, PlainLocales) {
    for (const char* name : {"", "C", "C.UTF-8", "C.utf8", "POSIX"})
        EXPECT_TRUE(IsPlainLocale(name)) << name;
    for (const char* name : {"ja_JP.UTF-8", "en_US.UTF-8", "de_DE@euro", "ca_ES", "Czech"})
        EXPECT_FALSE(IsPlainLocale(name)) << name;
}

TEST(Language, TheEnglishCatalogueIsBuiltIn) {
    EXPECT_TRUE(CatalogueLanguages().contains("en")) << CatalogueLanguages().join(",").toStdString();
    EXPECT_FALSE(CatalogueLanguages().contains(kSourceLanguage));
}

} // namespace
