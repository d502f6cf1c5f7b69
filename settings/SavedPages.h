#pragma once

#include "platform/AtomicFile.h"
#include "platform/Profile.h"
#include "platform/Volumes.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavolix::settings {

inline constexpr int kSavedPageSlots = 10;

// Field k (1..6) of a saved page is Fields[k - 1]: page file, base folder
// (ending in "/"), key, count text, total text, creation text.
using TSavedPageFields = std::array<std::string, 6>;

struct TSavedPagesMenuItem {
    std::string Caption; // with "&" marks, as a menu caption
    // What its hint tells (words::SavedPageHint): the base folder as shown,
    // the key and the count text.
    std::string BaseFolder;
    std::string Key;
    std::string Count;
};

// What a click on a saved-pages menu item asks for.
struct TSavedPageAction {
    enum TKind {
        None,          // not one of the ten items
        NotRegistered, // a warning box
        Missing,       // a confirmation box (OK only) naming Stored
        NotAnswering,  // a warning box naming Stored: the page's volume doesn't answer
        Open,          // open Path with its program, working folder Folder
    };
    TKind Kind = None;
    std::string Stored; // the page as the settings file names it
    std::string Path;
    std::string Folder;
};

// The settings file holds, in section "TAVOLIX", "ChildBaseNO": the slot of
// the newest page; in sections "NO1".."NO10" the keys "1".."6" of each slot.
inline constexpr std::string_view kBaseSection = "TAVOLIX";
inline constexpr std::string_view kBaseKey = "ChildBaseNO";

// An integer as the settings file writes it: decimal (an optional sign), or
// hexadecimal after 0x / 0X; anything else (blank, junk after the digits,
// overflow) is nullopt.
std::optional<long long> ParseProfileInt(std::string_view text);

// Why a value is refused: it would not read back the same.
enum class TRefusal { None, LineBreak, TooLong, Blanks };

// Why a page could not be registered: a value the settings file can't hold
// so that it reads back the same (Value and Refusal set; nothing was tried),
// or the settings file's failure.
struct TRegisterError {
    platform::TIoError File; // the settings file, and the reason
    std::string Value;       // the refused value, as it would have been written
    TRefusal Refusal = TRefusal::None;
};
using TRegisterResult = std::optional<TRegisterError>;

// The ten pages written last, as a ring of slots 1..10 kept in memory and in
// the settings file. Every change reaches the file at once. Writers take the
// settings file's lock and re-read the file under it, so pages registered by
// another program meanwhile are kept; between changes nothing is locked.
class TSavedPages {
public:
    explicit TSavedPages(std::string settingsFile);

    const std::string& SettingsFile() const { return FSettingsFile; }

    // Reads the file afresh, once: LoadSavedPages and LoadChildBaseNO. A
    // missing file gives an empty ring; a file refused or unreadable too,
    // with the reason (no error for a missing one).
    platform::TIoResult Load();
    // Makes `slot` the newest and writes it. On failure the order stays as before.
    platform::TIoResult SaveChildBaseNO(int slot);
    // Writes the six values into section "NO<slot>", all or none; nothing for
    // an empty page path. Page path and base folder on a network volume are
    // written in their network form. Does not touch memory.
    platform::TIoResult WriteSavedPage(const TSavedPageFields& values, int slot,
                                       const platform::TMountTable& volumes) const;
    // Registers a new page in the oldest slot of the ring as the file holds
    // it now: under the lock, re-read, new base and the six values in one
    // atomic write. A value that can't be stored is refused before anything
    // changes. On failure nothing is written and memory agrees with the file.
    // The caller refreshes the menu afterwards.
    TRegisterResult Register(const TSavedPageFields& record, const platform::TMountTable& volumes);

    // The slot menu item `tag` (1..10) shows: item 1 the newest, 10 the oldest.
    int SlotOfItem(int tag) const;
    // Captions and hints of items 1..10.
    std::array<TSavedPagesMenuItem, kSavedPageSlots> MenuItems() const;
    // What clicking item `tag` does. A page stored in network form opens
    // through the mount point of its share when that is mounted.
    TSavedPageAction ClickAction(int tag, const platform::TMountTable& volumes) const;

    const TSavedPageFields& Page(int slot) const { return FSavedPages.at(slot - 1); }
    // [0] the newest slot, [1] the oldest (written next), ..., [9] the second newest.
    const std::array<int, kSavedPageSlots>& SavedOrder() const { return FSavedOrder; }

private:
    // All sixty values of NO1..NO10; missing ones empty.
    void LoadSavedPages(const platform::TProfileText& profile);
    // "ChildBaseNO" (10 when missing or outside 1..10) and the ring order.
    void LoadChildBaseNO(const platform::TProfileText& profile);
    void SetBase(int base);

    std::string FSettingsFile;
    std::array<TSavedPageFields, kSavedPageSlots> FSavedPages;
    std::array<int, kSavedPageSlots> FSavedOrder{};
};

// True when `path` lies on a network volume of the mount table.
bool IsRemoteDrive(std::string_view path, const platform::TMountTable& volumes);
// True when the drive selector's current entry (for the volume mounted at
// `mountPoint`) shows a share name.
bool IsNetworkDriveSelected(std::string_view entryText, std::string_view mountPoint);

// Where the settings file is looked for.
struct TSettingsPlaces {
    std::string ProgramDir;    // the folder of the running program
    std::string XdgConfigHome; // $XDG_CONFIG_HOME (ignored unless absolute)
    std::string Home;          // $HOME, else the password entry's home
    std::string Named;         // $TAVOLIX_SETTINGS: this file, whatever else there is
};
TSettingsPlaces SystemSettingsPlaces();

// The settings file: $TAVOLIX_SETTINGS when set; else
// "<program folder>/tavolix.INI" when that file exists and
// both it and its folder are writable (a portable install), otherwise
// "$XDG_CONFIG_HOME/tavolix/TAVOLIX.INI" or "~/.config/tavolix/TAVOLIX.INI".
// The name is the same for every program of the suite.
std::string SettingsFilePath(const TSettingsPlaces& places);
std::string SettingsFilePath();

} // namespace tavolix::settings
