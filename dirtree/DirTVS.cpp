#include "dirtree/DirTVS.h"

#include "ui/NameText.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QTimer>

namespace tavolix::dirtree {

namespace {

constexpr int kImageSize = 16;
constexpr int kImageCount = 5;
constexpr int kClosedFolder = 0, kOpenFolder = 1, kDrive = 2;
constexpr int kPollMs = 20, kSlowPollMs = 250;

// The wait cursor for the whole program until the scope ends, however it ends.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

std::string RawName(const QStandardItem* Node) {
    return Node->data(TDirTreeModel::RawNameRole).toByteArray().toStdString();
}

bool IsDriveNode(const QStandardItem* Node) {
    return Node->data(TDirTreeModel::DriveNodeRole).toBool();
}

bool DefaultLister(const std::string& Dir, std::vector<platform::TFindData>& Out) {
    return platform::FindFiles(Dir, "*.*", Out, platform::TFindWhat::DirectoriesOnly);
}

QIcon MakeIcon(const QPixmap& Normal, const QPixmap& Selected) {
    // Both modes given, so the style doesn't tint the selected one.
    QIcon icon;
    icon.addPixmap(Normal, QIcon::Normal);
    icon.addPixmap(Selected, QIcon::Selected);
    return icon;
}

} // namespace

TDirTreeModel::TDirTreeModel(QObject* Parent) : QStandardItemModel(Parent) {
}

bool TDirTreeModel::canFetchMore(const QModelIndex& Parent) const {
    const QStandardItem* node = itemFromIndex(Parent);
    return node && node->hasChildren() && !IsPrepared(node);
}

void TDirTreeModel::fetchMore(const QModelIndex& Parent) {
    QStandardItem* node = itemFromIndex(Parent);
    if (node && OnPrepare)
        OnPrepare(node);
}

void TDirTreeModel::SetPrepared(const QStandardItem* Node, bool Value) {
    if (Value)
        FPrepared.insert(Node);
    else
        FPrepared.erase(Node);
}

void TDirTreeModel::ClearNodes() {
    clear();
    setColumnCount(1);
    FPrepared.clear();
}

// One rebuild, expansion or arrival: every listing it asks for shares one
// deadline, set by the outermost scope.
class TDirTreeViewS::TWaitScope {
public:
    explicit TWaitScope(TDirTreeViewS& Tree) : FTree(Tree) {
        if (FTree.FWaitDepth++ == 0) {
            FTree.FDeadline = TReadClock::now() + std::chrono::milliseconds(FTree.FAnswerWaitMs);
            if (!FTree.FMayStopAnswering)
                FTree.FVolumes = platform::TMountTable::System(); // a share may have come since
        }
    }
    ~TWaitScope() { --FTree.FWaitDepth; }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

private:
    TDirTreeViewS& FTree;
};

// Begin/end update: redraws are suspended until the outermost lock goes.
class TDirTreeViewS::TUpdateLock {
public:
    explicit TUpdateLock(TDirTreeViewS& Tree) : FTree(Tree) {
        if (FTree.FUpdateDepth++ == 0) {
            FTree.FUpdatesWereEnabled = FTree.updatesEnabled();
            FTree.setUpdatesEnabled(false);
        }
    }
    ~TUpdateLock() {
        if (--FTree.FUpdateDepth == 0 && FTree.FUpdatesWereEnabled)
            FTree.setUpdatesEnabled(true);
    }
    TUpdateLock(const TUpdateLock&) = delete;
    TUpdateLock& operator=(const TUpdateLock&) = delete;

private:
    TDirTreeViewS& FTree;
};

TDirTreeViewS::TDirTreeViewS(QWidget* Owner)
    : QTreeView(Owner), FModel(new TDirTreeModel(this)), FReader(std::make_unique<TDirReader>(DefaultLister)),
      FPollTimer(new QTimer(this)) {
    LoadDirImages();
    FFolderIcon = MakeIcon(FDirImages[kClosedFolder], FDirImages[kOpenFolder]);
    FDriveIcon = MakeIcon(FDirImages[kDrive], FDirImages[kDrive]);
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);

    FModel->OnPrepare = [this](QStandardItem* Node) { PrepareExpand(Node); };
    setModel(FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setIconSize(QSize(kImageSize, kImageSize));
    SetHideSelection(true);
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& Index) { FModel->SetPrepared(FModel->itemFromIndex(Index), false); });
    FPollTimer->setInterval(kPollMs);
    connect(FPollTimer, &QTimer::timeout, this, &TDirTreeViewS::PollReads);
}

TDirTreeViewS::~TDirTreeViewS() = default;

void TDirTreeViewS::LoadDirImages() {
    const QImage strip(QStringLiteral(":/dirimgs.bmp"));
    for (int i = 0; i < kImageCount; ++i) {
        QPixmap pixmap(kImageSize, kImageSize);
        pixmap.fill(Qt::transparent);
        if (strip.width() >= kImageSize * kImageCount && strip.height() >= kImageSize) {
            pixmap = QPixmap::fromImage(strip.copy(i * kImageSize, 0, kImageSize, kImageSize));
            pixmap.setMask(
                pixmap.createMaskFromColor(QColor(128, 128, 0), Qt::MaskInColor)); // olive -> transparent
        }
        FDirImages.push_back(pixmap);
    }
}

void TDirTreeViewS::SetLister(TDirLister Lister, std::function<bool(const std::string&)> MayStopAnswering) {
    // Listings of the old reader are left to it.
    FRequests.clear();
    if (Lister)
        FMayStopAnswering =
            MayStopAnswering ? std::move(MayStopAnswering) : [](const std::string&) { return false; };
    else
        FMayStopAnswering = {}; // the system's volumes decide
    FReader = std::make_unique<TDirReader>(Lister ? std::move(Lister) : TDirLister(DefaultLister));
}

bool TDirTreeViewS::OnVolumeThatMayStopAnswering(const std::string& Dir) const {
    if (FMayStopAnswering)
        return FMayStopAnswering(Dir);
    const platform::TVolume* volume = FVolumes.VolumeOf(Dir);
    return volume && platform::MayStopAnswering(*volume);
}

QStandardItem* TDirTreeViewS::Selected() const {
    return FModel->itemFromIndex(currentIndex());
}

QStandardItem* TDirTreeViewS::FirstNode() const {
    return FModel->item(0);
}

std::string TDirTreeViewS::DriveRoot() const {
    return JoinPath(FDrive, "");
}

std::string TDirTreeViewS::JoinPath(std::string_view Dir, std::string_view Name) {
    std::string path(Dir);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += Name;
    return path;
}

std::string TDirTreeViewS::GetNodeDirName(const QStandardItem* Node) const {
    if (FDrive.empty())
        return {};
    if (!Node)
        return DriveRoot();
    std::vector<std::string> names;
    for (const QStandardItem* n = Node; n; n = n->parent())
        if (!IsDriveNode(n))
            names.push_back(RawName(n));
    if (names.empty())
        return FDrive;
    std::string path = FDrive == "/" ? std::string() : FDrive;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += '/' + *it;
    return path;
}

std::string TDirTreeViewS::GetSelDirName() const {
    const QStandardItem* node = Selected();
    std::string dir = GetNodeDirName(node);
    if (node && node == FirstNode() && !dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

void TDirTreeViewS::ReadLevels(const std::vector<std::pair<std::string, QStandardItem*>>& Dirs,
                               bool OneMoreLevel) {
    std::vector<std::shared_ptr<const TListing>> listings, waited;
    std::vector<bool> waitedFor;
    listings.reserve(Dirs.size());
    for (const auto& dir : Dirs) {
        listings.push_back(FReader->Submit(dir.first));
        // A share's server may have died: no wait may hold the window there.
        waitedFor.push_back(!OnVolumeThatMayStopAnswering(dir.first));
        if (waitedFor.back())
            waited.push_back(listings.back());
    }
    FReader->WaitFor(waited, FDeadline);
    for (std::size_t i = 0; i < Dirs.size(); ++i) {
        QStandardItem* node = Dirs[i].second;
        if (FReader->IsDone(*listings[i])) {
            AddSubDirNodes(Dirs[i].first, node, *listings[i], OneMoreLevel);
            continue;
        }
        const std::uint64_t id = FNextRequest++;
        TRequest& request = FRequests[id];
        request.Listing = listings[i];
        request.TopLevel = node == nullptr;
        request.OneMoreLevel = OneMoreLevel;
        if (node) {
            request.Node = QPersistentModelIndex(node->index());
            node->setData(QVariant::fromValue<qulonglong>(id), TDirTreeModel::RequestRole);
            // One not waited for is marked once the wait would have passed.
            if (waitedFor[i])
                SetReadState(node, TDirTreeModel::Reading);
        }
    }
    if (!FRequests.empty() && FPollTimer->interval() != kPollMs)
        FPollTimer->setInterval(kPollMs);
    if (!FRequests.empty() && !FPollTimer->isActive())
        FPollTimer->start();
}

void TDirTreeViewS::AddSubDirNodes(const std::string& Path, QStandardItem* Parent, const TListing& Listing,
                                   bool OneMoreLevel) {
    struct TName {
        std::string Raw;
        QString Text;
    };
    std::vector<TName> names;
    for (const platform::TFindData& entry : Listing.Entries) {
        if (!entry.IsDirectory() || entry.Name.empty() || entry.Name[0] == '.')
            continue;
        names.push_back({entry.Name, ui::ToVisibleText(entry.Name)});
    }
    std::sort(names.begin(), names.end(), [this](const TName& a, const TName& b) {
        const int c = FCollator.compare(a.Text, b.Text);
        return c != 0 ? c < 0 : a.Raw < b.Raw; // equal names still in a fixed order
    });

    QList<QStandardItem*> nodes;
    nodes.reserve(static_cast<qsizetype>(names.size()));
    for (const TName& name : names) {
        auto* node = new QStandardItem(FFolderIcon, name.Text);
        node->setEditable(false);
        node->setColumnCount(1); // else the first child insertion adds the column mid-insert
        node->setData(QByteArray::fromStdString(name.Raw), TDirTreeModel::RawNameRole);
        node->setData(kClosedFolder, TDirTreeModel::ImageRole);
        node->setData(kOpenFolder, TDirTreeModel::SelectedImageRole);
        nodes.append(node);
    }
    (Parent ? Parent : FModel->invisibleRootItem())->appendRows(nodes);

    if (OneMoreLevel) {
        std::vector<std::pair<std::string, QStandardItem*>> below;
        below.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            below.emplace_back(JoinPath(Path, names[i].Raw), nodes[static_cast<qsizetype>(i)]);
        ReadLevels(below, false);
    }
}

bool TDirTreeViewS::IsNodeReading(const QStandardItem* Node) const {
    return FRequests.count(Node->data(TDirTreeModel::RequestRole).toULongLong()) != 0;
}

void TDirTreeViewS::SetReadState(QStandardItem* Node, TDirTreeModel::TReadState State) {
    if (Node->data(TDirTreeModel::ReadStateRole).toInt() == State)
        return;
    Node->setData(State, TDirTreeModel::ReadStateRole);
    const QString name = ui::ToVisibleText(RawName(Node));
    switch (State) {
    case TDirTreeModel::Read:
        Node->setText(name);
        Node->setData(QVariant(), Qt::ForegroundRole);
        break;
    case TDirTreeModel::Reading:
        Node->setText(tr("%1 （読み込み中…）").arg(name));
        Node->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        break;
    case TDirTreeModel::NotAnswering:
        Node->setText(tr("%1 （応答なし）").arg(name));
        Node->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        break;
    }
}

// The listings that were not back in time: shown as they come, marked while they don't.
void TDirTreeViewS::PollReads() {
    std::vector<TRequest> arrived;
    for (auto it = FRequests.begin(); it != FRequests.end();) {
        if (!FReader->IsDone(*it->second.Listing)) {
            ++it;
            continue;
        }
        QStandardItem* node = it->second.TopLevel ? nullptr : FModel->itemFromIndex(it->second.Node);
        if (node) {
            node->setData(QVariant(), TDirTreeModel::RequestRole);
            SetReadState(node, TDirTreeModel::Read);
        }
        if (node || it->second.TopLevel)
            arrived.push_back(std::move(it->second));
        it = FRequests.erase(it);
    }
    if (!arrived.empty()) {
        TWaitScope wait(*this);
        TUpdateLock update(*this);
        for (const TRequest& request : arrived) {
            QStandardItem* node = request.TopLevel ? nullptr : FModel->itemFromIndex(request.Node);
            if (!request.TopLevel && !node)
                continue; // gone with an earlier arrival's changes
            AddSubDirNodes(request.Listing->Path, node, *request.Listing, request.OneMoreLevel);
            if (node && IsDriveNode(node))
                ExpandNode(node); // as a rebuild does once the drive's folders are there
        }
        if (!FPendingSel.empty())
            SetSelDirName(FPendingSel);
    }

    const auto now = TReadClock::now();
    for (auto& [id, request] : FRequests) {
        QStandardItem* node = FModel->itemFromIndex(request.Node);
        const auto age = now - request.Listing->Submitted;
        if (node && age >= std::chrono::milliseconds(kNotAnsweringMs))
            SetReadState(node, TDirTreeModel::NotAnswering);
        else if (node && age >= std::chrono::milliseconds(FAnswerWaitMs))
            SetReadState(node, TDirTreeModel::Reading);
    }
    FReader->Pump();
    // Only folders that don't answer left: looked at less often.
    bool young = false;
    for (const auto& [id, request] : FRequests)
        young = young || now - request.Listing->Submitted < std::chrono::milliseconds(kNotAnsweringMs);
    if (FRequests.empty())
        FPollTimer->stop();
    else
        FPollTimer->setInterval(young ? kPollMs : kSlowPollMs);
}

void TDirTreeViewS::BuildTree() {
    if (FDirSpace)
        return;
    if (FDrive.empty()) {
        FModel->ClearNodes(); // no volume: no nodes whose paths would be wrong
        return;
    }
    FLastDir = GetSelDirName();

    TBusyCursor busy;
    TWaitScope wait(*this);
    TUpdateLock update(*this);
    FRequests.clear(); // what the old nodes wait for is no longer wanted
    FPendingSel.clear();
    FModel->ClearNodes();
    QStandardItem* drive = nullptr;
    if (FShowDrive) {
        drive = new QStandardItem(FDriveIcon, ui::ToText(FDrive));
        drive->setEditable(false);
        drive->setColumnCount(1);
        drive->setData(QByteArray::fromStdString(FDrive), TDirTreeModel::RawNameRole);
        drive->setData(true, TDirTreeModel::DriveNodeRole);
        drive->setData(kDrive, TDirTreeModel::ImageRole);
        drive->setData(kDrive, TDirTreeModel::SelectedImageRole);
        FModel->appendRow(drive);
    }
    ReadLevels({{FDrive, drive}}, true);
    collapseAll();
    if (FShowDrive) {
        ExpandNode(FirstNode());
        if (!FLastDir.empty())
            SetSelDirName(FLastDir);
    }
}

void TDirTreeViewS::SetSelDirName(const std::string& Path) {
    TUpdateLock update(*this);
    const std::string path = Path; // Path may be FPendingSel itself
    FPendingSel.clear();
    // The path's volume is always FDrive here (FLastDir is made from it), so
    // there is no other volume to switch to first.
    QStandardItem* node = nullptr;
    bool waiting = false;
    {
        const QScopedValueRollback<bool> selecting(FSelecting, true);
        try {
            node = FindDirNode(FirstNode(), path, waiting);
        } catch (const std::exception&) {
            node = nullptr;
            waiting = false;
        }
    }
    if (waiting) {
        FPendingSel = path; // the deepest node found so far stays selected
        return;
    }
    if (!node)
        node = FirstNode();
    if (node) {
        SelectNode(node);
        ExpandNode(node);
    }
}

QStandardItem* TDirTreeViewS::FindDirNode(QStandardItem* Node, std::string_view Rest, bool& Waiting) {
    if (!Node)
        return nullptr;
    if (Node == FirstNode()) {
        // The walk starts with the whole path: its volume part names the drive node.
        const std::string root = DriveRoot();
        if (Rest == FDrive || Rest == root)
            return FirstNode();
        if (Rest.substr(0, root.size()) == root)
            Rest.remove_prefix(root.size());
    }
    const std::size_t slash = Rest.find('/');
    const std::string_view head = Rest.substr(0, slash);
    const std::string_view tail =
        slash == std::string_view::npos ? std::string_view() : Rest.substr(slash + 1);

    QStandardItem* child = nullptr;
    for (int i = 0; i < Node->rowCount() && !child; ++i)
        if (RawName(Node->child(i)) == head)
            child = Node->child(i);
    if (!child) {
        Waiting = IsNodeReading(Node);
        return nullptr;
    }
    SelectNode(child);
    return tail.empty() ? child : FindDirNode(child, tail, Waiting);
}

void TDirTreeViewS::PrepareExpand(QStandardItem* Node) {
    FModel->SetPrepared(Node, true);
    if (IsDriveNode(Node))
        return; // its two levels were read by BuildTree
    const std::string dir = GetNodeDirName(Node);
    TWaitScope wait(*this);
    TUpdateLock update(*this);
    std::vector<std::pair<std::string, QStandardItem*>> dirs;
    for (int i = 0; i < Node->rowCount(); ++i) {
        QStandardItem* child = Node->child(i);
        if (!child->hasChildren() && !IsNodeReading(child))
            dirs.emplace_back(JoinPath(dir, RawName(child)), child);
    }
    ReadLevels(dirs, false);
}

void TDirTreeViewS::ExpandNode(QStandardItem* Node) {
    if (!Node || !Node->hasChildren() || isExpanded(Node->index()))
        return;
    // The view may only note the expansion for a later layout; the level
    // below must be there now, for FindDirNode's next step.
    if (!FModel->IsPrepared(Node))
        PrepareExpand(Node);
    expand(Node->index());
}

void TDirTreeViewS::SelectNode(QStandardItem* Node) {
    std::vector<QStandardItem*> ancestors;
    for (QStandardItem* p = Node->parent(); p; p = p->parent())
        ancestors.push_back(p);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        ExpandNode(*it);
    setCurrentIndex(Node->index());
}

void TDirTreeViewS::SetDrive(const std::string& MountPoint) {
    if (MountPoint == FDrive)
        return;
    std::string drive = MountPoint;
    while (drive.size() > 1 && drive.back() == '/')
        drive.pop_back();
    FDrive = std::move(drive);
    BuildTree();
}

void TDirTreeViewS::SetShowDrive(bool Value) {
    if (Value == FShowDrive)
        return;
    FShowDrive = Value;
    BuildTree();
}

void TDirTreeViewS::SetDirSpace(bool Value) {
    if (Value == FDirSpace)
        return;
    FDirSpace = Value;
    if (!Value)
        BuildTree();
}

void TDirTreeViewS::SetHideSelection(bool Value) {
    FHideSelection = Value;
    QPalette pal = palette();
    const QPalette::ColorGroup from = Value ? QPalette::Inactive : QPalette::Active;
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(from, Value ? QPalette::Base : QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(from, Value ? QPalette::Text : QPalette::HighlightedText));
    setPalette(pal);
}

void TDirTreeViewS::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
    QTreeView::currentChanged(Current, Previous);
    if (!FSelecting)
        FPendingSel.clear(); // the user's choice wins over a re-selection still under way
    if (!FDirSpace && OnChange)
        OnChange(this, GetSelDirName());
}

void TDirTreeViewS::mouseReleaseEvent(QMouseEvent* Event) {
    QTreeView::mouseReleaseEvent(Event);
    if (Event->button() == Qt::LeftButton && OnClick)
        OnClick(this, GetSelDirName());
}

void TDirTreeViewS::mouseDoubleClickEvent(QMouseEvent* Event) {
    QTreeView::mouseDoubleClickEvent(Event);
    if (Event->button() != Qt::LeftButton || !OnDblClick)
        return;
    const QStandardItem* node = Selected();
    if (node && !node->hasChildren())
        OnDblClick(this, GetSelDirName());
}

} // namespace tavolix::dirtree
