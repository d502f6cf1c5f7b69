#include "words/WalkWords.h"

#include "platform/AtomicFile.h"
#include "platform/VisibleName.h"
#include "search/WalkReport.h"
#include "words/CoreWords.h"

#include <cstdint>
#include <vector>

#include <QCoreApplication>

namespace tavolix::words {

namespace {

constexpr const char* kContext = "Walk";

std::string Words(const char* source) {
    return QCoreApplication::translate(kContext, source).toStdString();
}

// The causes of unread folders in words, for the count and for each folder.
struct TCauseWords {
    search::TUnreadCause Cause;
    const char* Count;  // %1: how many
    const char* Folder; // the cause alone
};

const TCauseWords kCauseWords[] = {
    {search::TUnreadCause::Denied, QT_TRANSLATE_NOOP("Walk", "アクセス拒否 %1"),
     QT_TRANSLATE_NOOP("Walk", "アクセス拒否")},
    {search::TUnreadCause::NotAnswering, QT_TRANSLATE_NOOP("Walk", "応答なし %1"),
     QT_TRANSLATE_NOOP("Walk", "応答なし")},
    {search::TUnreadCause::Error, QT_TRANSLATE_NOOP("Walk", "読み込みエラー %1"),
     QT_TRANSLATE_NOOP("Walk", "読み込みエラー")},
    {search::TUnreadCause::NoDescriptors, QT_TRANSLATE_NOOP("Walk", "開けるファイル数の上限 %1"),
     QT_TRANSLATE_NOOP("Walk", "開けるファイル数の上限")},
};

const TCauseWords& CauseWordsOf(search::TUnreadCause cause) {
    for (const TCauseWords& words : kCauseWords)
        if (words.Cause == cause)
            return words;
    return kCauseWords[2];
}

std::string Joined(const std::vector<std::string>& parts) {
    const std::string comma = Words(QT_TRANSLATE_NOOP("Walk", " ， "));
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : comma) + part;
    return text;
}

std::string Counted(const char* source, std::int64_t n) {
    return Fill(Words(source), {std::to_string(n)});
}

} // namespace

std::string UnreadFoldersText(const search::TWalkStats& stats) {
    if (stats.Unreadable() == 0)
        return {};
    std::vector<std::string> causes;
    for (const search::TUnreadCause cause : search::kUnreadCauses)
        if (const std::int64_t n = search::UnreadCount(stats, cause); n > 0)
            causes.push_back(Counted(CauseWordsOf(cause).Count, n));
    return Fill(Words(QT_TRANSLATE_NOOP("Walk", "読み込めなかったフォルダ %1 （ %2 ）")),
                {std::to_string(stats.Unreadable()), Joined(causes)});
}

std::string UnreadFolderText(const search::TUnreadDir& dir) {
    std::string why = Words(CauseWordsOf(dir.Cause).Folder);
    if (dir.Error != 0)
        why += " : " + platform::TIoError({}, dir.Error).SystemText();
    if (dir.Partly)
        why += Words(QT_TRANSLATE_NOOP("Walk", " ， 一部のみ読み込み"));
    return Fill(Words(QT_TRANSLATE_NOOP("Walk", "%1 （ %2 ）")), {platform::VisibleName(dir.Path), why});
}

std::string NotSearchedText(const search::TWalkStats& stats) {
    if (stats.NotSearched() == 0)
        return {};
    std::vector<std::string> parts;
    if (stats.DotFolders > 0)
        parts.push_back(Counted(QT_TRANSLATE_NOOP("Walk", "ドットで始まる名前 %1"), stats.DotFolders));
    if (stats.Excluded > 0)
        parts.push_back(Counted(QT_TRANSLATE_NOOP("Walk", "除外 %1"), stats.Excluded));
    if (stats.OtherFileSystems > 0)
        parts.push_back(
            Counted(QT_TRANSLATE_NOOP("Walk", "別のファイルシステム %1"), stats.OtherFileSystems));
    return Fill(Words(QT_TRANSLATE_NOOP("Walk", "検索しなかったフォルダ %1 （ %2 ）")),
                {std::to_string(stats.NotSearched()), Joined(parts)});
}

} // namespace tavolix::words
