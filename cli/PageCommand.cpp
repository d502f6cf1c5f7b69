#include "cli/PageCommand.h"

#include "hitview/HitColumns.h"
#include "pages/HitExport.h"
#include "pages/PageInput.h"
#include "pages/PageThumbnails.h"
#include "pages/PathFunctions.h"
#include "pages/SavePage.h"
#include "platform/AtomicFile.h"
#include "platform/DateTimeText.h"
#include "platform/Directory.h"
#include "platform/FileFilter.h"
#include "platform/LeftBehind.h"
#include "platform/LocaleFormats.h"
#include "platform/VisibleName.h"
#include "platform/Volumes.h"
#include "search/FileItems.h"
#include "search/ListingStore.h"
#include "search/SearchJob.h"
#include "search/TextMatcher.h"
#include "search/WalkReport.h"
#include "settings/FilterChoice.h"
#include "settings/SavedPages.h"
#include "settings/SearchSettings.h"
#include "thumbs/FileKinds.h"
#include "thumbs/ThumbnailPool.h"
#include "words/CoreWords.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace tavolix::cli {

using search::TSortDirection;
using search::TSortOrder;

namespace {

constexpr const char* kUsage =
    "Usage: tavolix-page [OPTIONS] DIR KEY\n"
    "Searches DIR and every directory below it for files whose names match the\n"
    "wildcard KEY (\"*.gif\", \"a?c.*\"; case is ignored) and prints the hits in the\n"
    "order a result window shows them.\n"
    "\n"
    "  --sort ORDER            directory, name (default), ext, size or time\n"
    "  --down                  reverse the order\n"
    "  --hide-hidden-system    leave out hidden and system files (they still count)\n"
    "  --count                 print only the totals line\n"
    "  --null                  print only the paths, each ended by a NUL byte\n"
    "  --csv                   print the hits as CSV (RFC 4180): a header row, then\n"
    "                          path, name, directory (ending in \"/\"), size in bytes,\n"
    "                          time (ISO 8601 with offset; empty when unknown) and\n"
    "                          attributes\n"
    "  --json                  print the hits as JSON Lines, one object a hit: path,\n"
    "                          name, dir, size, mtime (or null), attr, hidden,\n"
    "                          system, and path_bytes (base64) for a path that\n"
    "                          isn't UTF-8\n"
    "  -j, --threads N         read directories on N threads (1: one at a time);\n"
    "                          the hits and their order do not depend on it\n"
    "  --hidden-folders        also search directories whose names begin with \".\"\n"
    "                          (else they are counted as not searched)\n"
    "  --exclude PATTERN       don't enter directories matching PATTERN, a wildcard\n"
    "                          like KEY matched against a directory's name or, when\n"
    "                          it holds a \"/\", its path below DIR (\"node_modules\",\n"
    "                          \"*/cache\"); may be repeated, adds to the settings\n"
    "  --no-exclude            ignore the exclusions of the settings file\n"
    "  -x, --one-file-system   don't enter directories on other file systems\n"
    "  --key-lists             read \";\" in KEY as a separator of patterns:\n"
    "                          \"*.jpg;*.png\" finds both (else KEY is one pattern)\n"
    "  -t, --type KIND         only files of KIND, by extension: pictures, videos,\n"
    "                          music, documents, archives or programs; may be\n"
    "                          repeated (files of any of the kinds)\n"
    "  -S, --size +N|-N|N      only files of at least (+), at most (-) or exactly\n"
    "                          N bytes; N may end in k, M, G, T (1000, 1000^2, ...)\n"
    "                          or Ki, Mi, Gi, Ti (1024, 1024^2, ...), case ignored;\n"
    "                          repeat for a range: --size +1M --size -10M\n"
    "  --changed-within WHEN   only files last changed at WHEN or later\n"
    "  --changed-before WHEN   only files last changed before WHEN; WHEN is a\n"
    "                          duration back from now (30min, 12h, 7d, 2w, 1d12h)\n"
    "                          or a local date, meaning its midnight (2024-01-01),\n"
    "                          or date and time (\"2024-01-01 10:00:00\")\n"
    "  --contains TEXT         only files that hold TEXT (taken literally) on a line;\n"
    "                          binary files (a NUL byte near the start), links and\n"
    "                          special files are not read; UTF-16 with a byte order\n"
    "                          mark is read as text. --csv and --json add the first\n"
    "                          line that holds it: its number, byte column and text\n"
    "  -i, --ignore-case       with --contains: case is ignored\n"
    "  --word                  with --contains: only TEXT as a whole word\n"
    "  --regex                 with --contains: TEXT is a regular expression (PCRE2)\n"
    "  -o, --output PAGE       write the hits as an HTML page (\".html\" is added to a\n"
    "                          name without extension) and register it in the list\n"
    "                          of saved pages\n"
    "  --thumbnails            with -o: show pictures (JPEG, PNG, GIF, WebP, SVG,\n"
    "                          TIFF, BMP, ICO, metafiles, HEIC, AVIF, cameras' raw\n"
    "                          files, a PDF's first page, a frame of a video) as\n"
    "                          thumbnails linked to their files; the thumbnails go\n"
    "                          into a folder beside the page (PAGE.files)\n"
    "  --no-register           with -o: don't register the page\n"
    "  --saved                 print the saved-pages menu: caption, a tab, hint\n"
    "  --settings FILE         use FILE as the settings file (else $TAVOLIX_SETTINGS,\n"
    "                          else the program's own)\n"
    "  --no-cache              list every directory anew and keep no listings\n"
    "  --update-cache DIR      walk DIR only to keep its directories' listings\n"
    "                          (no KEY; prints no hits)\n"
    "  --help                  show this help\n"
    "  --version               show the version\n"
    "\n"
    "Each hit is one line: path, size, date and time, attributes, tab-separated; on\n"
    "a terminal, control characters in names are shown as \\u escapes.\n"
    "A directory reached by several links is searched once: under its own path, or\n"
    "the first link by name when only links lead there.\n"
    "The choices of the settings file's [Search] section (HiddenFolders=1,\n"
    "Exclude=a;b, OneFileSystem=1, KeyLists=1) apply too; directories they leave\n"
    "out are counted on standard error. The filters of the program's window\n"
    "don't: filters come from the options alone. A page tells its filters on its\n"
    "key line.\n"
    "Exit status: 0 with hits, 1 without (no page is written then), 2 on bad usage,\n"
    "an unreadable DIR or (--saved) an unreadable settings file, 3 when the page or\n"
    "its registration could not be written, 4 when directories below DIR could not\n"
    "be read in full (permission denied, an I/O error, too many open files, ...)\n"
    "or, with --contains, files could not be read or the pattern gave up on one:\n"
    "each is named on standard error, and the hits found are still printed.\n"
    "A directory that gives nothing for 5 s (a share that stopped answering) is\n"
    "named on standard error; SIGINT, SIGTERM or SIGHUP then stop the search with 4:\n"
    "the hits found until then are printed, and no page is written.\n"
    "The listings of directories read whole are kept in $XDG_CACHE_HOME/tavolix\n"
    "(~/.cache/tavolix): a later search goes over a directory's kept listing\n"
    "while the directory is unchanged since, and finds what a new listing would.\n";

// What tavolix-page tells on standard error is English in every language.
const char* CauseWords(search::TUnreadCause cause) {
    switch (cause) {
    case search::TUnreadCause::Denied:
        return "permission denied";
    case search::TUnreadCause::NotAnswering:
        return "did not answer";
    case search::TUnreadCause::Error:
        break;
    case search::TUnreadCause::NoDescriptors:
        return "too many open files (raise the limit, ulimit -n)";
    }
    return "read error";
}

// "3 directories could not be read in full: 2 permission denied, 1 did not answer".
std::string UnreadFoldersLine(const search::TWalkStats& stats) {
    const std::int64_t total = stats.Unreadable();
    std::string s =
        std::to_string(total) + (total == 1 ? " directory" : " directories") + " could not be read in full:";
    bool first = true;
    for (const search::TUnreadCause cause : search::kUnreadCauses) {
        if (const std::int64_t n = search::UnreadCount(stats, cause); n > 0) {
            s += first ? " " : ", ";
            s += std::to_string(n) + " " + CauseWords(cause);
            first = false;
        }
    }
    return s;
}

// "/a/b/: not read (Permission denied)".
std::string UnreadFolderLine(const search::TUnreadDir& dir) {
    const std::string reason =
        dir.Error != 0 ? platform::TIoError({}, dir.Error).SystemText() : std::string(CauseWords(dir.Cause));
    return platform::VisibleName(dir.Path) + (dir.Partly ? ": read only in part (" : ": not read (") +
           reason + ")";
}

// "3 folders were not searched: 2 begin with a dot, 1 excluded; --hidden-folders
// searches those beginning with a dot"; empty when every folder was searched.
std::string NotSearchedLine(const search::TWalkStats& stats) {
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

struct TOptions {
    TSortOrder Order = TSortOrder::soName;
    bool Down = false;
    bool HideHiddenSystem = false;
    bool Count = false;
    bool Null = false;
    bool Csv = false;
    bool Json = false;
    bool Saved = false;
    bool Register = true;
    bool Thumbnails = false;
    int Threads = 0; // 0: the default
    bool HiddenFolders = false;
    bool OneFileSystem = false;
    bool NoExclude = false;
    std::vector<std::string> Exclude;
    bool KeyLists = false;
    settings::TFilterChoice Filter;
    search::TContentChoice Contents;
    bool ContentFlags = false; // -i, --word or --regex given
    std::optional<std::string> Output;
    std::optional<std::string> Settings;
    bool NoCache = false;
    std::optional<std::string> UpdateCache; // the directory
    std::vector<std::string> Positional;
};

// Writes the page with thumbnails, made by as many helpers as there are cores;
// a helper that could not give up what its sandbox takes away is told once.
platform::TIoResult WriteThumbnailPage(const pages::TPageInput& page, const std::string& helper,
                                       std::ostream& err) {
    thumbs::TPoolOptions options;
    options.HelperPath = helper;
    options.Processes = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    thumbs::TThumbnailPool pool(std::move(options));
    pages::TPageProgress progress;
    platform::TIoResult result = pages::WriteThumbnailPage(page, pool, progress);
    if (const std::optional<thumbs::TSandboxState> sandbox = pool.Sandbox(); sandbox && !sandbox->Complete())
        err << "tavolix-page: the picture helper ran without its full sandbox (" << sandbox->Detail
            << "): its decoders could read the user's files\n";
    return result;
}

// Writes (and registers) the page of the hits, as a result window does when
// the selected drive is the base directory's volume. `helper`: the picture
// helper for a page with thumbnails, else "".
int WritePageOf(const search::TFileItemList& list, const std::string& dir, const std::string& key,
                const std::string& pageFile, bool registerPage, const std::string& settingsFile,
                const std::string& helper, std::ostream& err) {
    platform::TMountTable volumes = platform::TMountTable::System();
    const platform::TVolume* volume = volumes.VolumeOf(dir);
    const bool network = volume && volume->Network && !volume->Share.empty();
    pages::TPageInput page =
        pages::MakePageInput(list, pageFile, dir, key, list.GetTotalSize(), network, volumes,
                             platform::LocalDateTimeText(std::time(nullptr)), words::PageTexts());
    pages::TPageWrite write;
    if (!helper.empty())
        write = [&helper, &err](const pages::TPageInput& in) { return WriteThumbnailPage(in, helper, err); };
    if (!registerPage) {
        if (auto e = write ? write(page) : pages::WritePage(page)) {
            err << "tavolix-page: " << e->Path << ": " << e->SystemText() << '\n';
            return 3;
        }
        return 0;
    }
    settings::TSavedPages ring(settingsFile); // Register reads the file under its lock
    pages::TSavePageResult r = pages::SaveAndRegisterPage(page, ring, write);
    if (r.PageError) {
        err << "tavolix-page: " << r.PageError->Path << ": " << r.PageError->SystemText() << '\n';
        return 3;
    }
    if (r.SettingsError) {
        err << "tavolix-page: " << words::RegisterErrorText(*r.SettingsError) << '\n';
        return 3;
    }
    return 0;
}

// An option with a value, as "--name VALUE", "--name=VALUE" or (short)
// "-n VALUE": nothing when args[i] is not `names`; a missing value is
// told on `err` by the caller's check (Value empty).
struct TValued {
    std::optional<std::string> Value;
};
std::optional<TValued> ValuedOption(const std::vector<std::string>& args, std::size_t& i,
                                    std::pair<std::string_view, std::string_view> names) {
    const std::string& a = args[i];
    const auto& [shortName, longName] = names;
    if (a.size() > longName.size() && a.compare(0, longName.size(), longName) == 0 &&
        a[longName.size()] == '=')
        return TValued{a.substr(longName.size() + 1)};
    if (a != longName && (shortName.empty() || a != shortName))
        return std::nullopt;
    if (i + 1 >= args.size())
        return TValued{};
    return TValued{args[++i]};
}

int NeedsValue(const std::string& option, const char* what, std::ostream& err) {
    err << "tavolix-page: " << option << " needs " << what << '\n';
    return 2;
}

constexpr const char* kKindList = "pictures, videos, music, documents, archives or programs";

bool AddKind(const std::string& kind, settings::TFilterChoice& filter, std::ostream& err) {
    if (!thumbs::KindGroupNamed(kind)) {
        err << "tavolix-page: unknown kind '" << platform::VisibleName(kind) << "' for --type (" << kKindList
            << ")\n";
        return false;
    }
    if (std::find(filter.Kinds.begin(), filter.Kinds.end(), kind) == filter.Kinds.end())
        filter.Kinds.push_back(kind);
    return true;
}

// Of several bounds the narrowest counts.
bool AddSize(const std::string& text, settings::TFilterChoice& filter, std::ostream& err) {
    const std::optional<platform::TSizeBound> bound = platform::ParseSizeBound(text);
    if (!bound) {
        err << "tavolix-page: bad size '" << platform::VisibleName(text)
            << "' for --size: give +N (at least), -N (at most) or N (exactly), N in bytes or with\n"
               "  k, M, G, T (powers of 1000) or Ki, Mi, Gi, Ti (powers of 1024): --size +10M\n";
        return false;
    }
    const std::string number = text.substr(text[0] == '+' || text[0] == '-' ? 1 : 0);
    auto narrow = [&](std::string& kept, bool atLeast) {
        const std::optional<std::int64_t> old = kept.empty() ? std::nullopt : platform::ParseSize(kept);
        if (!old || (atLeast ? bound->Bytes > *old : bound->Bytes < *old))
            kept = number;
    };
    if (bound->Kind != platform::TSizeBound::AtMost)
        narrow(filter.MinSize, true);
    if (bound->Kind != platform::TSizeBound::AtLeast)
        narrow(filter.MaxSize, false);
    return true;
}

bool AddChanged(const std::string& text, bool within, std::time_t now, settings::TFilterChoice& filter,
                std::ostream& err) {
    const std::optional<std::int64_t> point = platform::ParseTimePoint(text, now);
    if (!point) {
        err << "tavolix-page: bad time '" << platform::VisibleName(text) << "' for "
            << (within ? "--changed-within" : "--changed-before")
            << ": give a duration back from now (30min, 12h, 7d, 2w) or a local date\n"
               "  (2024-01-01, its midnight) or date and time (\"2024-01-01 10:00:00\")\n";
        return false;
    }
    std::string& kept = within ? filter.ChangedWithin : filter.ChangedBefore;
    const std::optional<std::int64_t> old = kept.empty() ? std::nullopt : platform::ParseTimePoint(kept, now);
    if (!old || (within ? *point > *old : *point < *old))
        kept = text;
    return true;
}

// Reads the arguments into o. Returns an exit code when the command ends
// here (help, version, bad usage), nothing when it goes on.
std::optional<int> ParseOptions(const std::vector<std::string>& args, TOptions& o, std::time_t now,
                                std::ostream& out, std::ostream& err) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.Positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        } else if (a == "--version") {
            out << "tavolix-page " TAVOLIX_VERSION "\n";
            return 0;
        } else if (a == "--sort" || a.rfind("--sort=", 0) == 0) {
            if (a == "--sort" && i + 1 >= args.size()) {
                err << "tavolix-page: --sort needs an order (" << hitview::SortOptionNames() << ")\n";
                return 2;
            }
            const std::string v = a == "--sort" ? args[++i] : a.substr(7);
            auto order = hitview::SortOrderNamed(v);
            if (!order) {
                err << "tavolix-page: unknown sort order '" << v << "' (" << hitview::SortOptionNames()
                    << ")\n";
                return 2;
            }
            o.Order = *order;
        } else if (a == "--down") {
            o.Down = true;
        } else if (a == "--hide-hidden-system") {
            o.HideHiddenSystem = true;
        } else if (a == "--count") {
            o.Count = true;
        } else if (a == "--null") {
            o.Null = true;
        } else if (a == "--csv") {
            o.Csv = true;
        } else if (a == "--json") {
            o.Json = true;
        } else if (a == "--saved") {
            o.Saved = true;
        } else if (a == "--no-register") {
            o.Register = false;
        } else if (a == "--thumbnails") {
            o.Thumbnails = true;
        } else if (a == "--hidden-folders") {
            o.HiddenFolders = true;
        } else if (a == "-x" || a == "--one-file-system") {
            o.OneFileSystem = true;
        } else if (a == "--no-exclude") {
            o.NoExclude = true;
        } else if (a == "--exclude" || a.rfind("--exclude=", 0) == 0) {
            if (a == "--exclude" && (i + 1 >= args.size() || args[i + 1].empty())) {
                err << "tavolix-page: --exclude needs a pattern\n";
                return 2;
            }
            o.Exclude.push_back(a == "--exclude" ? args[++i] : a.substr(10));
        } else if (a == "--key-lists") {
            o.KeyLists = true;
        } else if (a == "--no-cache") {
            o.NoCache = true;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"", "--update-cache"}); v) {
            if (!v->Value || v->Value->empty())
                return NeedsValue(a, "a directory", err);
            o.UpdateCache = *v->Value;
        } else if (a == "-i" || a == "--ignore-case") {
            o.Contents.IgnoreCase = o.ContentFlags = true;
        } else if (a == "--word") {
            o.Contents.WholeWords = o.ContentFlags = true;
        } else if (a == "--regex") {
            o.Contents.Regex = o.ContentFlags = true;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"", "--contains"}); v) {
            if (!v->Value || v->Value->empty())
                return NeedsValue(a, "a text", err);
            o.Contents.Text = *v->Value;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"-t", "--type"}); v) {
            if (!v->Value)
                return NeedsValue(a, "a kind", err);
            if (!AddKind(*v->Value, o.Filter, err))
                return 2;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"-S", "--size"}); v) {
            if (!v->Value)
                return NeedsValue(a, "a size", err);
            if (!AddSize(*v->Value, o.Filter, err))
                return 2;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"", "--changed-within"}); v) {
            if (!v->Value)
                return NeedsValue(a, "a duration or a date", err);
            if (!AddChanged(*v->Value, true, now, o.Filter, err))
                return 2;
        } else if (std::optional<TValued> v = ValuedOption(args, i, {"", "--changed-before"}); v) {
            if (!v->Value)
                return NeedsValue(a, "a duration or a date", err);
            if (!AddChanged(*v->Value, false, now, o.Filter, err))
                return 2;
        } else if (a == "-j" || a == "--threads" || a.rfind("--threads=", 0) == 0 ||
                   (a.rfind("-j", 0) == 0 && a.size() > 2)) {
            const bool joined = a.size() > 2 && a != "--threads";
            if (!joined && i + 1 >= args.size()) {
                err << "tavolix-page: " << a << " needs a number of threads\n";
                return 2;
            }
            const std::string v = joined ? a.substr(a[1] == 'j' ? 2 : 10) : args[++i];
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || n < 1 || n > 1024) {
                err << "tavolix-page: bad number of threads '" << v << "' (1 to 1024)\n";
                return 2;
            }
            o.Threads = static_cast<int>(n);
        } else if (a == "-o" || a == "--output" || a == "--settings") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                err << "tavolix-page: " << a << " needs a file name\n";
                return 2;
            }
            (a == "--settings" ? o.Settings : o.Output) = args[++i];
        } else {
            err << "tavolix-page: unknown option '" << a << "'\n"
                << "Try 'tavolix-page --help'.\n";
            return 2;
        }
    }
    if (o.UpdateCache) {
        if (!o.Positional.empty() || o.Output || o.Saved || o.NoCache) {
            err << "tavolix-page: --update-cache takes one directory, and no key, page, --saved or "
                   "--no-cache\n";
            return 2;
        }
        o.Positional = {*o.UpdateCache, ""}; // a key of no name: files are not looked at
    }
    if (o.Saved && (!o.Positional.empty() || o.Output)) {
        err << "tavolix-page: --saved takes no directory, key or page\n";
        return 2;
    }
    if (!o.Saved && o.Positional.size() != 2) {
        err << "tavolix-page: expected a directory and a key\n"
            << "Try 'tavolix-page --help'.\n";
        return 2;
    }
    if (o.Thumbnails && !o.Output) {
        err << "tavolix-page: --thumbnails goes with -o PAGE\n";
        return 2;
    }
    if (o.Count && o.Null) {
        err << "tavolix-page: --count and --null don't go together\n";
        return 2;
    }
    if (int(o.Count) + int(o.Null) + int(o.Csv) + int(o.Json) > 1) {
        err << "tavolix-page: choose one of --count, --null, --csv and --json\n";
        return 2;
    }
    if (o.ContentFlags && o.Contents.Empty()) {
        err << "tavolix-page: -i, --word and --regex go with --contains TEXT\n";
        return 2;
    }
    // A pattern that can't be compiled is told before anything is searched.
    if (search::TPatternError e; !o.Contents.Empty() && !search::TTextMatcher::Make(o.Contents, &e)) {
        err << "tavolix-page: bad " << (o.Contents.Regex ? "regular expression" : "text") << " '"
            << platform::VisibleName(o.Contents.Text) << "' at offset " << e.Offset << ": " << e.Message
            << '\n';
        return 2;
    }
    return std::nullopt;
}

// An unreadable settings file is told and lists nothing: its ring is unknown.
int PrintSavedPages(const std::string& settingsFile, bool terminal, std::ostream& out, std::ostream& err) {
    settings::TSavedPages ring(settingsFile);
    if (auto e = ring.Load()) {
        err << "tavolix-page: " << words::CannotReadText(*e) << '\n';
        return 2;
    }
    for (const auto& item : ring.MenuItems()) {
        const std::string hint = words::SavedPageHint(item);
        if (terminal)
            out << platform::VisibleName(item.Caption) << '\t' << platform::VisibleName(hint) << '\n';
        else
            out << item.Caption << '\t' << hint << '\n';
    }
    out.flush();
    return 0;
}

// 0 when `dir` can be read, else why not (an errno).
int UnreadableDirectoryError(const std::string& dir) {
    platform::TDirectory probe = platform::TDirectory::Open(dir);
    platform::TDirContents contents;
    if (!probe.IsOpen() || !probe.Read(platform::TWildcard(""), contents))
        return probe.IsOpen() ? EACCES : probe.Error();
    return 0;
}

// How long a folder may give nothing before the wait for it is told.
constexpr int kTellWaitAfterSeconds = 5;
// How often a wait looks for a stop signal.
constexpr std::chrono::milliseconds kWatchTick{100};
// A stopped walk that does nothing for this long is stuck in the kernel.
constexpr std::chrono::milliseconds kStopGrace{200};

// The signals that stop the search: blocked on every thread while it runs,
// so that they are taken by the watch alone.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

// Blocks the stop signals for its life; after a stop they are ignored from
// then on (a second one, from the terminal and passed on, ends nothing).
class TStopSignalsBlocked {
public:
    TStopSignalsBlocked() {
        const sigset_t set = StopSignals();
        ::pthread_sigmask(SIG_BLOCK, &set, &FOld);
    }
    ~TStopSignalsBlocked() {
        if (FStopped) {
            for (int signal : {SIGINT, SIGTERM, SIGHUP})
                std::signal(signal, SIG_IGN);
        }
        ::pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
    }
    TStopSignalsBlocked(const TStopSignalsBlocked&) = delete;
    TStopSignalsBlocked& operator=(const TStopSignalsBlocked&) = delete;
    void Stopped() { FStopped = true; }

private:
    sigset_t FOld;
    bool FStopped = false;
};

// Waits, a tick at a time, until `waitForEnd` says the work ended; false
// when a stop signal came first. A folder that `at` names for
// kTellWaitAfterSeconds without the work getting on is told on `err`, once
// while the wait for it lasts.
bool WatchWait(const std::function<bool(std::chrono::milliseconds)>& waitForEnd,
               const std::function<search::TSearchJob::TProgress()>& at, std::ostream& err) {
    const sigset_t stop = StopSignals();
    search::TSearchJob::TProgress last = at();
    auto since = std::chrono::steady_clock::now();
    bool told = false;
    for (;;) {
        if (waitForEnd(kWatchTick))
            return true;
        const timespec now{0, 0};
        if (::sigtimedwait(&stop, nullptr, &now) > 0)
            return false;
        search::TSearchJob::TProgress progress = at();
        if (progress.Path != last.Path || progress.FileCount != last.FileCount ||
            progress.Steps != last.Steps) {
            last = std::move(progress);
            since = std::chrono::steady_clock::now();
            told = false;
        } else if (!told &&
                   std::chrono::steady_clock::now() - since >= std::chrono::seconds(kTellWaitAfterSeconds)) {
            err << "tavolix-page: "
                << words::WaitingForText(platform::VisibleName(last.Path), kTellWaitAfterSeconds) << '\n';
            err.flush();
            told = true;
        }
    }
}

// Looks at the base directory on a thread of its own, which a share that
// stopped answering may keep: 0 when it can be read, an errno when not (EAGAIN
// when no thread could be started), nothing when a stop signal ended the wait
// (the thread is left behind).
std::optional<int> WatchedDirectoryError(const std::string& dir, std::ostream& err) {
    auto error = std::make_shared<int>(0);
    platform::TLeavableThread check;
    try {
        check = platform::TLeavableThread([error, dir] { *error = UnreadableDirectoryError(dir); });
    } catch (const std::system_error&) {
        return EAGAIN;
    }
    auto at = [&dir] { return search::TSearchJob::TProgress{dir, 0}; };
    if (!WatchWait([&check](std::chrono::milliseconds tick) { return check.WaitFor(tick); }, at, err))
        return std::nullopt;
    return *error;
}

// The settings file's choices with the command line's on top, and the
// command line's filters.
search::TWalkOptions WalkOptionsOf(const TOptions& o, const std::string& settingsFile, const std::string& key,
                                   std::time_t now, std::ostream& err) {
    search::TWalkOptions walk;
    if (auto e = settings::LoadWalkOptions(settingsFile, walk))
        err << "tavolix-page: " << words::CannotReadText(*e) << '\n';
    walk.HiddenFolders = walk.HiddenFolders || o.HiddenFolders;
    walk.OneFileSystem = walk.OneFileSystem || o.OneFileSystem;
    walk.KeyLists = walk.KeyLists || o.KeyLists;
    if (o.NoExclude)
        walk.Exclude.clear();
    walk.Exclude.insert(walk.Exclude.end(), o.Exclude.begin(), o.Exclude.end());
    // Every value was read when the options were: the same moment reads the same.
    settings::ResolveFilter(o.Filter, now, walk.Filter);
    walk.FilterText = words::FilterText(o.Filter, walk.KeyLists && key.find(';') != std::string::npos);
    return walk;
}

// A key holding ";" read as one pattern that found nothing: how to search it as a list.
void TellKeyLists(const search::TWalkOptions& walk, const std::string& key, std::ostream& err) {
    if (walk.KeyLists || key.find(';') == std::string::npos)
        return;
    err << "tavolix-page: the key '" << platform::VisibleName(key)
        << "' is one pattern, \";\" included; --key-lists (or KeyLists=1 in the settings\n"
           "  file's [Search] section) searches each pattern between the \";\"\n";
}

// With --contains: where the hits hold the text, and what reading came to.
struct TContentOutcome {
    std::unordered_map<std::string, search::TContentMatch> Matches;
    search::TContentCounts Counts;
};

// Walks dir for key and orders the hits as a result window does. The walk
// runs on a thread of its own while this one watches it (WatchWait): true
// when a stop signal ended it, with what it found until then.
bool RunSearch(search::TFileItemList& list, const TOptions& o, const search::TWalkOptions& walk,
               const std::string& dir, const std::string& key, const platform::TLocaleFormats& formats,
               const std::shared_ptr<search::TListingStore>& store, TContentOutcome& content,
               std::ostream& err) {
    list.SetFormats(formats);
    list.Files().ChangeSortOrder(o.Order);
    list.StoreSortDirection(o.Down ? TSortDirection::sdDownword : TSortDirection::sdUpword);
    list.SetShowHiddenSysFile(!o.HideHiddenSystem);
    list.SetMask(key);
    if (o.Threads > 0)
        list.Files().SetWalkThreads(o.Threads);
    list.Files().SetWalkOptions(walk);
    list.Files().SetContents(o.Contents);
    list.Files().ClearFiles();
    // The job's own walk, the store beside it (held by a walk left behind).
    search::TSearchJob::TWalkRun run;
    if (store)
        run = [store, dir, mask = list.Files().FileMask(), threads = list.Files().WalkThreads(),
               limit = list.Files().OpenDirectoryLimit(), options = list.Files().WalkOptions()](
                  search::TWalkVisitor& feed, const std::atomic<bool>& stop) {
            const platform::TWildcard wildcard = platform::TWildcard::Key(mask, options.KeyLists);
            search::TDirWalker walker(wildcard, threads);
            walker.SetOpenDirectoryLimit(limit);
            walker.SetStopFlag(&stop);
            walker.SetOptions(options);
            walker.SetListingStore(store.get());
            return walker.Walk(dir, feed);
        };
    const std::unique_ptr<search::TSearchJob> job =
        search::TSearchJob::Start(list.Files(), dir, std::move(run));
    const bool whole = WatchWait([&job](std::chrono::milliseconds tick) { return job->WaitForEnd(tick); },
                                 [&job] { return job->Progress(); }, err);
    // A walk that does not end when asked is stuck in the kernel: it is
    // left behind, its folder counted as not answering.
    if (!job->StopAndWait(kStopGrace))
        job->Abandon();
    job->Finish(list.Files());
    list.RefreshItems();
    if (!o.Contents.Empty()) {
        content.Matches = job->ContentMatches();
        content.Counts = job->ContentCounts();
    }
    return !whole;
}

// One line a hit (or NUL-ended paths), or the totals line alone. On a
// terminal the lines are for reading: a name's escape sequences and line
// breaks are shown, not obeyed.
void PrintHits(const search::TFileItemList& list, const TOptions& o, const platform::TLocaleFormats& formats,
               bool terminal, const TContentOutcome& content, std::ostream& out) {
    pages::THitContent where;
    if (!o.Contents.Empty())
        where = [&content](const search::TFileInfo& r) -> const search::TContentMatch* {
            const auto it = content.Matches.find(r.Path());
            return it == content.Matches.end() ? nullptr : &it->second;
        };
    if (o.Csv)
        return where ? pages::WriteHitsCsv(list, where, out) : pages::WriteHitsCsv(list, out);
    if (o.Json)
        return where ? pages::WriteHitsJsonLines(list, where, out) : pages::WriteHitsJsonLines(list, out);
    if (o.Count) {
        out << search::SortStatusText(list.GetSortOrderName(), list.GetSortDirectionName(),
                                      list.GetFileCount(), list.GetTotalSize(), formats)
            << '\n';
        out.flush();
        return;
    }
    std::string line;
    for (int i = 0; i < list.Count(); ++i) {
        const search::TFileInfo* r = list.Item(i);
        line.assign(r->Dir());
        line.append(r->Name());
        if (terminal && !o.Null)
            line = platform::VisibleName(line);
        if (o.Null) {
            line.push_back('\0');
        } else {
            line += '\t';
            line += search::SizeToText(r->Size, formats);
            line += '\t';
            line += search::FileDateToText(r->Time, formats);
            line += '\t';
            line += search::AttrToText(r->Attr);
            line += '\n';
        }
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    out.flush();
}

// Names the folders not read in full on standard error, with a count by
// cause, then counts the folders the choices left out; true when folders
// could not be read.
bool ReportUnread(const search::TWalkStats& stats, std::ostream& err) {
    for (const search::TUnreadDir& dir : stats.UnreadDirs)
        err << "tavolix-page: " << UnreadFolderLine(dir) << '\n';
    if (stats.Unreadable() > 0)
        err << "tavolix-page: " << UnreadFoldersLine(stats) << '\n';
    if (const std::string line = NotSearchedLine(stats); !line.empty())
        err << "tavolix-page: " << line << '\n';
    return stats.Unreadable() > 0;
}

// With --contains: names the files that could not be searched for the text
// and counts those not read by choice; true when some could not be.
bool ReportUnsearched(const TOptions& o, const search::TContentCounts& counts, std::ostream& err) {
    if (o.Contents.Empty())
        return false;
    for (const search::TUnsearchedFile& f : counts.Failed) {
        err << "tavolix-page: " << platform::VisibleName(f.Path);
        if (f.Why == search::TContentEnd::Limit)
            err << ": not searched to its end (the pattern gave up after "
                << search::TTextMatcher::kMatchLimit << " steps on a line)\n";
        else
            err << ": not read (" << platform::TIoError({}, f.Error).SystemText() << ")\n";
    }
    if (counts.Binary + counts.NotRegular > 0) {
        err << "tavolix-page: not read for the text:";
        if (counts.Binary > 0)
            err << ' ' << counts.Binary << (counts.Binary == 1 ? " binary file" : " binary files");
        if (counts.NotRegular > 0)
            err << (counts.Binary > 0 ? ", " : " ") << counts.NotRegular
                << (counts.NotRegular == 1 ? " link or special file" : " links or special files");
        err << '\n';
    }
    return !counts.Failed.empty();
}

} // namespace

bool ThreadsLeftBehind() {
    return platform::ThreadsLeftBehind() > 0;
}

int RunPageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool outIsTerminal) {
    TOptions o;
    const std::time_t now = std::time(nullptr);
    if (std::optional<int> done = ParseOptions(args, o, now, out, err))
        return *done;
    const std::string settingsFile = o.Settings ? *o.Settings : settings::SettingsFilePath();
    if (o.Saved)
        return PrintSavedPages(settingsFile, outIsTerminal, out, err);

    // A page links its files relative to itself: both need absolute paths.
    const std::string dir = o.Output ? pages::AbsolutePath(o.Positional[0]) : o.Positional[0];
    const std::string pageFile = o.Output ? pages::AbsolutePath(*o.Output) : std::string();
    if (o.Output && (dir.empty() || pageFile.empty())) {
        err << "tavolix-page: the working directory is gone: give absolute paths\n";
        return 2;
    }
    const std::string& key = o.Positional[1];
    if (dir.empty()) {
        err << "tavolix-page: the directory is empty\n";
        return 2;
    }
    // Looked for before the walk: without it no such page can be written.
    const std::string helper = o.Thumbnails ? thumbs::FindThumbnailer() : std::string();
    if (o.Thumbnails && helper.empty()) {
        err << "tavolix-page: --thumbnails: the picture helper tavolix-thumbnailer is not installed\n";
        return 3;
    }

    std::shared_ptr<search::TListingStore> store;
    if (!o.NoCache)
        if (const std::string folder = search::TListingStore::DefaultFolder(); !folder.empty())
            store = std::make_shared<search::TListingStore>(folder);
    if (o.UpdateCache && !store) {
        err << "tavolix-page: --update-cache: neither $XDG_CACHE_HOME nor $HOME is an absolute path\n";
        return 3;
    }
    search::TFileItemList list;
    search::TWalkOptions walk;
    TContentOutcome content;
    const platform::TLocaleFormats formats = platform::SystemLocaleFormats();
    bool stopped = false;
    {
        TStopSignalsBlocked blocked;
        // A directory that can't be read is bad usage, not a search without hits.
        const std::optional<int> baseError = WatchedDirectoryError(dir, err);
        if (baseError && *baseError != 0) {
            err << "tavolix-page: " << dir << ": not a readable directory (" << std::strerror(*baseError)
                << ")\n";
            return 2;
        }
        if (!baseError) {
            blocked.Stopped();
            search::TWalkStats stats;
            stats.AddUnread(
                {dir.ends_with('/') ? dir : dir + "/", search::TUnreadCause::NotAnswering, 0, false});
            ReportUnread(stats, err);
            err << "tavolix-page: " << words::SearchStoppedText(o.Output.has_value()) << '\n';
            return 4;
        }
        walk = WalkOptionsOf(o, settingsFile, key, now, err);
        stopped = RunSearch(list, o, walk, dir, key, formats, store, content, err);
        if (stopped)
            blocked.Stopped();
    }
    if (stopped) {
        // What was found is told, the page that would show a part of it is not written.
        PrintHits(list, o, formats, outIsTerminal, content, out);
        ReportUnread(list.Files().Stats(), err);
        ReportUnsearched(o, content.Counts, err);
        err << "tavolix-page: " << words::SearchStoppedText(o.Output.has_value()) << '\n';
        return 4;
    }
    // Kept only from a walk that ended: the listings of a walk left behind may still change.
    if (store) {
        if (platform::TIoResult e = store->Save()) {
            err << "tavolix-page: listings not kept: " << e->Path << ": " << e->SystemText() << '\n';
            if (o.UpdateCache)
                return 3;
        }
    }
    if (o.UpdateCache)
        return ReportUnread(list.Files().Stats(), err) ? 4 : 0;
    if (o.Output && list.Count() == 0) {
        // Hits that are all hidden still count, but make no page.
        err << "tavolix-page: no page written: "
            << (list.GetFileCount() > 0 ? "every hit is hidden or system" : "no hits") << '\n';
        if (list.GetFileCount() == 0)
            TellKeyLists(walk, key, err);
        const bool unread = ReportUnread(list.Files().Stats(), err);
        return ReportUnsearched(o, content.Counts, err) || unread ? 4 : 1;
    }
    if (o.Output) {
        if (int rc = WritePageOf(list, dir, key, pages::PageFileName(pageFile), o.Register, settingsFile,
                                 helper, err);
            rc != 0)
            return rc;
    }
    PrintHits(list, o, formats, outIsTerminal, content, out);
    if (list.GetFileCount() == 0)
        TellKeyLists(walk, key, err);
    const bool unread = ReportUnread(list.Files().Stats(), err);
    if (ReportUnsearched(o, content.Counts, err) || unread)
        return 4;
    return list.GetFileCount() > 0 ? 0 : 1;
}

} // namespace tavolix::cli
