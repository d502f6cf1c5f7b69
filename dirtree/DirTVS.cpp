#include "dirtree/DirTVS.h"

#include "ui/NameText.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>

namespace tavolix::dirtree {

namespace {

constexpr int kImageSize = 16;
constexpr int kImageCount = 5;
constexpr int kClosedFolder = 0, kOpenFolder = 1, kDrive = 2;

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
    : QTreeView(Owner), FModel(new TDirTreeModel(this)), FLister(DefaultLister) {
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

void TDirTreeViewS::SetLister(TDirLister Lister) {
    FLister = Lister ? std::move(Lister) : TDirLister(DefaultLister);
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

void TDirTreeViewS::AddSubDirNodes(const std::string& Path, QStandardItem* Parent, bool OneMoreLevel) {
    std::vector<platform::TFindData> found;
    if (!FLister(Path, found))
        found.clear();

    struct TName {
        std::string Raw;
        QString Text;
    };
    std::vector<TName> names;
    for (platform::TFindData& entry : found) {
        if (!entry.IsDirectory() || entry.Name.empty() || entry.Name[0] == '.')
            continue;
        QString text = ui::ToText(entry.Name);
        names.push_back({std::move(entry.Name), std::move(text)});
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

    if (OneMoreLevel)
        for (std::size_t i = 0; i < names.size(); ++i)
            AddSubDirNodes(JoinPath(Path, names[i].Raw), nodes[static_cast<qsizetype>(i)], false);
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
    TUpdateLock update(*this);
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
    AddSubDirNodes(FDrive, drive, true);
    collapseAll();
    if (FShowDrive) {
        ExpandNode(FirstNode());
        if (!FLastDir.empty())
            SetSelDirName(FLastDir);
    }
}

void TDirTreeViewS::SetSelDirName(const std::string& Path) {
    TUpdateLock update(*this);
    // The path's volume is always FDrive here (FLastDir is made from it), so
    // there is no other volume to switch to first.
    QStandardItem* node = nullptr;
    try {
        node = FindDirNode(FirstNode(), Path);
    } catch (const std::exception&) {
        node = nullptr;
    }
    if (!node)
        node = FirstNode();
    if (node) {
        SelectNode(node);
        ExpandNode(node);
    }
}

QStandardItem* TDirTreeViewS::FindDirNode(QStandardItem* Node, std::string_view Rest) {
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
    if (!child)
        return nullptr;
    SelectNode(child);
    return tail.empty() ? child : FindDirNode(child, tail);
}

void TDirTreeViewS::PrepareExpand(QStandardItem* Node) {
    FModel->SetPrepared(Node, true);
    if (IsDriveNode(Node))
        return; // its two levels were read by BuildTree
    const std::string dir = GetNodeDirName(Node);
    TUpdateLock update(*this);
    for (int i = 0; i < Node->rowCount(); ++i) {
        QStandardItem* child = Node->child(i);
        if (!child->hasChildren())
            AddSubDirNodes(JoinPath(dir, RawName(child)), child, false);
    }
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
