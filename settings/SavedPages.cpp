#include "settings/SavedPages.h"

#include "platform/PathText.h"
#include "platform/Profile.h"
#include "platform/VisibleName.h"
#include "platform/Volumes.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::settings {

namespace {

std::string SectionOf(int slot) {
    return "NO" + std::to_string(slot);
}

// "&" in data would turn the next character into the access key.
std::string MenuText(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

// How long a saved page's volume may take to say whether the page is there.
constexpr int kPageAnswerMs = 1000;

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Errors name the settings file, not its lock file or its link's target.
platform::TIoError WithSettingsFile(platform::TIoError error, const std::string& file) {
    error.Path = file;
    return error;
}

// The six values as the file receives them: page path and base folder on a
// network volume in their network form.
platform::TProfileValues FileValues(const TSavedPageFields& values, const platform::TMountTable& volumes) {
    platform::TProfileValues out;
    for (int key = 1; key <= 6; ++key) {
        std::string value = values[key - 1];
        if (key <= 2 && IsRemoteDrive(value, volumes))
            value = platform::NetFileName(value, volumes);
        out.emplace_back(std::to_string(key), std::move(value));
    }
    return out;
}

// Why a value would not read back as written (None when it would). A path
// must come back exactly; a key loses its surrounding blanks, as ever.
TRefusal WhyNotStorable(std::string_view value, bool isPath) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return TRefusal::LineBreak;
    if (value.size() > platform::kMaxProfileValue)
        return TRefusal::TooLong;
    if (isPath && !value.empty() &&
        (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' || value.back() == '\t'))
        return TRefusal::Blanks;
    return TRefusal::None;
}

} // namespace

std::optional<long long> ParseProfileInt(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        if (value > (LLONG_MAX - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

TSavedPages::TSavedPages(std::string settingsFile) : FSettingsFile(std::move(settingsFile)) {
    SetBase(kSavedPageSlots);
}

void TSavedPages::SetBase(int base) {
    FSavedOrder[0] = base;
    for (int i = 1; i < kSavedPageSlots; ++i)
        FSavedOrder[i] = base + i <= kSavedPageSlots ? base + i : (base + i) % kSavedPageSlots;
}

platform::TIoResult TSavedPages::Load() {
    platform::TProfileText profile;
    platform::TIoResult err = platform::ReadProfileFile(FSettingsFile, profile);
    LoadSavedPages(profile);
    LoadChildBaseNO(profile);
    return err;
}

void TSavedPages::LoadSavedPages(const platform::TProfileText& profile) {
    for (int slot = 1; slot <= kSavedPageSlots; ++slot)
        for (int key = 1; key <= 6; ++key)
            FSavedPages[slot - 1][key - 1] = profile.Get(SectionOf(slot), std::to_string(key)).value_or("");
}

void TSavedPages::LoadChildBaseNO(const platform::TProfileText& profile) {
    auto value = ParseProfileInt(profile.Get(kBaseSection, kBaseKey).value_or(""));
    SetBase(value && *value >= 1 && *value <= kSavedPageSlots ? static_cast<int>(*value) : kSavedPageSlots);
}

platform::TIoResult TSavedPages::SaveChildBaseNO(int slot) {
    const int before = FSavedOrder[0];
    SetBase(slot);
    platform::TIoResult err = platform::MakeParentDirectories(FSettingsFile);
    if (!err)
        err = platform::WriteProfileString(FSettingsFile, kBaseSection, kBaseKey, std::to_string(slot));
    if (err) {
        SetBase(before);
        return WithSettingsFile(*err, FSettingsFile);
    }
    return std::nullopt;
}

platform::TIoResult TSavedPages::WriteSavedPage(const TSavedPageFields& values, int slot,
                                                const platform::TMountTable& volumes) const {
    if (values[0].empty())
        return std::nullopt;
    platform::TIoResult err = platform::MakeParentDirectories(FSettingsFile);
    if (!err)
        err = platform::WriteProfileStrings(FSettingsFile, SectionOf(slot), FileValues(values, volumes));
    if (err)
        return WithSettingsFile(*err, FSettingsFile);
    return std::nullopt;
}

TRegisterResult TSavedPages::Register(const TSavedPageFields& record, const platform::TMountTable& volumes) {
    TSavedPageFields stored = record;
    if (!stored[1].empty())
        stored[1] = platform::AddBackSlash(stored[1]);
    const platform::TProfileValues values = FileValues(stored, volumes);
    if (!stored[0].empty())
        for (std::size_t i = 0; i < values.size(); ++i)
            if (const TRefusal why = WhyNotStorable(values[i].second, i < 2); why != TRefusal::None)
                return TRegisterError{{FSettingsFile, EINVAL}, values[i].second, why};

    int slot = 0;
    platform::TIoResult err = platform::MakeParentDirectories(FSettingsFile);
    if (!err)
        err = platform::UpdateProfileFile(FSettingsFile, [&](platform::TProfileText& profile) {
            // The file as it is now: another program may have registered pages.
            LoadSavedPages(profile);
            LoadChildBaseNO(profile);
            slot = FSavedOrder[1];
            bool ok = profile.Set(kBaseSection, kBaseKey, std::to_string(slot));
            if (!stored[0].empty())
                for (const auto& [key, value] : values)
                    ok = ok && profile.Set(SectionOf(slot), key, value);
            return ok ? platform::TIoResult() : platform::TIoError{FSettingsFile, EINVAL};
        });
    if (err)
        return TRegisterError{WithSettingsFile(*err, FSettingsFile), {}};
    SetBase(slot);
    FSavedPages[slot - 1] = std::move(stored);
    return std::nullopt;
}

int TSavedPages::SlotOfItem(int tag) const {
    return tag == 1 ? FSavedOrder[0] : FSavedOrder[kSavedPageSlots + 1 - tag];
}

std::array<TSavedPagesMenuItem, kSavedPageSlots> TSavedPages::MenuItems() const {
    std::array<TSavedPagesMenuItem, kSavedPageSlots> items;
    for (int k = 1; k <= kSavedPageSlots; ++k) {
        const TSavedPageFields& f = Page(SlotOfItem(k));
        items[k - 1].Caption = "(&" + std::to_string(k) + ") " +
                               MenuText(platform::VisibleName(platform::NamePart(f[0]))) + " ( " +
                               MenuText(f[5]) + " )";
        items[k - 1].BaseFolder = platform::VisibleName(f[1]);
        items[k - 1].Key = f[2];
        items[k - 1].Count = f[3];
    }
    return items;
}

TSavedPageAction TSavedPages::ClickAction(int tag, const platform::TMountTable& volumes) const {
    TSavedPageAction action;
    if (tag < 1 || tag > kSavedPageSlots)
        return action;
    const std::string& stored = Page(SlotOfItem(tag))[0];
    action.Stored = stored;
    if (stored.empty()) {
        action.Kind = TSavedPageAction::NotRegistered;
        return action;
    }
    std::string path = platform::LocalFileName(stored, volumes);
    // A relative path (a hand-edited file) is the working folder's, both for
    // the check and for the open, which runs inside the page's own folder.
    if (!path.starts_with('/'))
        path = platform::AbsolutePath(path);
    // Asked aside: a page on a share that stopped answering must not hold the window.
    const platform::TPathAnswer found =
        path.empty() ? platform::TPathAnswer::No : platform::AskPath(path, kPageAnswerMs, IsRegularFile);
    if (found == platform::TPathAnswer::NoAnswer) {
        action.Kind = TSavedPageAction::NotAnswering;
        return action;
    }
    if (found == platform::TPathAnswer::No) {
        action.Kind = TSavedPageAction::Missing;
        return action;
    }
    action.Kind = TSavedPageAction::Open;
    action.Path = path;
    action.Folder = platform::FileFolder(path);
    return action;
}

bool IsRemoteDrive(std::string_view path, const platform::TMountTable& volumes) {
    return volumes.IsRemote(path);
}

bool IsNetworkDriveSelected(std::string_view entryText, std::string_view mountPoint) {
    return platform::IsNetworkEntryText(entryText, mountPoint);
}

TSettingsPlaces SystemSettingsPlaces() {
    TSettingsPlaces places;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0)
        places.ProgramDir = platform::FileFolder(std::string_view(exe, static_cast<std::size_t>(n)));
    if (const char* named = std::getenv("TAVOLIX_SETTINGS"))
        places.Named = named;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
        places.XdgConfigHome = xdg;
    if (const char* home = std::getenv("HOME"); home && *home) {
        places.Home = home;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        places.Home = pw->pw_dir;
    }
    return places;
}

std::string SettingsFilePath(const TSettingsPlaces& places) {
    if (!places.Named.empty())
        return places.Named;
    if (!places.ProgramDir.empty()) {
        std::string portable = platform::AddBackSlash(places.ProgramDir) + "tavolix.INI";
        struct stat st;
        // Replacing the file needs a writable folder as well; a read-only file is left alone.
        if (::stat(portable.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) &&
            faccessat(AT_FDCWD, portable.c_str(), W_OK, AT_EACCESS) == 0 &&
            faccessat(AT_FDCWD, places.ProgramDir.c_str(), W_OK, AT_EACCESS) == 0)
            return portable;
    }
    std::string config = places.XdgConfigHome.starts_with("/")
                             ? places.XdgConfigHome
                             : platform::AddBackSlash(places.Home) + ".config";
    return platform::AddBackSlash(config) + "tavolix/TAVOLIX.INI";
}

std::string SettingsFilePath() {
    return SettingsFilePath(SystemSettingsPlaces());
}

} // namespace tavolix::settings
