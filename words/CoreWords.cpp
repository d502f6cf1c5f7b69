#include "words/CoreWords.h"

#include "platform/FileFilter.h"
#include "platform/Profile.h"
#include "platform/VisibleName.h"

#include <vector>

#include <QCoreApplication>

namespace tavolix::words {

namespace {

std::string Page(const char* source) {
    return QCoreApplication::translate("Page", source).toStdString();
}

std::string Filters(const char* source) {
    return QCoreApplication::translate("Filters", source).toStdString();
}

std::string Settings(const char* source) {
    return QCoreApplication::translate("SavedPages", source).toStdString();
}

std::string Command(const char* source) {
    return QCoreApplication::translate("Command", source).toStdString();
}

// A value with its line breaks made visible, for a message.
std::string Shown(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string Fill(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    std::size_t done = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%' || text[i + 1] < '1' || text[i + 1] > '9')
            continue;
        const auto n = static_cast<std::size_t>(text[i + 1] - '1');
        if (n >= values.size())
            continue;
        out.append(text.substr(done, i - done));
        out.append(values.begin()[n]);
        done = i + 2;
        ++i;
    }
    out.append(text.substr(done));
    return out;
}

pages::TPageTexts PageTexts() {
    pages::TPageTexts texts;
    texts.Title = Page(QT_TRANSLATE_NOOP("Page", "ＴＡＶＯＬＩＸ：( %1 ) 編集結果"));
    texts.BaseFolder = Page(QT_TRANSLATE_NOOP("Page", "検索対象ディレクトリ = %1"));
    texts.Key = Page(QT_TRANSLATE_NOOP("Page", "指定検索キー  =  %1"));
    texts.KeyFiltered = Page(QT_TRANSLATE_NOOP("Page", "指定検索キー  =  %1  （ %2 ）"));
    texts.Totals = Page(QT_TRANSLATE_NOOP("Page", "ファイル数合計 = %1 ；  サイズ合計 = %2 Bytes"));
    return texts;
}

std::string KindWord(std::string_view kind) {
    static constexpr struct {
        const char* Name;
        const char* Word;
    } kWords[] = {
        {"pictures", QT_TRANSLATE_NOOP("Filters", "画像")},
        {"videos", QT_TRANSLATE_NOOP("Filters", "動画")},
        {"music", QT_TRANSLATE_NOOP("Filters", "音楽")},
        {"documents", QT_TRANSLATE_NOOP("Filters", "文書")},
        {"archives", QT_TRANSLATE_NOOP("Filters", "アーカイブ")},
        {"programs", QT_TRANSLATE_NOOP("Filters", "プログラム")},
    };
    for (const auto& w : kWords)
        if (kind == w.Name)
            return Filters(w.Word);
    return std::string(kind);
}

std::string FilterText(const settings::TFilterChoice& choice, bool keyList) {
    std::vector<std::string> parts;
    if (!choice.Kinds.empty()) {
        std::string kinds;
        for (const std::string& k : choice.Kinds)
            kinds += (kinds.empty() ? "" : Filters(QT_TRANSLATE_NOOP("Filters", "・"))) + KindWord(k);
        parts.push_back(Fill(Filters(QT_TRANSLATE_NOOP("Filters", "種類 = %1")), {kinds}));
    }
    if (!choice.MinSize.empty())
        parts.push_back(Fill(Filters(QT_TRANSLATE_NOOP("Filters", "%1 以上")), {choice.MinSize}));
    if (!choice.MaxSize.empty())
        parts.push_back(Fill(Filters(QT_TRANSLATE_NOOP("Filters", "%1 以下")), {choice.MaxSize}));
    if (!choice.ChangedWithin.empty())
        parts.push_back(Fill(platform::NamesADate(choice.ChangedWithin)
                                 ? Filters(QT_TRANSLATE_NOOP("Filters", "%1 以降に更新"))
                                 : Filters(QT_TRANSLATE_NOOP("Filters", "%1 以内に更新")),
                             {choice.ChangedWithin}));
    if (!choice.ChangedBefore.empty())
        parts.push_back(Fill(platform::NamesADate(choice.ChangedBefore)
                                 ? Filters(QT_TRANSLATE_NOOP("Filters", "%1 より前に更新"))
                                 : Filters(QT_TRANSLATE_NOOP("Filters", "%1 以上前に更新")),
                             {choice.ChangedBefore}));
    if (keyList)
        parts.push_back(Filters(QT_TRANSLATE_NOOP("Filters", "「 ; 」で区切った複数のキー")));
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : Filters(QT_TRANSLATE_NOOP("Filters", " ， "))) + part;
    return text;
}

std::string SavedPageHint(const settings::TSavedPagesMenuItem& item) {
    return Fill(Settings(QT_TRANSLATE_NOOP("SavedPages", " 検索ベース = %1  ; キー = %2  ; 検索数 = %3")),
                {item.BaseFolder, item.Key, item.Count});
}

std::string SavedPageMessage(const settings::TSavedPageAction& action) {
    switch (action.Kind) {
    case settings::TSavedPageAction::NotRegistered:
        return Settings(QT_TRANSLATE_NOOP(
            "SavedPages",
            "作成データ（ＨＴＭＬファイル）は、未登録です。 \r\n\r\n作成＆保存後、クリックして下さい。"));
    case settings::TSavedPageAction::Missing:
        return Fill(
            Settings(QT_TRANSLATE_NOOP(
                "SavedPages", "%1 が見つかりません。 \r\n\r\n移動、あるいは、削除されませんでしたか ？")),
            {platform::VisibleName(action.Stored)});
    case settings::TSavedPageAction::NotAnswering:
        return Fill(Settings(QT_TRANSLATE_NOOP("SavedPages", "%1 が応答しません。")),
                    {platform::VisibleName(action.Stored)});
    case settings::TSavedPageAction::None:
    case settings::TSavedPageAction::Open:
        break;
    }
    return {};
}

std::string CannotWriteText(const platform::TIoError& error) {
    return Fill(Settings(QT_TRANSLATE_NOOP("SavedPages", "%1 に書き込めません")), {error.Path});
}

std::string CannotWriteWhyText(const platform::TIoError& error) {
    return CannotWriteText(error) + " (" + error.SystemText() + ")";
}

std::string RegisterErrorText(const settings::TRegisterError& error) {
    const std::string value = Shown(error.Value);
    switch (error.Refusal) {
    case settings::TRefusal::LineBreak:
        return Fill(
            Settings(QT_TRANSLATE_NOOP("SavedPages", "\"%1\" は改行を含むため、作成データに登録できません")),
            {value});
    case settings::TRefusal::TooLong:
        return Fill(Settings(QT_TRANSLATE_NOOP(
                        "SavedPages", "\"%1\" は %2 バイトより長いため、作成データに登録できません")),
                    {value, std::to_string(platform::kMaxProfileValue)});
    case settings::TRefusal::Blanks:
        return Fill(Settings(QT_TRANSLATE_NOOP("SavedPages",
                                               "\"%1\" は前後に空白があるため、作成データに登録できません")),
                    {value});
    case settings::TRefusal::None:
        break;
    }
    return CannotWriteWhyText(error.File);
}

std::string CannotReadText(const platform::TIoError& error) {
    return Fill(Settings(QT_TRANSLATE_NOOP("SavedPages", "%1 を読み込めません (%2)")),
                {error.Path, error.SystemText()});
}

std::string WaitingForText(std::string_view folder, int seconds) {
    return Fill(Command(QT_TRANSLATE_NOOP("Command", "%1 を待っています (%2 秒間進みません)")),
                {folder, std::to_string(seconds)});
}

std::string SearchStoppedText(bool page) {
    return page ? Command(QT_TRANSLATE_NOOP(
                      "Command",
                      "検索を中断しました: それまでに見つかったファイルを出力します。ページは書き込みません"))
                : Command(QT_TRANSLATE_NOOP("Command",
                                            "検索を中断しました: それまでに見つかったファイルを出力します"));
}

} // namespace tavolix::words
