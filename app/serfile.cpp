#include "app/serfile.h"

#include "app/DriveComboBox.h"
#include "app/FilterRow.h"
#include "app/FrameCommands.h"
#include "app/FrameMemory.h"
#include "app/HelpFile.h"
#include "app/SavedPagesMenu.h"
#include "app/SearchBar.h"
#include "app/WalkChoices.h"
#include "app/WindowArranger.h"
#include "app/about.h"
#include "dirtree/DirTVS.h"
#include "hitview/FLBoxS.h"
#include "platform/Volumes.h"
#include "results/findf.h"
#include "settings/FilterChoice.h"
#include "settings/SearchSettings.h"
#include "settings/ViewSettings.h"
#include "thumbnailer/Sandbox.h"
#include "thumbs/ThumbnailPool.h"
#include "ui/Commands.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "ui/ProgramIcon.h"
#include "ui/UiFonts.h"
#include "words/CoreWords.h"

#include <algorithm>
#include <initializer_list>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace tavolix::app {

using ui::ApplyHint;
using ui::kPGothic;
using ui::mbNo;
using ui::mbOK;
using ui::mbYes;
using ui::ProgramIcon;
using ui::ShowMessageBox;
using ui::TCommand;
using ui::TMessageKind;
using ui::TMessageResult;
using ui::UiFont;

namespace {

// One command of a menu: the field that keeps it and what it does.
struct TMenuRow {
    QAction* TMDIForm::*Field;
    const TCommand& Command;
    void (TMDIForm::*Click)(); // none: the command only shows
    bool SeparatorBefore = false;
};

void AddCommands(TMDIForm& frame, QMenu* menu, std::initializer_list<TMenuRow> rows) {
    for (const TMenuRow& row : rows) {
        if (row.SeparatorBefore)
            menu->addSeparator();
        QAction* action = ui::AddCommand(menu, row.Command);
        if (row.Click)
            QObject::connect(action, &QAction::triggered, &frame,
                             [&frame, click = row.Click] { (frame.*click)(); });
        frame.*row.Field = action;
    }
}

std::string ResolveSettingsFile(std::optional<std::string> given) {
    return given ? *given : settings::SettingsFilePath();
}

QFrame* LoweredPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    return panel;
}

} // namespace

// ---- TMDIForm

TMDIForm::TMDIForm(std::optional<std::string> settingsFile, QWidget* parent)
    : QMainWindow(parent),
      FSavedPagesMenu(new TSavedPagesMenu(ResolveSettingsFile(std::move(settingsFile)), this)) {
    FTitle = tr(" Tavolix ヌバロ");
    setWindowTitle(FTitle);
    setWindowIcon(ProgramIcon());

    BuildBars();
    BuildMenus();

    // Saved pages first: the menu shows them from the start.
    FSettingsReadError = FSavedPagesMenu->Load();
    FViewState = std::make_unique<settings::TViewState>(SettingsFile());
    FPlacement.Start(settings::ReadFrameSize(SettingsFile()));
    // Inactive until the window system says otherwise: a compositor may never
    // give it the focus (no keyboard on its seat).
    FCaptionActive = false;
    AssignHints();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TMDIForm::Timer1Timer);
    Timer1->start();
    Timer1Timer();

    connect(qApp, &QApplication::focusChanged, this, &TMDIForm::FocusChanged);
    // The program as a whole loses the focus to another one (dialogs of its
    // own don't count); activations that bring it back move no focus. The
    // mark lasts until the activation events of the return have run.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) {
            FBackFromElsewhere = true;
            return;
        }
        QTimer::singleShot(0, this, [this] { FBackFromElsewhere = false; });
    });

    FMemory = new TFrameMemory(SettingsFile(), !FSettingsReadError,
                               {FSearchBar, FilterRow1, FWalkChoices, Panel2, Splitter1, DriveComboBox1,
                                DirectoryListBox2, &FPlacement},
                               this);
    // The selector's volumes, and the tree on the folder searched last.
    FMemory->Load();
}

TMDIForm::~TMDIForm() {
    disconnect(qApp, &QApplication::focusChanged, this, &TMDIForm::FocusChanged);
    delete FMemory; // what waits is written, with no box while the frame goes
    FMemory = nullptr;
    // The result windows go before the controls they read from.
    const QList<QMdiSubWindow*> windows = MDIArea->subWindowList();
    for (QMdiSubWindow* window : windows)
        delete window;
}

void TMDIForm::BuildBars() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    column->addWidget(BuildSearchBar(central));
    FilterRow1 = new TFilterRow(central);
    FilterRow1->hide();
    connect(FilterRow1, &TFilterRow::Changed, this, &TMDIForm::RememberLater);
    column->addWidget(FilterRow1);

    // The tree pane widens by its splitter; the result windows' area takes
    // what the frame gains.
    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1, 1);
    Splitter1->addWidget(BuildTreePanel(Splitter1));

    MDIArea = new QMdiArea(Splitter1);
    MDIArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MDIArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FArranger = std::make_unique<TWindowArranger>(MDIArea);
    connect(MDIArea, &QMdiArea::subWindowActivated, this, &TMDIForm::SubWindowActivated);
    Splitter1->addWidget(MDIArea);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    // The pane and its handle take the tree panel's 201 pixels.
    Splitter1->setSizes({201 - Splitter1->handleWidth(), 600});
    connect(Splitter1, &QSplitter::splitterMoved, this, &TMDIForm::RememberLater);
    setCentralWidget(central);

    BuildStatusBar();
}

// Panel1: the key box, the search and save buttons and the base directory label.
QWidget* TMDIForm::BuildSearchBar(QWidget* parent) {
    FSearchBar = new TSearchBar(this);
    Panel1 = FSearchBar->BuildPanel(parent);
    KeyWordEditCB = FSearchBar->KeyBox;
    SerchSB = FSearchBar->FindButton;
    SaveFileMSB = FSearchBar->SaveButton;
    Label1 = FSearchBar->DirLabel;
    connect(FSearchBar, &TSearchBar::FindAsked, this, [this] { SearchFind1Click(); });
    connect(FSearchBar, &TSearchBar::SaveAsked, this, &TMDIForm::SaveFileMSBClick);
    return Panel1;
}

// Panel2: the directory tree above the volume selector.
QWidget* TMDIForm::BuildTreePanel(QWidget* parent) {
    Panel2 = new QFrame(parent);
    Panel2->setMinimumWidth(120);
    auto* panelColumn = new QVBoxLayout(Panel2);
    panelColumn->setContentsMargins(0, 0, 0, 0);
    panelColumn->setSpacing(0);
    DirectoryListBox2 = new dirtree::TDirTreeViewS(Panel2);
    DirectoryListBox2->setObjectName(QStringLiteral("DirectoryListBox2"));
    DirectoryListBox2->SetHideSelection(false);
    DirectoryListBox2->SetIndent(19);
    DirectoryListBox2->OnChange = [this](dirtree::TDirTreeViewS*, const std::string&) {
        DirectoryListBox2Change();
    };
    panelColumn->addWidget(DirectoryListBox2, 1);
    Panel3 = LoweredPanel(Panel2);
    Panel3->setFixedHeight(41);
    auto* selectorRow = new QHBoxLayout(Panel3);
    selectorRow->setContentsMargins(1, 7, 1, 7);
    DriveComboBox1 = new TDriveComboBox(Panel3);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setFixedHeight(25);
    selectorRow->addWidget(DriveComboBox1);
    // Its volumes come with the folder to start in (TFrameMemory::Load).
    connect(DriveComboBox1, &TDriveComboBox::DriveChanged, this, [this] { DriveComboBox1Change(); });
    panelColumn->addWidget(Panel3);

    return Panel2;
}

void TMDIForm::BuildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setFont(UiFont(kPGothic, 15));
    StatusBar1->setSizeGripEnabled(true);
    // Panels keep their widths and are clipped by a narrow frame, which
    // therefore needn't be wider than the status bar's panels.
    auto* panels = new QWidget(StatusBar1);
    panels->setMinimumSize(0, QFontMetrics(StatusBar1->font()).height() + 6);
    panels->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    const int widths[2] = {720, 100};
    int left = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        StatusPanels[i] = new QLabel(panels);
        StatusPanels[i]->setTextFormat(Qt::PlainText);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusPanels[i]->setGeometry(left, 0, widths[i], panels->minimumHeight());
        left += widths[i];
    }
    StatusBar1->addWidget(panels, 1);
    setStatusBar(StatusBar1);
}

void TMDIForm::BuildMenus() {
    File1 = ui::MakeMenu(ui::kFileMenu, this);
    AddCommands(*this, File1,
                {{&TMDIForm::Close1, kClose1, &TMDIForm::Close1Click},
                 {&TMDIForm::Help1, ui::kHelpCommand, &TMDIForm::Help1Click, true},
                 {&TMDIForm::About1, ui::kAboutCommand, &TMDIForm::About1Click, true}});
    // Ctrl+Q quits, as in every desktop program; a result window's own menu
    // has it while that menu stands in for this one.
    Close1->setShortcuts({kClose1.Shortcut, ui::kQuitCommand.Shortcut});
    // F1 asks for the topic of where the user is, the command for the first.
    Help1->installEventFilter(this);

    SetEdit1 = FSearchBar->BuildQuickKeysMenu(this);
    QuickKeys = FSearchBar->QuickKeys;
    connect(FSearchBar, &TSearchBar::QuickKeyChosen, this, &TMDIForm::allClick);

    Utilety1 = ui::MakeMenu(ui::kSearchMenu, this);
    AddCommands(*this, Utilety1,
                {{&TMDIForm::SearchFind1, ui::kFindCommand, &TMDIForm::SearchFind1Click},
                 {&TMDIForm::HTMLSave, kHTMLSave, nullptr, true}});
    HTMLSave->setEnabled(false);
    connect(Utilety1, &QMenu::aboutToShow, this, &TMDIForm::Utilety1Click);

    FWalkChoices = new TWalkChoices(SettingsFile(), *FilterRow1, this);
    SearchOptions1 = FWalkChoices->Build();
    HiddenFolders1 = FWalkChoices->HiddenFolders;
    OneFileSystem1 = FWalkChoices->OneFileSystem;
    ExcludeFolders1 = FWalkChoices->ExcludeFolders;
    KeyLists1 = FWalkChoices->KeyLists;
    FilterRowShow1 = FWalkChoices->FilterRowShow;
    connect(FilterRowShow1, &QAction::triggered, this, &TMDIForm::FilterRowShowClick);
    // Its key works whatever menus the active window brings.
    addAction(FilterRowShow1);

    SaveData = FSavedPagesMenu->Build();
    FSavedMenuItems = FSavedPagesMenu->Items();

    Windows1 = ui::MakeMenu(kWindowMenu, this);
    AddCommands(*this, Windows1,
                {{&TMDIForm::DirectoryShow, kDirectoryShow, &TMDIForm::DirectoryShowClick},
                 {&TMDIForm::Tile1, kTile1, &TMDIForm::Tile1Click, true},
                 {&TMDIForm::Cascade1, kCascade1, &TMDIForm::Cascade1Click},
                 {&TMDIForm::NextChild1, kNextChild1, &TMDIForm::NextChild1Click},
                 {&TMDIForm::MAX, kMAX, &TMDIForm::MAXClick, true},
                 {&TMDIForm::NORMAL, kNORMAL, &TMDIForm::NORMALClick},
                 {&TMDIForm::MINI, kMINI, &TMDIForm::MINIClick},
                 {&TMDIForm::Arrange, kArrange, &TMDIForm::ArrangeClick, true}});
    // A disabled menu silences its items' shortcuts; F5 must bring the bars
    // back before any result window has enabled the window menu.
    addAction(DirectoryShow);
    Windows1->menuAction()->setEnabled(false);
    connect(Windows1, &QMenu::aboutToShow, this, [this] { FArranger->FillWindowList(Windows1); });

    FOwnMenus = {{0, File1}, {2, SetEdit1}, {3, Utilety1}, {4, SearchOptions1}, {5, SaveData}, {9, Windows1}};

    // The menu bar and the clock share a row. A maximized result window
    // keeps its own title bar then (its buttons would take the menu bar's
    // corner, and the clock with it).
    auto* menuRow = new QWidget(this);
    auto* rowLayout = new QHBoxLayout(menuRow);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);
    MainMenu1 = new QMenuBar(menuRow);
    // The bar's button for the menus that don't fit shows a picture alone.
    if (auto* more = MainMenu1->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button")))
        more->setAccessibleName(tr("ほかのメニュー"));
    rowLayout->addWidget(MainMenu1, 1);
    FClock = new TCaptionClock(menuRow);
    rowLayout->addWidget(FClock);
    setMenuWidget(menuRow);
    RebuildMenuBar();
}

void TMDIForm::AssignHints() {
    ApplyHint(KeyWordEditCB, tr("指定キーを入力（ 例 ＝ ａ＊．ｇ＊ ）| "
                                "指定キーを、ＤＯＳのワイルドカード「 ＊ 」を用いて、入力して下さい。"));
    ApplyHint(SerchSB, ui::CommandText(ui::kFindCommand.Hint));
    ApplyHint(SaveFileMSB, ui::CommandText(ui::kWritePageCommand.Hint));
    ApplyHint(DirectoryListBox2,
              tr("基準とするディレクトリを、マウスのクリックや、キーボードの矢印キーで選択して下さい。"));
    ApplyHint(DriveComboBox1, tr("ドライブを変更する時に、使用して下さい。"));
}

void TMDIForm::SaveDataClick() {
    FSavedPagesMenu->Load();
}

const settings::TSavedPages& TMDIForm::SavedPages() const {
    return FSavedPagesMenu->Pages();
}

const std::string& TMDIForm::SettingsFile() const {
    return FSavedPagesMenu->Pages().SettingsFile();
}

settings::TFilterChoice TMDIForm::FilterChoice() const {
    return FWalkChoices->FilterChoice();
}

search::TWalkOptions TMDIForm::WalkOptions() const {
    return FWalkChoices->WalkOptions(KeyText());
}

bool TMDIForm::FilterRowShown() const {
    return FWalkChoices->RowShown();
}

void TMDIForm::SearchOptions1Click() {
    FWalkChoices->ShowCheckMarks();
}

void TMDIForm::HiddenFolders1Click() {
    FWalkChoices->HiddenFoldersClick();
}

void TMDIForm::OneFileSystem1Click() {
    FWalkChoices->OneFileSystemClick();
}

void TMDIForm::KeyLists1Click() {
    FWalkChoices->KeyListsClick();
}

void TMDIForm::ExcludeFolders1Click() {
    FWalkChoices->ExcludeFoldersClick();
}

void TMDIForm::FilterRowShowClick() {
    const bool shown = !FWalkChoices->RowShown();
    FWalkChoices->SetRowShown(shown);
    if (shown)
        ShowPanels();
    FilterRow1->setVisible(shown && !Panel1->isHidden());
    if (shown)
        FilterRow1->KindButton->setFocus();
    else if (FilterRow1->isAncestorOf(QApplication::focusWidget()))
        KeyWordEditCB->setFocus();
    WriteMemoryNow();
}

// ---- menu merging

void TMDIForm::RebuildMenuBar() {
    std::map<int, QMenu*> menus = FOwnMenus;
    if (QMdiSubWindow* active = MDIArea->activeSubWindow())
        if (auto* child = dynamic_cast<results::TMDIChild*>(active->widget()))
            for (const auto& group : child->MenuGroups())
                menus[group.Group] = group.Menu;
    QMenuBar* bar = MainMenu1;
    const QList<QAction*> current = bar->actions();
    std::vector<QAction*> wanted;
    for (const auto& [group, menu] : menus)
        wanted.push_back(menu->menuAction());
    if (std::equal(current.begin(), current.end(), wanted.begin(), wanted.end()))
        return;
    for (QAction* action : current)
        bar->removeAction(action);
    for (QAction* action : wanted)
        bar->addAction(action);
}

void TMDIForm::SubWindowActivated(QMdiSubWindow* window) {
    RebuildMenuBar();
    if (window)
        if (auto* child = dynamic_cast<results::TMDIChild*>(window->widget()))
            child->FormActivate(!FBackFromElsewhere);
}

// ---- host interface

search::TSearchQuery TMDIForm::SearchQuery() const {
    search::TSearchQuery query;
    query.BaseDir = SelectedDirectory();
    query.Key = KeyText();
    query.Walk = WalkOptions();
    query.Filters = FilterChoice();
    return query;
}

std::string TMDIForm::SelectedDirectory() const {
    return DirectoryListBox2->GetSelDirName();
}

std::string TMDIForm::KeyText() const {
    return FSearchBar->KeyText();
}

void TMDIForm::AddKeyToHistory(const std::string& key) {
    FMemory->AddKey(key);
}

void TMDIForm::RememberLater() {
    if (FMemory)
        FMemory->RememberLater();
}

void TMDIForm::WriteMemoryNow() {
    FMemory->WriteNow();
}

int TMDIForm::FrameWidth() const {
    return frameGeometry().width();
}
int TMDIForm::DirectoryPanelWidth() const {
    return Panel2->width();
}
int TMDIForm::DirectoryPanelHeight() const {
    return Panel2->height();
}

void TMDIForm::ShowPanels() {
    Panel1->show();
    FilterRow1->setVisible(FWalkChoices->RowShown());
    Panel2->show();
}

void TMDIForm::SetQuickKeysEnabled(bool enabled) {
    SetEdit1->menuAction()->setEnabled(enabled);
}
void TMDIForm::SetWindowMenuEnabled(bool enabled) {
    Windows1->menuAction()->setEnabled(enabled);
}
void TMDIForm::SetStatusText(const QString& text) {
    StatusPanels[0]->setText(text);
}
int TMDIForm::ResultWindowCount() const {
    return static_cast<int>(ResultSubWindows().size());
}

void TMDIForm::FocusDirectoryTree() {
    if (!Panel2->isHidden())
        DirectoryListBox2->setFocus();
}

bool TMDIForm::IsNetworkDriveSelected() const {
    return settings::IsNetworkDriveSelected(DriveComboBox1->EntryText(), DriveComboBox1->Drive());
}

QString TMDIForm::RegisterSavedPage(const std::array<std::string, 6>& record) {
    return FSavedPagesMenu->Register(record);
}

void TMDIForm::SetViewChoices(const settings::TViewChoices& choices) {
    if (const platform::TIoResult error = FViewState->Change(choices))
        ShowMessageBox(this, TMessageKind::Error, ui::ToText(words::CannotWriteWhyText(*error)), ui::mbOK);
}

thumbs::TThumbnailPool* TMDIForm::ThumbnailPool() {
    if (!FThumbnailPool) {
        thumbs::TPoolOptions options;
        options.HelperPath = thumbs::FindThumbnailer();
        FThumbnailPool = std::make_unique<thumbs::TThumbnailPool>(std::move(options));
    }
    return FThumbnailPool.get();
}

// ---- commands

void TMDIForm::SearchFind1Click() {
    const std::string dir = DirectoryListBox2->GetSelDirName();
    if (!KeyWordEditCB->currentText().isEmpty() && !dir.empty() && FWalkChoices->FiltersReadable()) {
        CreateResultWindow(dir, KeyText());
    }
    Label1->setText(QString());
}

void TMDIForm::CreateResultWindow(const std::string& dir, const std::string& key) {
    auto* child = new results::TMDIChild(*this);
    // After the walk: the settings file, if it is in the tree, is no hit it made.
    connect(
        child, &results::TMDIChild::WalkEnded, this, [this, dir, key] { FMemory->RememberSearch(dir, key); },
        Qt::SingleShotConnection);
    QMdiSubWindow* window = MDIArea->addSubWindow(child);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(windowIcon());
    if (CompositorOwnsFrame())
        ui::SetTitleClock(window, FClockText);
    // Shown once its walk runs, or has found something.
    window->hide();
    QPointer<QMdiSubWindow> guard(window);
    ++FCreating;
    const bool found = child->FormCreate();
    --FCreating;
    if (!guard) {
        FinishExitAfterWalks();
        return; // closed and gone meanwhile
    }
    if (!found) {
        // Closed as any result window closes: the bars come back, the tree
        // takes the focus.
        window->close();
        if (guard)
            delete window;
        FinishExitAfterWalks();
        return;
    }
    FArranger->PlaceNew(window);
    FinishExitAfterWalks();
}

void TMDIForm::FinishExitAfterWalks() {
    if (FExitConfirmed && FCreating == 0)
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
}

void TMDIForm::allClick(QAction* sender) {
    if (!sender)
        return;
    KeyWordEditCB->setEditText(sender->text());
    SearchFind1Click();
}

void TMDIForm::Close1Click() {
    close();
}

void TMDIForm::DirectoryShowClick() {
    if (!Panel2->isHidden()) {
        Panel2->hide();
        Panel1->hide();
        FilterRow1->hide();
    } else {
        ShowPanels();
    }
}

void TMDIForm::Utilety1Click() {
    ShowPanels();
}

void TMDIForm::SaveFileMSBClick() {
    const QList<QMdiSubWindow*> order = MDIArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        auto* child = dynamic_cast<results::TMDIChild*>((*it)->widget());
        if (child && (*it)->isVisible()) {
            child->HTMLH1Click();
            return;
        }
    }
    ShowMessageBox(this, TMessageKind::Confirmation,
                   tr("保存すべきデータがありません。\r\n\r\n検索を行った後で、ボタンを押下して下さい。"),
                   mbOK);
}

void TMDIForm::SaveData1Click(QAction* sender) {
    FSavedPagesMenu->Open(sender);
}

// ---- window commands

std::vector<QMdiSubWindow*> TMDIForm::ResultSubWindows() const {
    return FArranger->ResultSubWindows();
}

std::vector<results::TMDIChild*> TMDIForm::ResultWindows() const {
    return FArranger->ResultWindows();
}

QMdiSubWindow* TMDIForm::SubWindowOf(results::TMDIChild* child) const {
    return FArranger->SubWindowOf(child);
}

bool TMDIForm::TileVertical() const {
    return FArranger->TileVertical();
}

void TMDIForm::Tile1Click() {
    FArranger->Tile();
}

void TMDIForm::Cascade1Click() {
    FArranger->Cascade();
}

void TMDIForm::NextChild1Click() {
    FArranger->ActivateNext();
}

void TMDIForm::MAXClick() {
    FArranger->MaximizeActive();
}

void TMDIForm::NORMALClick() {
    FArranger->NormalizeAll();
}

void TMDIForm::MINIClick() {
    ShowPanels();
    FArranger->MinimizeAll();
}

void TMDIForm::ArrangeClick() {
    FArranger->ArrangeIcons();
}

// ---- clock, help, about

void TMDIForm::Timer1Timer() {
    const QTime now = QTime::currentTime();
    // The next tick just after the next second begins: one a little late
    // still shows its own second, where a tick at any moment of the second
    // would skip one and then show the same twice.
    Timer1->start(1000 - now.msec() + 20);
    FClockText = now.toString(QStringLiteral("HH:mm:ss")).left(8);
    // Where the clock can't be drawn into the title bar, the title text
    // carries it (the task bar shows it even while minimized).
    // The result windows' own title bars show it too.
    if (CompositorOwnsFrame()) {
        setWindowTitle(FTitle + QStringLiteral("  ") + FClockText);
        for (QMdiSubWindow* window : ResultSubWindows())
            ui::SetTitleClock(window, FClockText);
    }
    if (isMinimized())
        return;
    FClock->SetActive(FCaptionActive);
    FClock->SetText(FClockText);
}

void TMDIForm::Help1Click() {
    ShowHelpTopic(kHelpMain);
}

void TMDIForm::Help1KeyPress() {
    int topic = kHelpMain;
    for (const QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget())
        if (const QVariant number = w->property("helpContext"); number.isValid() && isAncestorOf(w)) {
            topic = number.toInt();
            break;
        }
    ShowHelpTopic(topic);
}

void TMDIForm::ShowHelpTopic(int topic) {
    if (HelpFilePath().isEmpty()) {
        ShowMessageBox(this, TMessageKind::Warning,
                       tr("ヘルプファイル %1 が見つかりません。").arg(HelpFileName()), mbOK);
        return;
    }
    app::ShowHelpTopic(topic);
}

void TMDIForm::About1Click() {
    if (!FAboutBox)
        FAboutBox = new TAboutBox(this);
    // What the helpers said, else what this kernel offers them.
    const std::optional<thumbs::TSandboxState> told =
        FThumbnailPool ? FThumbnailPool->Sandbox() : std::nullopt;
    FAboutBox->ShowSandbox(told ? *told : thumbnailer::ProbeSandbox());
    FAboutBox->exec();
}

// ---- activation, label, volumes

void TMDIForm::FormActivate() {
    // The menus have theirs from their commands.
    setProperty("helpContext", kHelpMain);
    DirectoryListBox2->setProperty("helpContext", kHelpSearch);
    DriveComboBox1->setProperty("helpContext", kHelpSearch);
    DirectoryListBox2Change();
    // Back from another program the focus stays where the user left it.
    if (!FBackFromElsewhere)
        FocusDirectoryTree();
}

void TMDIForm::DirectoryListBox2Change() {
    Label1->setText(tr("検索対象 ＝ %1").arg(ui::ToVisibleText(DirectoryListBox2->GetSelDirName())));
    Label1->adjustSize();
}

void TMDIForm::DriveComboBox1Change() {
    const std::string drive = DriveComboBox1->Drive();
    if (drive.empty())
        return;
    // The tree reads the volume off this thread; what doesn't answer there
    // (the volume or any folder) shows as not answering.
    DirectoryListBox2->SetDrive(drive);
}

bool TMDIForm::IsFrameControl(const QWidget* widget) const {
    return widget && (Panel1->isAncestorOf(widget) || Panel2->isAncestorOf(widget));
}

void TMDIForm::FocusChanged(QWidget* old, QWidget* now) {
    // Back from a result window to the bars: the label shows the tree's
    // directory again. The focus stays where the user put it.
    if (IsFrameControl(now) && !IsFrameControl(old))
        DirectoryListBox2Change();
}

// ---- events

bool TMDIForm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        SetStatusText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TMDIForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() &&
        (event->type() == QEvent::Expose || event->type() == QEvent::Move || event->type() == QEvent::Resize))
        FPlacement.Place();
    if (watched == Help1 && event->type() == QEvent::Shortcut) {
        Help1KeyPress();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMDIForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FShownOnce) {
        FShownOnce = true;
        if (FSettingsReadError)
            // After the show: a box from inside it would come before the frame.
            QTimer::singleShot(0, this, [this, text = words::CannotReadText(*FSettingsReadError)] {
                ShowMessageBox(this, TMessageKind::Warning,
                               ui::ToText(text) + QStringLiteral("\r\n\r\n") +
                                   tr("作成データは空のまま始め、このファイルには書き込みません。"),
                               mbOK);
            });
        // The window manager's frame is known once it has taken the window on.
        if (QWindow* window = windowHandle())
            window->installEventFilter(this);
    }
    SetStatusText(ui::CommandText(ui::kSearchMenu.Hint));
}

void TMDIForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The user's, once the frame's own placing is over.
    if (FPlacement.Settled() && !isMinimized()) {
        FPlacement.MarkChanged();
        RememberLater();
    }
}

void TMDIForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        FCaptionActive = isActiveWindow();
        FClock->SetActive(FCaptionActive); // now, not at the next tick
        if (FCaptionActive && !MDIArea->activeSubWindow())
            FormActivate();
    } else if (event->type() == QEvent::WindowStateChange && !isMinimized()) {
        // Maximised or back by the user (a start maximised leaves it so).
        if (FShownOnce &&
            (FPlacement.Settled() ||
             static_cast<QWindowStateChangeEvent*>(event)->oldState().testFlag(Qt::WindowMaximized))) {
            FPlacement.MarkChanged();
            RememberLater();
        }
        Timer1Timer();
        // Restored from a start minimized or maximized: placed now, once the
        // window system has finished the change.
        QTimer::singleShot(0, this, [this] { FPlacement.Place(); });
    }
}

bool TMDIForm::FormCloseQuery() {
    if (!FExitConfirmed) {
        // Yes, or the box closed some other way: the frame closes.
        if (ShowMessageBox(this, TMessageKind::Plain, tr("お疲れさま !!  終了しますか ? "), mbYes | mbNo) ==
            TMessageResult::mrNo)
            return false;
        FExitConfirmed = true;
    }
    // A running walk can't be left from under: it stops, and the frame
    // closes once the walks have returned.
    if (FCreating > 0) {
        for (QMdiSubWindow* window : MDIArea->subWindowList())
            if (auto* child = dynamic_cast<results::TMDIChild*>(window->widget()))
                child->ListBox1->StopSearch();
        return false;
    }
    MDIArea->closeAllSubWindows();
    if (!ResultSubWindows().empty()) {
        FExitConfirmed = false;
        return false;
    }
    return true;
}

void TMDIForm::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        if (FMemory->Pending())
            WriteMemoryNow();
        event->accept();
    } else
        event->ignore();
}

} // namespace tavolix::app
