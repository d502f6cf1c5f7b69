#pragma once

#include "dirtree/DirReader.h"
#include "platform/Directory.h"
#include "platform/Volumes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <QCollator>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QStandardItemModel>
#include <QTreeView>

class QTimer;

namespace tavolix::dirtree {

class TDirTreeViewS;

// The owner's handler: the tree and GetSelDirName at the moment of the event.
using TDirTreeEvent = std::function<void(TDirTreeViewS* Sender, const std::string& SelDirName)>;

// The tree's items. The view calls canFetchMore/fetchMore on a node before it
// lays out the node's children, whichever way the expansion started (mouse,
// keyboard, expand(), a collapsed ancestor opening), so that is where the
// level below the children gets loaded.
class TDirTreeModel : public QStandardItemModel {
    Q_OBJECT
public:
    enum TRole {
        RawNameRole = Qt::UserRole + 1, // QByteArray: the name's bytes as the file system has them
        DriveNodeRole,                  // bool
        ImageRole,                      // int: index into the image list
        SelectedImageRole,              // int
        ReadStateRole,                  // int: TReadState
        RequestRole,                    // qulonglong: the listing under way for the node, or 0
    };
    // How far the listing of a node's own directory has come.
    enum TReadState {
        Read,         // listed, or not asked for
        Reading,      // asked for and not back within the short wait
        NotAnswering, // not back within kNotAnsweringMs
    };

    explicit TDirTreeModel(QObject* Parent = nullptr);

    bool canFetchMore(const QModelIndex& Parent) const override;
    void fetchMore(const QModelIndex& Parent) override;

    // Prepared: the node's children have had their own children loaded for
    // the node's current expansion; collapsing the node clears it.
    bool IsPrepared(const QStandardItem* Node) const { return FPrepared.count(Node) != 0; }
    void SetPrepared(const QStandardItem* Node, bool Value);
    void ClearNodes();

    std::function<void(QStandardItem* Node)> OnPrepare;

private:
    std::unordered_set<const QStandardItem*> FPrepared;
};

// Volumes stand where drive letters would: FDrive holds the mount point of
// the volume shown ("/", "/media/usb"; empty while none is set) and "/" is
// the separator.
//  - The drive node's text is the mount point.
//  - GetSelDirName gives the mount point with a trailing "/" for the drive
//    node or no node ("/", "/media/usb/"), and the full path without one for
//    any other node; with ShowDrive off the first top-level directory alone
//    gets the trailing "/".
//  - A rebuild re-selects the previous selection's part below the mount
//    point, joined to the current mount point.
//  - SetDrive compares before it normalises: "/media/usb/" rebuilds a tree on
//    "/media/usb", as a lower-case letter rebuilds its upper-case drive.
//  - Names are the file system's bytes: a node shows their decoded form and
//    keeps the bytes (RawNameRole) that paths are built from.
//  - Directories are listed on reader threads. What answers within a short
//    wait (AnswerWait) is shown at once, as if read in place; the rest is
//    added when it comes, the folder marked meanwhile as being read, then
//    as not answering. The window never waits for a folder whose volume may
//    stop answering (a network share, a FUSE volume): its listing is added
//    when it comes, marked as being read once the wait has passed. A re-selection that needs such a folder
//    goes on when its listing comes, unless the user has chosen another node meanwhile.
class TDirTreeViewS : public QTreeView {
    Q_OBJECT
public:
    explicit TDirTreeViewS(QWidget* Owner = nullptr);
    ~TDirTreeViewS() override;

    void SetDrive(const std::string& MountPoint);
    const std::string& Drive() const { return FDrive; }
    std::string GetSelDirName() const;
    std::string GetNodeDirName(const QStandardItem* Node) const;
    static std::string JoinPath(std::string_view Dir, std::string_view Name);

    bool ShowDrive() const { return FShowDrive; }
    void SetShowDrive(bool Value);
    bool DirSpace() const { return FDirSpace; }
    void SetDirSpace(bool Value);
    // Hide the selection while the tree has no focus (on by default).
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool Value);
    void SetIndent(int Value) { setIndentation(Value); }

    TDirTreeEvent OnChange;
    TDirTreeEvent OnClick;
    TDirTreeEvent OnDblClick;

    TDirTreeModel* Model() const { return FModel; }
    QStandardItem* Selected() const;
    // The five images of "DIRIMGS", olive made transparent.
    const std::vector<QPixmap>& DirImages() const { return FDirImages; }
    // Replaces the directory listing (FindFiles by default); an empty one
    // restores it. `MayStopAnswering` tells the folders of a volume that may
    // stop answering, which the window never waits for: none for a lister
    // given without it, those on network and FUSE volumes for FindFiles.
    void SetLister(TDirLister Lister, std::function<bool(const std::string&)> MayStopAnswering = {});
    // How long one rebuild or expansion waits for its listings before it
    // goes on without them.
    int AnswerWait() const { return FAnswerWaitMs; }
    void SetAnswerWait(int Ms) { FAnswerWaitMs = Ms; }
    // Listings asked for and not yet shown.
    bool IsReading() const { return !FRequests.empty(); }

    static constexpr int kNotAnsweringMs = 2000;

protected:
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    class TUpdateLock;
    class TWaitScope;
    // A listing not back within the wait; Node is empty for the top level.
    struct TRequest {
        std::shared_ptr<const TListing> Listing;
        QPersistentModelIndex Node;
        bool TopLevel = false;
        bool OneMoreLevel = false;
    };

    void LoadDirImages();
    void BuildTree();
    void SetSelDirName(const std::string& Path);
    QStandardItem* FindDirNode(QStandardItem* Node, std::string_view Rest, bool& Waiting);
    // Lists each (path, node) pair, a null node standing for the top level.
    void ReadLevels(const std::vector<std::pair<std::string, QStandardItem*>>& Dirs, bool OneMoreLevel);
    bool OnVolumeThatMayStopAnswering(const std::string& Dir) const;
    void AddSubDirNodes(const std::string& Path, QStandardItem* Parent, const TListing& Listing,
                        bool OneMoreLevel);
    bool IsNodeReading(const QStandardItem* Node) const;
    void SetReadState(QStandardItem* Node, TDirTreeModel::TReadState State);
    void PollReads();
    void PrepareExpand(QStandardItem* Node);
    void ExpandNode(QStandardItem* Node);
    void SelectNode(QStandardItem* Node);
    QStandardItem* FirstNode() const;
    std::string DriveRoot() const;

    std::vector<QPixmap> FDirImages;
    std::string FDrive;
    bool FShowDrive = true;
    std::string FLastDir;
    bool FDirSpace = false;

    TDirTreeModel* FModel;
    std::unique_ptr<TDirReader> FReader;
    std::function<bool(const std::string&)> FMayStopAnswering;
    // The system's volumes, read again by each rebuild, expansion and arrival.
    platform::TMountTable FVolumes;
    int FAnswerWaitMs = 250;
    int FWaitDepth = 0;
    TReadClock::time_point FDeadline;
    std::map<std::uint64_t, TRequest> FRequests;
    std::uint64_t FNextRequest = 1;
    QTimer* FPollTimer;
    std::string FPendingSel; // a re-selection waiting for a listing
    bool FSelecting = false;
    QCollator FCollator;
    QIcon FFolderIcon;
    QIcon FDriveIcon;
    bool FHideSelection = false;
    int FUpdateDepth = 0;
    bool FUpdatesWereEnabled = true;
};

} // namespace tavolix::dirtree
