#pragma once

#include "platform/AtomicFile.h"

#include <functional>
#include <string>
#include <string_view>

namespace tavolix::platform {

// A folder made in full beside its place and then put there as a whole:
// readers see the old folder or the complete new one, never a part. The two
// are exchanged in one step where the file system can (renameat2
// RENAME_EXCHANGE), else the old one is moved aside first. A failure at any
// step leaves the old folder as it was.
//
// Folders of one kind hold a marker file that names what they are for. An
// existing folder is ours only when it is empty, or its marker says what
// this one's would and every other entry is a file of a name `ownEntry`
// takes: anything else (a copied marker among the user's files, a folder
// of another page) is never replaced nor emptied. Folders that writers
// killed midway left beside the target (".tavolix-PID-N.dir" of a process
// that is gone, ours by the same rule) are removed by the next Begin there.
class TFolderReplacement {
public:
    TFolderReplacement(std::string target, std::string marker,
                       std::function<bool(std::string_view)> ownEntry);
    ~TFolderReplacement();
    TFolderReplacement(const TFolderReplacement&) = delete;
    TFolderReplacement& operator=(const TFolderReplacement&) = delete;

    // Makes the new folder, with the marker holding `markerText` and the old
    // folder's permissions. Refused: an existing target that is no folder or
    // not ours (EEXIST), or read-only (EACCES).
    TIoResult Begin(std::string_view markerText);
    // Where the new folder's files go until Commit.
    const std::string& NewFolder() const { return FNew; }
    // Begin found an old folder (of this kind) to replace.
    bool HadOld() const { return FHadOld; }
    // Puts the new folder in the target's place; the old one is kept aside.
    TIoResult Commit();
    // Before Commit, the new folder goes; after it, the old one comes back.
    void Undo();
    // After Commit: the old folder is removed.
    void Finish();

private:
    bool IsOurs(int dirfd, const char* folder) const;
    void RemoveStaleFolders() const;

    std::string FTarget;
    std::string FMarker;
    std::string FMarkerText;
    std::function<bool(std::string_view)> FOwnEntry;
    std::string FNew;
    std::string FOld; // after Commit: where the old folder is ("" when there was none)
    bool FHadOld = false;
    bool FCommitted = false;
    bool FDone = false;
};

// Removes a folder and everything in it without following links.
void RemoveFolderTree(const std::string& path);

} // namespace tavolix::platform
