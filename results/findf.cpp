#include "results/findf.h"

#include "hitview/FLBoxS.h"
#include "platform/LocaleFormats.h"
#include "platform/Volumes.h"
#include "results/DetailsView.h"
#include "results/HitActions.h"
#include "results/ItemPainter.h"
#include "results/PageSaver.h"
#include "results/PictureView.h"
#include "results/ResultCommands.h"
#include "results/ResultOrder.h"
#include "results/ResultStatus.h"
#include "results/ResultViews.h"
#include "ui/Commands.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "ui/UiFonts.h"
#include "words/WalkWords.h"

#include <algorithm>
#include <ctime>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace tavolix::results {

using hitview::TFileListBoxS;
using search::TSortDirection;
using search::TSortOrder;
using ui::ApplyHint;
using ui::ShowMessageBox;
using ui::TCommand;
using ui::TMessageKind;

namespace {

// A key that moves the current hit and selects it alone (Shift extends,
// Ctrl moves without selecting).
bool IsPlainMove(const QKeyEvent* key) {
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

const QString kHelpContext = QStringLiteral("helpContext");

QFont PGothic15() {
    return ui::UiFont(ui::kPGothic, 15);
}

} // namespace

void TMDIChild::HeaderControl1SectionClick(int section) {
    FOrder->HeaderControl1SectionClick(section);
}

void TMDIChild::SetSaveFileNameProvider(TSaveFileNameProvider provider) {
    TPageSaver::SetSaveFileNameProvider(std::move(provider));
}

TMDIChild::TMDIChild(TResultWindowHost& host, QWidget* parent) : QWidget(parent), FHost(host) {
    resize(456, 356);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FStatus = std::make_unique<TResultStatus>(*this);
    layout->addWidget(FStatus->BuildSortPanel());
    Panel1 = FStatus->Panel1;
    PanelLabel = FStatus->PanelLabel;
    layout->addWidget(BuildHeader());
    layout->addWidget(BuildList(), 1);
    layout->addWidget(BuildDetails(), 1);
    FPictures = new TPictureView(*ListBox1, FHost.ThumbnailPool(), FHost.Volumes(), this);
    FPageSaver = new TPageSaver(FHost, this);
    FOrder = std::make_unique<TResultOrder>(*this, *ListBox1, *DetailsView1, *FStatus);
    FViews =
        std::make_unique<TResultViews>(FHost, *this, *ListBox1, *HeaderControl1, *DetailsView1, *FPictures);
    layout->addWidget(FStatus->BuildStatusBar(*ListBox1));
    layout->addLayout(FStatus->BuildWalkLine());
    StatusBar1 = FStatus->StatusBar1;
    std::copy(std::begin(FStatus->StatusPanels), std::end(FStatus->StatusPanels), StatusPanels);
    UnreadPanel = FStatus->UnreadPanel;
    NotSearchedPanel = FStatus->NotSearchedPanel;
    WalkPanel = FStatus->WalkPanel;
    StopButton = FStatus->StopButton;

    BuildMenus();
    FHits = std::make_unique<THitActions>(*this, *ListBox1, *DetailsView1, [this] { ListBox1Click(); });
    FHits->Build();
    PopupMenu1 = FHits->PopupMenu1;
    Open1 = FHits->Open1;
    OpenFolder1 = FHits->OpenFolder1;
    CopyPath1 = FHits->CopyPath1;
    CopyName1 = FHits->CopyName1;
    const settings::TViewChoices view = FHost.ViewChoices();
    FPictures->SetShown(view.Pictures);
    PictureView1->setChecked(FPictures->Shown());
    FPictures->SetPictureSide(view.Grid.PictureSize);
    FViews->UpdateGridCommands();
    PageThumbnails1->setChecked(view.PageThumbnails);
    FPictures->SetRowView(DetailsView1);
    DetailsView1->OnPicture = [this](int row, const std::string& path) {
        return FPictures->PictureFor(row, path);
    };
    DetailsView1->SetPicturesShown(FPictures->Shown());
    DetailsView1->SetColumnWidths(view.ColumnWidths);
    connect(DetailsView1, &TDetailsView::ColumnsChosen, FColumnsTimer, qOverload<>(&QTimer::start));
    FViews->SetDetailsShown(view.Details);
}

QWidget* TMDIChild::BuildHeader() {
    FHeaderModel = new QStandardItemModel(0, 6, this);
    FHeaderModel->setHorizontalHeaderLabels({QStringLiteral("Sort by"), tr("Directrory"),
                                             QStringLiteral("Name"), QStringLiteral("Ext"),
                                             QStringLiteral("Size"), QStringLiteral("Time")});
    HeaderControl1 = new QHeaderView(Qt::Horizontal, this);
    HeaderControl1->setObjectName(QStringLiteral("HeaderControl1"));
    HeaderControl1->setModel(FHeaderModel);
    HeaderControl1->setFixedHeight(17);
    HeaderControl1->setFont(PGothic15());
    HeaderControl1->setSectionsClickable(true);
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setSectionResizeMode(QHeaderView::Interactive);
    HeaderControl1->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int sectionWidths[] = {80, 90, 60, 50, 50, 50};
    for (int i = 0; i < 6; ++i)
        HeaderControl1->resizeSection(i, sectionWidths[i]);
    connect(HeaderControl1, &QHeaderView::sectionClicked, this,
            [this](int section) { HeaderControl1SectionClick(section); });
    return HeaderControl1;
}

QWidget* TMDIChild::BuildList() {
    ListBox1 = new TFileListBoxS(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->SetFormats(platform::SystemLocaleFormats());
    ListBox1->SetScreenDateForm(platform::SystemScreenDateForm());
    ListBox1->SetSortOrder(TSortOrder::soName);
    ListBox1->SetSortDirection(TSortDirection::sdUpword);
    ListBox1->SetMask("*.*");
    ListBox1->SetShowHiddenSysFile(true);
    ListBox1->SetColumns(2);
    ListBox1->SetItemHeight(40);
    ListBox1->setFont(ui::UiFont(ui::kPGothic, 15));
    ListBox1->OnDrawItem = [this](QPainter& painter, int index, const QRect& rect, bool selected) {
        ListBox1DrawItem(painter, index, rect, selected);
    };
    ListBox1->setMouseTracking(true);
    ListBox1->viewport()->setMouseTracking(true);
    ListBox1->installEventFilter(this);
    ListBox1->viewport()->installEventFilter(this);
    connect(ListBox1, &QAbstractItemView::clicked, this, [this] { ListBox1Click(); });
    connect(ListBox1, &TFileListBoxS::SearchStep, this, [this] { FStatus->ShowWalkStatus(); });
    connect(ListBox1, &TFileListBoxS::SearchEnding, this, [this] { ListBox1SearchEnding(); });
    connect(ListBox1, &TFileListBoxS::SearchFinished, this, [this] { ListBox1SearchFinished(); });
    return ListBox1;
}

QWidget* TMDIChild::BuildDetails() {
    DetailsView1 = new TDetailsView(*ListBox1, this);
    DetailsView1->setObjectName(QStringLiteral("DetailsView1"));
    DetailsView1->hide();
    DetailsView1->installEventFilter(this);
    DetailsView1->viewport()->installEventFilter(this);
    DetailsView1->viewport()->setMouseTracking(true);
    connect(DetailsView1, &QAbstractItemView::clicked, this, [this] { ListBox1Click(); });
    connect(DetailsView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { FOrder->DetailsView1SectionClick(section); });
    // Several hits may be selected in either view, by keys, clicks or a drag.
    connect(ListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (FSelectionStatusQueued)
            return;
        FSelectionStatusQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { SelectionChanged(); }, Qt::QueuedConnection);
    });
    // A column's width is kept once the user has stopped dragging its edge.
    FColumnsTimer = new QTimer(this);
    FColumnsTimer->setSingleShot(true);
    FColumnsTimer->setInterval(400);
    connect(FColumnsTimer, &QTimer::timeout, this, [this] { SaveColumnWidths(); });
    return DetailsView1;
}

TMDIChild::~TMDIChild() = default;

void TMDIChild::BuildMenus() {
    auto add = [this](QMenu* menu, const TCommand& command, auto click) {
        QAction* action = ui::AddCommand(menu, command);
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    File1 = ui::MakeMenu(ui::kFileMenu, this);
    Close1 = add(File1, kClose1, [this] { Close1Click(); });
    Quit1 = add(File1, ui::kQuitCommand, [this] { FHost.QuitClick(); });
    File1->addSeparator();
    Help1 = add(File1, ui::kHelpCommand, [this] { FHost.Help1Click(); });
    // F1 asks for the topic of where the user is, the command for the first.
    Help1->installEventFilter(this);
    File1->addSeparator();
    About1 = add(File1, ui::kAboutCommand, [this] { FHost.About1Click(); });

    ChildOP = ui::MakeMenu(ui::kSearchMenu, this);
    Find1 = add(ChildOP, ui::kFindCommand, [this] { FHost.SearchFind1Click(); });
    SearchAgain1 = add(ChildOP, kSearchAgain1, [this] { SearchAgain1Click(); });
    ChildOP->addSeparator();
    HTMLH1 = add(ChildOP, ui::kWritePageCommand, [this] { HTMLH1Click(); });
    PageThumbnails1 = add(ChildOP, kPageThumbnails1, [this] { PageThumbnails1Click(); });
    PageThumbnails1->setCheckable(true);

    GyouRetsu = FViews->BuildMenu();
    N4 = FViews->N4;
    N5 = FViews->N5;
    for (QMenu* menu : {File1, ChildOP, GyouRetsu, N4})
        menu->installEventFilter(this);
    PictureView1 = FViews->PictureView1;
    std::copy(std::begin(FViews->PictureSizes1), std::end(FViews->PictureSizes1), PictureSizes1);
    PictureLarger1 = FViews->PictureLarger1;
    PictureSmaller1 = FViews->PictureSmaller1;
    Details1 = FViews->Details1;

    Sort1 = FOrder->BuildMenu();
    std::copy(std::begin(FOrder->SortBy1), std::end(FOrder->SortBy1), SortBy1);
    Reverse1 = FOrder->Reverse1;
    Sort1->installEventFilter(this);
    FOrder->ShowSortChecks();
}

std::vector<TMDIChild::TMenuGroup> TMDIChild::MenuGroups() const {
    return {{0, File1}, {3, ChildOP}, {6, Sort1}, {7, GyouRetsu}};
}

void TMDIChild::AssignHints() {
    // The commands have theirs from their tables.
    ApplyHint(HeaderControl1, tr("ソート項目をクリックすると、検索結果を並べ替え | "
                                 "検索結果をＨＴＭＬ形式で作成・保存する前に、処理して下さい。"));
    FStatus->ApplyPanelHint();
}

QWidget* TMDIChild::OuterWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        return sub;
    return this;
}

bool TMDIChild::FormCreate() {
    // The rows and columns last chosen in any window.
    FViews->TakeChosenGrid();
    FQuery = FHost.SearchQuery();
    QString caption = tr(" 検索ディレクトリ = %1 , 指定キー = %2")
                          .arg(ui::ToVisibleText(FQuery.BaseDir), ui::ToVisibleText(FQuery.Key));
    if (!FQuery.Walk.FilterText.empty())
        caption += tr("  （ %1 ）").arg(ui::ToText(FQuery.Walk.FilterText));
    setWindowTitle(caption);
    OuterWindow()->setWindowTitle(caption);
    // Shown while the walk runs: sized now.
    OuterWindow()->resize((FHost.FrameWidth() - FHost.DirectoryPanelWidth()) * 5 / 6,
                          FHost.DirectoryPanelHeight() * 5 / 6);

    QPointer<TMDIChild> self(this);
    FCreating = true;
    StartWalk();
    if (!self)
        return false;
    FCreating = false;
    AssignHints();
    return Searching() || (ListBox1->Items().Count() > 0 && !FCloseRequested);
}

bool TMDIChild::Searching() const {
    return ListBox1->IsSearching();
}

void TMDIChild::StartWalk() {
    FStatus->WalkStarting();
    // "Within the last hour" is the hour before this walk, also for a search again.
    if (platform::TFileFilter filter;
        !FQuery.Filters.Empty() && !settings::ResolveFilter(FQuery.Filters, std::time(nullptr), filter))
        FQuery.Walk.Filter = std::move(filter);
    ListBox1->SetQuery(FQuery);
    // A walk that ends at once has had its end before this returns.
    ListBox1->StartSearch(FQuery.BaseDir);
    if (!Searching())
        return;
    FStatus->WalkRunning();
    UpdateWalkCommands();
    FStatus->ShowWalkStatus();
}

void TMDIChild::UpdateWalkCommands() {
    const bool walking = Searching();
    HTMLH1->setEnabled(!walking);
    SearchAgain1->setEnabled(!walking);
}

void TMDIChild::ListBox1SearchEnding() {
    FDetailsTop = nullptr;
    if (DetailsShown()) {
        const QModelIndex top = DetailsView1->indexAt(QPoint(0, 0));
        // A view at its beginning stays there.
        if (top.isValid() && top.row() > 0)
            FDetailsTop = ListBox1->Items().Objects(top.row());
    }
}

void TMDIChild::ListBox1SearchFinished() {
    FStatus->WalkFinished();
    UpdateWalkCommands();
    if (FDetailsTop) {
        for (int row = 0; row < ListBox1->Items().Count(); ++row)
            if (ListBox1->Items().Objects(row) == FDetailsTop) {
                DetailsView1->scrollTo(DetailsView1->model()->index(row, 0),
                                       QAbstractItemView::PositionAtTop);
                break;
            }
        FDetailsTop = nullptr;
    }
    FStatus->ShowSortStatus();
    FStatus->ShowUnreadStatus();
    FOrder->ShowSortChecks();
    const bool found = ListBox1->Items().Count() > 0;
    if (found) {
        if (!FAgain)
            FHost.AddKeyToHistory(FQuery.Key);
        // The selection kept its hits: their numbers changed.
        if (const int index = ListBox1->ItemIndex(); index >= 0) {
            FStatus->SetItem(index);
            FStatus->ShowItemStatus();
        }
    }
    FAgain = false;
    QPointer<TMDIChild> self(this);
    emit WalkEnded();
    if (!self || found || FClosing)
        return;
    // Stopped before anything was found: the user knows, no box.
    if (!ListBox1->SearchStopped())
        ShowNoHitBox();
    if (self && !FCreating)
        QMetaObject::invokeMethod(
            this, [this] { CloseWindow(); }, Qt::QueuedConnection);
}

void TMDIChild::ShowNoHitBox() {
    const search::TWalkStats& stats = ListBox1->FileItems().Files().Stats();
    if (stats.BaseError != 0) {
        ShowMessageBox(FHost.DialogParent(), TMessageKind::Error,
                       tr("検索ディレクトリ  %1  を読み込めません。\r\n\r\n%2")
                           .arg(ui::ToVisibleText(FQuery.BaseDir),
                                ui::ToText(platform::TIoError({}, stats.BaseError).SystemText())),
                       ui::mbOK);
        return;
    }
    // Nothing found is not the whole answer when folders were left
    // unread, or left out.
    QString text =
        tr("指定キー  %1  に\r\n\r\n該当するファイルは見つかりませんでした。").arg(ui::ToText(FQuery.Key));
    if (!FQuery.Walk.FilterText.empty())
        text += QStringLiteral("\r\n\r\n") + tr("絞り込み ： %1").arg(ui::ToText(FQuery.Walk.FilterText));
    if (!FQuery.Walk.KeyLists && FQuery.Key.find(';') != std::string::npos)
        text += QStringLiteral("\r\n\r\n") +
                tr("「 ; 」もキーの一部として検索しました。「 ; "
                   "」で区切った複数のキーとして検索するには、"
                   "検索ｵﾌﾟｼｮﾝ の「「 ; 」で区切って複数のキーを指定」をオンにして下さい。");
    for (const QString& line :
         {ui::ToText(words::UnreadFoldersText(stats)), ui::ToText(words::NotSearchedText(stats))})
        if (!line.isEmpty())
            text += QStringLiteral("\r\n\r\n") + line;
    ShowMessageBox(FHost.DialogParent(), TMessageKind::Information, text, ui::mbOK);
}

void TMDIChild::SearchAgain1Click() {
    // The page being written holds the hits.
    if (Searching() || FPageSaver->Busy())
        return;
    FAgain = true;
    StartWalk();
}

void TMDIChild::SelectionChanged() {
    FSelectionStatusQueued = false;
    // One hit has its status from the click or key that chose it.
    const int count = ListBox1->SelectedCount();
    if (count > 1)
        FStatus->ShowItemStatus();
    else if (count == 0 && FStatus->SeveralShown())
        FStatus->ClearItemStatus();
}

void TMDIChild::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FViews->KeepListGrid();
}

void TMDIChild::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FViews->ApplyGrid();
}

void TMDIChild::ListBox1Click() {
    const int index = ListBox1->ItemIndex();
    if (index < 0)
        return;
    FStatus->SetItem(index);
    FStatus->ShowItemStatus();
    FHost.SetStatusText(QStringLiteral(" ") + ui::ToVisibleText(ListBox1->GetFilePath(index)));
}

void TMDIChild::ListBox1KeyUp() {
    const int index = ListBox1->ItemIndex();
    if (index < 0)
        return;
    FStatus->SetItem(index);
    FStatus->ShowItemStatus();
}

bool TMDIChild::ListBox1KeyDown(int key) {
    if (key != Qt::Key_F12 || ListBox1->ItemIndex() < 0)
        return false;
    FHits->OpenSelected(5);
    return true;
}

bool TMDIChild::ViewKeyDown(QAbstractItemView* view, QKeyEvent* key) {
    if (ListBox1KeyDown(key->key()))
        return true;
    if (key->key() == Qt::Key_Escape && Searching()) {
        ListBox1->StopSearch();
        return true;
    }
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        FHits->OpenSelected(1);
        return true;
    }
    if (key->matches(QKeySequence::Copy)) {
        FHits->CopyPath1Click();
        return true;
    }
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        FocusNextControl(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
        return true;
    }
    // Shift+F10 is the Menu key's twin on every desktop.
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(0, 0), view->mapToGlobal(QPoint(0, 0)),
                               Qt::ShiftModifier);
        QApplication::sendEvent(view, &menu);
        return true;
    }
    return false;
}

void TMDIChild::FocusNextControl(bool next) {
    // The chain of a subwindow ends at its border, and the view is this
    // window's only control: Tab goes on to the frame's controls, past
    // every result window.
    QWidget* from = CurrentView();
    QWidget* w = from;
    while ((w = next ? w->nextInFocusChain() : w->previousInFocusChain()) && w != from) {
        bool inWindow = false;
        for (const QWidget* p = w; p && !inWindow; p = p->parentWidget())
            inWindow = qobject_cast<const QMdiSubWindow*>(p) != nullptr || p == this;
        if (!inWindow && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            w->window() == from->window()) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void TMDIChild::ListBox1MouseMove(const QPoint& pos) {
    if (ListBox1->ItemIndex() >= 0)
        return;
    const int index = ListBox1->ItemAtPos(pos);
    FHost.SetStatusText(index >= 0 ? QStringLiteral(" ") + ui::ToVisibleText(ListBox1->GetFilePath(index))
                                   : QString());
}

void TMDIChild::ListBox1DblClick() {
    FHits->OpenChosen();
}

void TMDIChild::DetailsView1MouseMove(const QPoint& pos) {
    if (ListBox1->ItemIndex() >= 0)
        return;
    const QModelIndex at = DetailsView1->indexAt(pos);
    FHost.SetStatusText(
        at.isValid() ? QStringLiteral(" ") + ui::ToVisibleText(ListBox1->GetFilePath(at.row())) : QString());
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Help1 && e->type() == QEvent::Shortcut) {
        FHost.ShowHelpTopic(HelpTopicOf(QApplication::focusWidget()));
        return true;
    }
    // An open menu keeps the keys: F1 there asks for the highlighted item's topic.
    if (auto* menu = qobject_cast<QMenu*>(watched);
        menu && e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
        const int topic = HelpTopicOf(menu);
        menu->close();
        FHost.ShowHelpTopic(topic);
        return true;
    }
    if (watched == ListBox1 || watched == DetailsView1) {
        if (e->type() == QEvent::KeyPress) {
            if (ViewKeyDown(static_cast<QAbstractItemView*>(watched), static_cast<QKeyEvent*>(e)))
                return true;
            // A key that moves the selection clicks the new item, as the mouse
            // does; the list moves it after this filter.
            auto* view = static_cast<QAbstractItemView*>(watched);
            auto* key = static_cast<QKeyEvent*>(e);
            // Sideways, the details view scrolls.
            const bool plainMove =
                IsPlainMove(key) &&
                !(watched == DetailsView1 && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right));
            QMetaObject::invokeMethod(
                this,
                [this, view = QPointer<QAbstractItemView>(view), before = ListBox1->ItemIndex(),
                 beforeCurrent = QPersistentModelIndex(view->currentIndex()), plainMove] {
                    // Home on the first hit (or an arrow at the edge) moves nowhere, and
                    // the view then keeps the selection as it was: after Ctrl+A, every hit.
                    bool collapsed = false;
                    if (view && plainMove && view->currentIndex() == beforeCurrent &&
                        beforeCurrent.isValid() && ListBox1->SelectedCount() > 1) {
                        view->selectionModel()->setCurrentIndex(QModelIndex(beforeCurrent),
                                                                QItemSelectionModel::ClearAndSelect |
                                                                    QItemSelectionModel::Rows);
                        collapsed = true;
                    }
                    if (ListBox1->ItemIndex() != before || collapsed)
                        ListBox1Click();
                },
                Qt::QueuedConnection);
        } else if (e->type() == QEvent::KeyRelease) {
            ListBox1KeyUp();
        }
    } else if (watched == ListBox1->viewport() || watched == DetailsView1->viewport()) {
        // Ctrl and the wheel change the pictures' size, a notch a step.
        if (watched == ListBox1->viewport() && e->type() == QEvent::Wheel && FPictures->Shown() &&
            static_cast<QWheelEvent*>(e)->modifiers().testFlag(Qt::ControlModifier)) {
            FViews->Zoom(static_cast<QWheelEvent*>(e)->angleDelta().y());
            return true;
        }
        if (e->type() == QEvent::MouseMove) {
            const QPoint pos = static_cast<QMouseEvent*>(e)->position().toPoint();
            if (watched == ListBox1->viewport())
                ListBox1MouseMove(pos);
            else
                DetailsView1MouseMove(pos);
        }
        // The press before it has already selected the item under the
        // pointer; a double click elsewhere opens the selection as it stands.
        else if (e->type() == QEvent::MouseButtonDblClick &&
                 static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
            ListBox1DblClick();
    }
    return QWidget::eventFilter(watched, e);
}

void TMDIChild::ListBox1DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    TItemPaintInput in;
    in.FullPath = ListBox1->GetFilePath(index);
    in.ItemRect = rect;
    in.ItemHeight = ListBox1->ItemHeight();
    in.Columns = ListBox1->Columns();
    in.ListWidth = FPictures->Shown() ? ListBox1->ColumnsWidth() : ListBox1->width();
    in.Font = ListBox1->font();
    in.Selected = selected;
    const QPalette& palette = ListBox1->palette();
    in.TextColor = palette.color(QPalette::Text);
    in.BackColor = palette.color(QPalette::Base);
    in.HighlightTextColor = palette.color(QPalette::HighlightedText);
    in.HighlightColor = palette.color(QPalette::Highlight);
    in.IconSize = QSize(32, 32);
    in.ScreenDpi = ListBox1->logicalDpiY();
    in.PicturesView = FPictures->Shown();
    in.PictureSide = FPictures->PictureSide();
    in.Picture = FPictures->PictureFor(index, in.FullPath);
    in.HelperPicture = [this, index, &in] { return FPictures->HelperPictureFor(index, in.FullPath); };
    in.WaitCursor = true;
    PaintResultItem(painter, in);
}

void TMDIChild::SaveColumnWidths() {
    FViews->ChangeView(
        [this](settings::TViewChoices& view) { view.ColumnWidths = DetailsView1->ChosenWidths(); });
}

void TMDIChild::PageThumbnails1Click() {
    FViews->ChangeView(
        [this](settings::TViewChoices& view) { view.PageThumbnails = PageThumbnails1->isChecked(); });
}

int TMDIChild::HelpTopicOf(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == this || isAncestorOf(w)) {
            const QVariant topic = w->property("helpContext");
            if (topic.isValid() && topic.toInt() > 0)
                return topic.toInt();
        }
    }
    const QVariant own = property("helpContext");
    return own.isValid() ? own.toInt() : 1200;
}

int TMDIChild::HelpTopicOf(const QMenu* menu) const {
    if (QAction* item = menu->activeAction()) {
        const QVariant topic = item->property("helpContext");
        if (topic.isValid() && topic.toInt() > 0)
            return topic.toInt();
    }
    const QVariant topic = menu->property("helpContext");
    return topic.isValid() && topic.toInt() > 0 ? topic.toInt()
                                                : HelpTopicOf(static_cast<const QWidget*>(nullptr));
}

void TMDIChild::FormActivate(bool takeFocus) {
    // The menus and the page command have theirs from their commands.
    setProperty("helpContext", 1200);
    ListBox1->setProperty("helpContext", 1200);
    DetailsView1->setProperty("helpContext", 1200);
    FHost.SetWindowMenuEnabled(true);
    if (takeFocus)
        CurrentView()->setFocus();
}

void TMDIChild::Close1Click() {
    FHost.ShowPanels();
    FHost.SetQuickKeysEnabled(true);
    CloseWindow();
}

void TMDIChild::CloseWindow() {
    OuterWindow()->close();
}

void TMDIChild::closeEvent(QCloseEvent* e) {
    // The walk runs in this window's list, the page's writer with this
    // window's hits: each stops, and the window goes when it has.
    if (FPageSaver->Busy()) {
        FCloseRequested = true;
        FPageSaver->RequestStop();
        e->ignore();
        return;
    }
    if (Searching()) {
        // The walk ends here, with no box about what it found.
        FClosing = true;
        ListBox1->StopSearch();
        FClosing = false;
    }
    if (FColumnsTimer->isActive()) {
        FColumnsTimer->stop();
        SaveColumnWidths();
    }
    FHost.ShowPanels();
    // The frame counts the windows shown; a window closed unshown (a search
    // without hits) is not among them.
    if (FHost.ResultWindowCount() - (OuterWindow()->isHidden() ? 0 : 1) <= 0)
        FHost.SetWindowMenuEnabled(false);
    // Here rather than in the destructor, which may run while the frame is
    // itself being destroyed.
    FHost.FocusDirectoryTree();
    e->accept();
}

void TMDIChild::HTMLH1Click() {
    // The page holds every hit in its order: not before the walk's end.
    if (Searching()) {
        ShowMessageBox(this, TMessageKind::Information,
                       tr("検索中です。\r\n\r\n検索が終わってから、ＨＴＭＬを作成して下さい。"), ui::mbOK);
        return;
    }
    // The page is in the order the window is asked to show.
    ListBox1->SettleOrder();
    QPointer<TMDIChild> self(this);
    const bool closeNow = FPageSaver->Save({&ListBox1->FileItems(), FQuery.BaseDir, FQuery.Key,
                                            FStatus->HitSize(), PageThumbnails1->isChecked()});
    if (self && closeNow)
        QMetaObject::invokeMethod(
            this, [this] { CloseWindow(); }, Qt::QueuedConnection);
}

QString TMDIChild::StatusText() const {
    return FStatus->StatusText();
}

bool TMDIChild::DetailsShown() const {
    return FViews->DetailsShown();
}

QAbstractItemView* TMDIChild::CurrentView() const {
    return FViews->CurrentView();
}

} // namespace tavolix::results
