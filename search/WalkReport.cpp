#include "search/WalkReport.h"

#include "platform/AtomicFile.h"
#include "platform/VisibleName.h"

#include <utility>

namespace tavolix::search {

namespace {

struct TCauseWords {
    TUnreadCause Cause;
    const char* Japanese;
    const char* English;
};

constexpr TCauseWords kCauses[] = {
    {TUnreadCause::Denied, "アクセス拒否", "permission denied"},
    {TUnreadCause::NotAnswering, "応答なし", "did not answer"},
    {TUnreadCause::Error, "読み込みエラー", "read error"},
    {TUnreadCause::NoDescriptors, "開けるファイル数の上限",
     "too many open files (raise the limit, ulimit -n)"},
};

std::int64_t CountOf(const TWalkStats& s, TUnreadCause cause) {
    switch (cause) {
    case TUnreadCause::Denied:
        return s.Denied;
    case TUnreadCause::NoDescriptors:
        return s.NoDescriptors;
    case TUnreadCause::NotAnswering:
        return s.NotAnswering;
    case TUnreadCause::Error:
        return s.Failed;
    }
    return 0;
}

const TCauseWords& WordsOf(TUnreadCause cause) {
    for (const TCauseWords& w : kCauses)
        if (w.Cause == cause)
            return w;
    return kCauses[2];
}

std::string ReasonOf(const TUnreadDir& dir) {
    return dir.Error != 0 ? platform::TIoError({}, dir.Error).SystemText()
                          : std::string(WordsOf(dir.Cause).English);
}

} // namespace

std::string UnreadFoldersText(const TWalkStats& stats) {
    const std::int64_t total = stats.Unreadable();
    if (total == 0)
        return {};
    std::string s = "読み込めなかったフォルダ " + std::to_string(total) + " （ ";
    bool first = true;
    for (const TCauseWords& w : kCauses) {
        if (const std::int64_t n = CountOf(stats, w.Cause); n > 0) {
            s += first ? "" : " ， ";
            s += w.Japanese;
            s += " " + std::to_string(n);
            first = false;
        }
    }
    return s + " ）";
}

std::string UnreadFoldersLine(const TWalkStats& stats) {
    const std::int64_t total = stats.Unreadable();
    if (total == 0)
        return {};
    std::string s =
        std::to_string(total) + (total == 1 ? " directory" : " directories") + " could not be read in full:";
    bool first = true;
    for (const TCauseWords& w : kCauses) {
        if (const std::int64_t n = CountOf(stats, w.Cause); n > 0) {
            s += first ? " " : ", ";
            s += std::to_string(n) + " " + w.English;
            first = false;
        }
    }
    return s;
}

std::string NotSearchedText(const TWalkStats& stats) {
    const std::int64_t total = stats.NotSearched();
    if (total == 0)
        return {};
    const std::pair<const char*, std::int64_t> parts[] = {
        {"ドットで始まる名前", stats.DotFolders},
        {"除外", stats.Excluded},
        {"別のファイルシステム", stats.OtherFileSystems},
    };
    std::string s = "検索しなかったフォルダ " + std::to_string(total) + " （ ";
    bool first = true;
    for (const auto& [words, n] : parts) {
        if (n > 0) {
            s += first ? "" : " ， ";
            s += words;
            s += " " + std::to_string(n);
            first = false;
        }
    }
    return s + " ）";
}

std::string NotSearchedLine(const TWalkStats& stats) {
    const std::int64_t total = stats.NotSearched();
    if (total == 0)
        return {};
    std::string s = std::to_string(total) + (total == 1 ? " folder was" : " folders were") + " not searched:";
    auto add = [&s, first = true](std::int64_t n, const char* one, const char* many) mutable {
        if (n > 0) {
            s += first ? " " : ", ";
            s += std::to_string(n) + " " + (n == 1 ? one : many);
            first = false;
        }
    };
    add(stats.DotFolders, "begins with a dot", "begin with a dot");
    add(stats.Excluded, "excluded", "excluded");
    add(stats.OtherFileSystems, "on another file system", "on other file systems");
    if (stats.DotFolders > 0)
        s += stats.DotFolders == total ? "; --hidden-folders searches them"
                                       : "; --hidden-folders searches those beginning with a dot";
    return s;
}

std::string UnreadFolderText(const TUnreadDir& dir) {
    std::string s = platform::VisibleName(dir.Path) + " （ " + WordsOf(dir.Cause).Japanese;
    if (dir.Error != 0)
        s += " : " + ReasonOf(dir);
    if (dir.Partly)
        s += " ， 一部のみ読み込み";
    return s + " ）";
}

std::string UnreadFolderLine(const TUnreadDir& dir) {
    return platform::VisibleName(dir.Path) + (dir.Partly ? ": read only in part (" : ": not read (") +
           ReasonOf(dir) + ")";
}

std::string BaseUnreadableText(const std::string& baseDir, int error) {
    return "検索ディレクトリ  " + platform::VisibleName(baseDir) + "  を読み込めません。\r\n\r\n" +
           platform::TIoError({}, error).SystemText();
}

} // namespace tavolix::search
