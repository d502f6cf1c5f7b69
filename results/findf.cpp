#include "results/findf.h"

#include "hitview/FLBoxS.h"
#include "platform/ExecuteFile.h"
#include "platform/LocaleFormats.h"
#include "platform/Volumes.h"
#include "results/DetailsView.h"
#include "results/GridLayout.h"
#include "results/HitTransfer.h"
#include "results/ItemPainter.h"
#include "results/PageSaver.h"
#include "results/PictureView.h"
#include "search/FieldText.h"
#include "search/WalkReport.h"
#include "ui/Commands.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "ui/ReadableColours.h"
#include "ui/ScreenMetrics.h"
#include "ui/UiFonts.h"
#include "ui/WaitCursor.h"
#include "words/WalkWords.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
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

// The window's own commands; those it shares with the frame are ui's.
constexpr TCommand kClose1 = {QT_TRANSLATE_NOOP("Commands", "検索結果フォームを閉じる"),
                              QT_TRANSLATE_NOOP("Commands", "検索結果の表示フォームを閉じます。"),
                              Qt::Key_F4};
constexpr const char* kGyouRetsuHint = QT_TRANSLATE_NOOP(
    "Commands", "検索結果を見易くする場合などに、使用して下さい （ 作成するＨＴＭＬとは無関係 ）。");
constexpr TCommand kGyouRetsu = {QT_TRANSLATE_NOOP("Commands", "行列数設定 (&G)"), kGyouRetsuHint, {}, 1000};
constexpr TCommand kN4 = {QT_TRANSLATE_NOOP("Commands", "行表示数"), kGyouRetsuHint};
constexpr TCommand kN5 = {QT_TRANSLATE_NOOP("Commands", "列表示数"), kGyouRetsuHint};
const char* const kRows[] = {
    QT_TRANSLATE_NOOP("Commands", "１行"), QT_TRANSLATE_NOOP("Commands", "２行"),
    QT_TRANSLATE_NOOP("Commands", "３行"), QT_TRANSLATE_NOOP("Commands", "４行"),
    QT_TRANSLATE_NOOP("Commands", "５行"), QT_TRANSLATE_NOOP("Commands", "６行"),
    QT_TRANSLATE_NOOP("Commands", "７行"), QT_TRANSLATE_NOOP("Commands", "８行"),
    QT_TRANSLATE_NOOP("Commands", "９行"), QT_TRANSLATE_NOOP("Commands", "10行"),
    QT_TRANSLATE_NOOP("Commands", "11行"), QT_TRANSLATE_NOOP("Commands", "12行"),
    QT_TRANSLATE_NOOP("Commands", "13行"), QT_TRANSLATE_NOOP("Commands", "14行"),
    QT_TRANSLATE_NOOP("Commands", "15行"),
};
const char* const kColumns[] = {
    QT_TRANSLATE_NOOP("Commands", "１列"), QT_TRANSLATE_NOOP("Commands", "２列"),
    QT_TRANSLATE_NOOP("Commands", "３列"), QT_TRANSLATE_NOOP("Commands", "４列"),
    QT_TRANSLATE_NOOP("Commands", "５列"), QT_TRANSLATE_NOOP("Commands", "６列"),
    QT_TRANSLATE_NOOP("Commands", "７列"),
};
// Enter and Ctrl+C are the views' own keys; the menu shows them.
constexpr TCommand kOpen1 = {
    QT_TRANSLATE_NOOP("Commands", "開く"),
    QT_TRANSLATE_NOOP("Commands", "選択したファイルを、関連付けられたプログラムで開きます。"),
    Qt::Key_Return};
constexpr TCommand kOpenFolder1 = {
    QT_TRANSLATE_NOOP("Commands", "格納フォルダを開く"),
    QT_TRANSLATE_NOOP("Commands", "ファイルを格納しているフォルダを、ファイルを選択した状態で開きます。")};
constexpr TCommand kCopyPath1 = {
    QT_TRANSLATE_NOOP("Commands", "パスをコピー"),
    QT_TRANSLATE_NOOP(
        "Commands",
        "選択したファイルのパスを、１行に１つコピーします （ ファイル・マネージャーにはファイルとして ）。"),
    Qt::CTRL | Qt::Key_C};
constexpr TCommand kCopyName1 = {
    QT_TRANSLATE_NOOP("Commands", "名前をコピー"),
    QT_TRANSLATE_NOOP("Commands",
                      "選択したファイルの名前を（ １行に１つ ）、クリップボードにコピーします。")};
constexpr TCommand kDetails1 = {
    QT_TRANSLATE_NOOP("Commands", "詳細表示 (&L)"),
    QT_TRANSLATE_NOOP("Commands", "１行に１ファイルを、フォルダ・サイズ・更新日時・種類と共に表示します | "
                                  "見出しのクリックで並べ替え、見出しの境界のドラッグで列の幅を変更します"
                                  " （ 新しい検索結果にも適用 ）。"),
    Qt::Key_F7};
constexpr TCommand kSort1 = {
    QT_TRANSLATE_NOOP("Commands", "並べ替え (&R)"),
    QT_TRANSLATE_NOOP("Commands", "検索結果の並び順を変更します （ 作成するＨＴＭＬも、この順 ）。"),
    {},
    1200};
constexpr TCommand kReverse1 = {QT_TRANSLATE_NOOP("Commands", "逆順 (&V)"),
                                QT_TRANSLATE_NOOP("Commands", "昇順・降順を切替えます。"),
                                Qt::CTRL | Qt::Key_6};
constexpr TCommand kSearchAgain1 = {
    QT_TRANSLATE_NOOP("Commands", "再検索 (&A)"),
    QT_TRANSLATE_NOOP("Commands",
                      "同じフォルダ・キー・絞り込み・検索ｵﾌﾟｼｮﾝで、このウィンドウの検索をやり直します | "
                      "表示方法と並び順は、そのまま保ちます。"),
    Qt::CTRL | Qt::Key_R, 1200};
// The status bar's count and bytes at the least, and the room beside their texts.
constexpr int kCountPanelWidth = 90;
constexpr int kBytesPanelWidth = 150;
constexpr int kPanelMargins = 8;
// More hits than this are opened only when the user says so.
constexpr std::size_t kOpenWithoutAsking = 10;
constexpr TCommand kPictureView1 = {
    QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙ表示 (&P)"),
    QT_TRANSLATE_NOOP("Commands", "JPEG・PNG・WebP・SVG・PDF などの画像も、縮小して表示します | "
                                  "縮小画像は別のプロセスで作成し、共通のサムネイル・キャッシュに保存します"
                                  " （ 新しい検索結果にも適用 ）。"),
    Qt::Key_F6};
// The pictures' sizes, in the order of settings::kPictureSizes.
constexpr const char* kPictureSizeHint = QT_TRANSLATE_NOOP(
    "Commands", "ｻﾑﾈｲﾙ表示の画像の大きさ | "
                "列の数は、ウィンドウの幅に合わせて決まります （ 新しい検索結果にも適用 ）。");
constexpr TCommand kPictureSizes1[] = {
    {QT_TRANSLATE_NOOP("Commands", "小さいｻﾑﾈｲﾙ"), kPictureSizeHint},
    {QT_TRANSLATE_NOOP("Commands", "中くらいのｻﾑﾈｲﾙ"), kPictureSizeHint},
    {QT_TRANSLATE_NOOP("Commands", "大きいｻﾑﾈｲﾙ"), kPictureSizeHint},
};
constexpr TCommand kPictureLarger1 = {QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙを大きく"), kPictureSizeHint,
                                      Qt::CTRL | Qt::Key_Plus};
constexpr TCommand kPictureSmaller1 = {QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙを小さく"), kPictureSizeHint,
                                       Qt::CTRL | Qt::Key_Minus};
// The sort line's directions on the screen; the page and tavolix-page keep
// the words of the list box.
const char* const kDirectionWords[] = {QT_TRANSLATE_NOOP("tavolix::results::TMDIChild", "Upword"),
                                       QT_TRANSLATE_NOOP("tavolix::results::TMDIChild", "Down")};
constexpr TCommand kPageThumbnails1 = {
    QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙ付きHTML (&T)"),
    QT_TRANSLATE_NOOP(
        "Commands",
        "ＨＴＭＬの画像を、縮小画像（サムネイル）で作成します | "
        "縮小画像は、ＨＴＭＬと同じ名前のフォルダ （ ～.files ） に保存し、元のファイルにリンクします。"),
    {},
    1300};

QString Words(const char* source) {
    return QCoreApplication::translate("tavolix::results::TMDIChild", source);
}

QFont PGothic15() {
    return ui::UiFont(ui::kPGothic, 15);
}

} // namespace

void TMDIChild::SetSaveFileNameProvider(TSaveFileNameProvider provider) {
    TPageSaver::SetSaveFileNameProvider(std::move(provider));
}

TMDIChild::TMDIChild(TResultWindowHost& host, QWidget* parent) : QWidget(parent), FHost(host) {
    resize(456, 356);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildSortPanel());
    layout->addWidget(BuildHeader());
    layout->addWidget(BuildList(), 1);
    layout->addWidget(BuildDetails(), 1);
    FPictures = new TPictureView(*ListBox1, FHost.ThumbnailPool(), FHost.Volumes(), this);
    FPageSaver = new TPageSaver(FHost, this);
    layout->addWidget(BuildStatusBar());
    layout->addLayout(BuildWalkLine());

    BuildMenus();
    BuildHitActions();
    const settings::TViewChoices view = FHost.ViewChoices();
    FPictures->SetShown(view.Pictures);
    PictureView1->setChecked(FPictures->Shown());
    FPictures->SetPictureSide(view.Grid.PictureSize);
    UpdateGridCommands();
    PageThumbnails1->setChecked(view.PageThumbnails);
    FPictures->SetRowView(DetailsView1);
    DetailsView1->OnPicture = [this](int row, const std::string& path) {
        return FPictures->PictureFor(row, path);
    };
    DetailsView1->SetPicturesShown(FPictures->Shown());
    DetailsView1->SetColumnWidths(view.ColumnWidths);
    connect(DetailsView1, &TDetailsView::ColumnsChosen, FColumnsTimer, qOverload<>(&QTimer::start));
    SetDetailsShown(view.Details);
}

QWidget* TMDIChild::BuildSortPanel() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(30);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setFont(PGothic15());
    ui::SetFixedTextColour(Panel1, QPalette::WindowText, Qt::blue, QPalette::Window);
    PanelLabel = new QLabel(Panel1);
    PanelLabel->setObjectName(QStringLiteral("PanelLabel"));
    PanelLabel->move(8, 8);
    PanelLabel->setFont(PGothic15());
    ui::SetFixedTextColour(PanelLabel, QPalette::WindowText, Qt::blue, QPalette::Window);
    return Panel1;
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
    connect(ListBox1, &TFileListBoxS::SearchStep, this, [this] { ShowWalkStatus(); });
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
            [this](int section) { DetailsView1SectionClick(section); });
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

QWidget* TMDIChild::BuildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    const int panelWidths[] = {kCountPanelWidth, kBytesPanelWidth, 130, 300};
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(StatusBar1);
        StatusPanels[i]->setFixedWidth(panelWidths[i]);
        StatusPanels[i]->setAlignment((i < 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        StatusBar1->addWidget(StatusPanels[i]);
    }
    // The date with its four-digit year (and a day period in some locales)
    // is wider than the panel's 130 pixels may hold.
    const platform::TScreenDateForm form = platform::SystemScreenDateForm();
    const QFontMetrics metrics(StatusPanels[2]->font());
    int dateWidth = panelWidths[2];
    for (const int hour : {8, 20})
        dateWidth = std::max(dateWidth, metrics.horizontalAdvance(ui::ToText(platform::ScreenDateTimeText(
                                            {2088, 12, 28, hour, 58, 0}, form))) +
                                            12);
    StatusPanels[2]->setFixedWidth(dateWidth);
    return StatusBar1;
}

QLayout* TMDIChild::BuildWalkLine() {
    // One line below the panels: folders not read (a loss, in red) and
    // folders the walk's choices left out.
    auto* walkLine = new QHBoxLayout;
    walkLine->setContentsMargins(0, 0, 0, 0);
    walkLine->setSpacing(0);
    // While the walk runs, the folder it reads and its Stop take the line.
    StopButton = new QToolButton(this);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setText(tr("中止"));
    StopButton->setFocusPolicy(Qt::NoFocus);
    ApplyHint(StopButton, tr("検索を中止します （ Esc ） | 見つかったファイルは、そのまま表示します。"));
    StopButton->hide();
    connect(StopButton, &QToolButton::clicked, this, [this] { ListBox1->StopSearch(); });
    walkLine->addWidget(StopButton);
    WalkPanel = new QLabel(this);
    WalkPanel->setObjectName(QStringLiteral("WalkPanel"));
    WalkPanel->setTextFormat(Qt::PlainText);
    WalkPanel->setContentsMargins(4, 1, 4, 1);
    // A deep path must not widen the window.
    WalkPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    WalkPanel->hide();
    walkLine->addWidget(WalkPanel, 100);
    UnreadPanel = new QLabel(this);
    UnreadPanel->setObjectName(QStringLiteral("UnreadPanel"));
    UnreadPanel->setTextFormat(Qt::PlainText);
    UnreadPanel->setContentsMargins(4, 1, 4, 1);
    ui::SetFixedTextColour(UnreadPanel, QPalette::WindowText, Qt::red, QPalette::Window);
    UnreadPanel->hide();
    walkLine->addWidget(UnreadPanel);
    NotSearchedPanel = new QLabel(this);
    NotSearchedPanel->setObjectName(QStringLiteral("NotSearchedPanel"));
    NotSearchedPanel->setTextFormat(Qt::PlainText);
    NotSearchedPanel->setContentsMargins(4, 1, 4, 1);
    NotSearchedPanel->setToolTip(
        tr("フレームの「検索ｵﾌﾟｼｮﾝ (&S)」メニューで、検索するフォルダの範囲を変更できます。"));
    NotSearchedPanel->hide();
    walkLine->addWidget(NotSearchedPanel);
    walkLine->addStretch(1);
    return walkLine;
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

    GyouRetsu = ui::MakeMenu(kGyouRetsu, this);
    N4 = ui::MakeMenu(kN4, GyouRetsu);
    GyouRetsu->addMenu(N4);
    for (int tag = 1; tag <= 15; ++tag) {
        if (tag == 6 || tag == 11)
            N4->addSeparator();
        QAction* item = N4->addAction(ui::CommandText(kRows[tag - 1]));
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, item] { GyouSetClick(item); });
    }
    N5 = ui::MakeMenu(kN5, GyouRetsu);
    GyouRetsu->addMenu(N5);
    for (QMenu* menu : {File1, ChildOP, GyouRetsu, N4})
        menu->installEventFilter(this);
    for (int tag = 1; tag <= 7; ++tag) {
        if (tag == 6)
            N5->addSeparator();
        QAction* item = N5->addAction(ui::CommandText(kColumns[tag - 1]));
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, item] { RetsuSetClick(item); });
    }
    GyouRetsu->addSeparator();
    PictureView1 = add(GyouRetsu, kPictureView1, [this] { PictureView1Click(); });
    PictureView1->setCheckable(true);
    auto* sizes = new QActionGroup(this);
    for (int i = 0; i < 3; ++i) {
        const int side = settings::kPictureSizes[i];
        PictureSizes1[i] = add(GyouRetsu, kPictureSizes1[i], [this, side] { PictureSizeClick(side); });
        PictureSizes1[i]->setCheckable(true);
        sizes->addAction(PictureSizes1[i]);
    }
    PictureLarger1 = add(GyouRetsu, kPictureLarger1,
                         [this] { PictureSizeClick(StepPictureSize(FPictures->PictureSide(), 1)); });
    PictureLarger1->setShortcuts({kPictureLarger1.Shortcut, Qt::CTRL | Qt::Key_Equal,
                                  QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Plus)});
    PictureSmaller1 = add(GyouRetsu, kPictureSmaller1,
                          [this] { PictureSizeClick(StepPictureSize(FPictures->PictureSide(), -1)); });
    PictureSmaller1->setShortcuts({kPictureSmaller1.Shortcut,
                                   QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Minus)});
    Details1 = add(GyouRetsu, kDetails1, [this] { Details1Click(); });
    Details1->setCheckable(true);

    Sort1 = ui::MakeMenu(kSort1, this);
    auto* orders = new QActionGroup(Sort1);
    for (int i = 0; i < hitview::kSortChoiceCount; ++i) {
        const hitview::TSortChoice& choice = hitview::SortChoices()[static_cast<std::size_t>(i)];
        const TCommand command{choice.MenuText, choice.MenuHint,
                               Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)};
        SortBy1[i] = add(Sort1, command, [this, order = choice.Order] { SortMenuClick(order); });
        SortBy1[i]->setCheckable(true);
        orders->addAction(SortBy1[i]);
    }
    Sort1->addSeparator();
    Reverse1 = add(Sort1, kReverse1, [this] { Reverse1Click(); });
    Reverse1->setCheckable(true);
    Sort1->installEventFilter(this);
    ShowSortChecks();
}

std::vector<TMDIChild::TMenuGroup> TMDIChild::MenuGroups() const {
    return {{0, File1}, {3, ChildOP}, {6, Sort1}, {7, GyouRetsu}};
}

void TMDIChild::AssignHints() {
    // The commands have theirs from their tables.
    ApplyHint(HeaderControl1, tr("ソート項目をクリックすると、検索結果を並べ替え | "
                                 "検索結果をＨＴＭＬ形式で作成・保存する前に、処理して下さい。"));
    ApplyHint(PanelLabel, PanelLabelHint());
}

QString TMDIChild::PanelLabelHint() const {
    return tr("使用されたソート方法と検索数 |") + PanelLabel->text();
}

QWidget* TMDIChild::OuterWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        return sub;
    return this;
}

bool TMDIChild::FormCreate() {
    FHitCount = 0;
    FHitSize = 0;
    FItemNo.clear();
    // The rows and columns last chosen in any window.
    FGyouCount = FHost.ViewChoices().Grid.Rows;
    FRetsuCount = FHost.ViewChoices().Grid.Columns;
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
    ClearItemStatus();
    FItemNo.clear();
    FHitCount = 0;
    FHitSize = 0;
    // "Within the last hour" is the hour before this walk, also for a search again.
    if (platform::TFileFilter filter;
        !FQuery.Filters.Empty() && !settings::ResolveFilter(FQuery.Filters, std::time(nullptr), filter))
        FQuery.Walk.Filter = std::move(filter);
    ListBox1->SetQuery(FQuery);
    UnreadPanel->hide();
    NotSearchedPanel->hide();
    // A walk that ends at once has had its end before this returns.
    ListBox1->StartSearch(FQuery.BaseDir);
    if (!Searching())
        return;
    StopButton->show();
    WalkPanel->show();
    UpdateWalkCommands();
    ShowWalkStatus();
}

void TMDIChild::FitCountPanels() {
    // The widest texts for this many hits: "2818066 / 2818066", "2,818,066 個選択",
    // and the bytes of them all.
    const QFontMetrics metrics(StatusPanels[0]->font());
    const QString count = QString::number(FHitCount);
    const int counter = std::max(
        ui::WidestNumberWidth(count + QStringLiteral(" / ") + count, metrics),
        ui::WidestNumberWidth(
            tr("%1 個選択").arg(ui::ToText(search::SizeToText(FHitCount, ListBox1->Formats()))), metrics));
    const int bytes = ui::WidestNumberWidth(
        ui::ToText(search::SizeToText(FHitSize, ListBox1->Formats())) + QStringLiteral(" Bytes"), metrics);
    StatusPanels[0]->setFixedWidth(std::max(kCountPanelWidth, counter + kPanelMargins));
    StatusPanels[1]->setFixedWidth(std::max(kBytesPanelWidth, bytes + kPanelMargins));
}

void TMDIChild::ShowWalkStatus() {
    FHitCount = ListBox1->GetFileCount();
    FHitSize = ListBox1->GetTotalSize();
    FitCountPanels();
    // No order yet: the hits come as found.
    PanelLabel->setText(tr(" 検索中 … ; Total Files = %1 ; Size = %2 Bytes")
                            .arg(ui::ToText(search::SizeToText(FHitCount, ListBox1->Formats())),
                                 ui::ToText(search::SizeToText(FHitSize, ListBox1->Formats()))));
    PanelLabel->adjustSize();
    WalkPanel->setText(tr("検索中 ： %1").arg(ui::ToVisibleText(ListBox1->SearchPath())));
    if (!FItemNo.empty() && !FSeveralShown)
        StatusPanels[0]->setText(QString::fromStdString(FItemNo) + QStringLiteral(" / ") +
                                 QString::number(FHitCount));
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
    FHitSize = ListBox1->GetTotalSize();
    FHitCount = ListBox1->GetFileCount();
    FitCountPanels();
    StopButton->hide();
    WalkPanel->hide();
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
    ShowSortStatus();
    ShowUnreadStatus();
    ShowSortChecks();
    const bool found = ListBox1->Items().Count() > 0;
    if (found) {
        if (!FAgain)
            FHost.AddKeyToHistory(FQuery.Key);
        // The selection kept its hits: their numbers changed.
        if (const int index = ListBox1->ItemIndex(); index >= 0) {
            FItemNo = std::to_string(index + 1);
            ShowItemStatus();
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

void TMDIChild::ShowSortStatus() {
    const std::string stopped = ListBox1->SearchStopped() ? ui::ToBytes(tr("（中断）")) : std::string();
    const std::string text = search::SortStatusText(
        ListBox1->GetSortOrderName(),
        ui::ToBytes(Words(kDirectionWords[ListBox1->SortDirection() == TSortDirection::sdDownword])),
        FHitCount, FHitSize, ListBox1->Formats(), stopped);
    PanelLabel->setText(ui::ToText(text));
    PanelLabel->adjustSize();
    ApplyHint(PanelLabel, PanelLabelHint());
}

void TMDIChild::ShowUnreadStatus() {
    const search::TWalkStats& stats = ListBox1->FileItems().Files().Stats();
    const QString text = ui::ToText(words::UnreadFoldersText(stats));
    UnreadPanel->setText(text);
    UnreadPanel->setVisible(!text.isEmpty());
    // The folders themselves, as many as a tip can hold.
    constexpr std::size_t kListed = 20;
    QStringList lines;
    for (std::size_t i = 0; i < stats.UnreadDirs.size() && i < kListed; ++i)
        lines << ui::ToText(words::UnreadFolderText(stats.UnreadDirs[i]));
    if (stats.UnreadDirs.size() > kListed)
        lines << tr("ほか %1 フォルダ").arg(stats.UnreadDirs.size() - kListed);
    UnreadPanel->setToolTip(lines.join(QLatin1Char('\n')));
    const QString notSearched = ui::ToText(words::NotSearchedText(stats));
    NotSearchedPanel->setText(notSearched);
    NotSearchedPanel->setVisible(!notSearched.isEmpty());
}

void TMDIChild::ShowItemStatus() {
    // Several hits: how many, their bytes, and their folder when they share one.
    if (ListBox1->SelectedCount() > 1) {
        const TFileListBoxS::TSelectionTotals totals = ListBox1->SelectionTotals();
        StatusPanels[0]->setText(
            tr("%1 個選択").arg(ui::ToText(search::SizeToText(totals.Count, ListBox1->Formats()))));
        StatusPanels[1]->setText(ui::ToText(search::SizeToText(totals.Bytes, ListBox1->Formats())) +
                                 QStringLiteral(" Bytes"));
        StatusPanels[2]->clear();
        StatusPanels[3]->setText(ui::ToVisibleText(totals.Folder));
        FSeveralShown = true;
        return;
    }
    FSeveralShown = false;
    StatusPanels[0]->setText(QString::fromStdString(FItemNo) + QStringLiteral(" / ") +
                             QString::number(FHitCount));
    StatusPanels[1]->setText(ui::ToText(ListBox1->GetSelectedSizeText()) + QStringLiteral(" Bytes"));
    StatusPanels[2]->setText(ui::ToText(ListBox1->GetScreenTimeText(ListBox1->ItemIndex())));
    StatusPanels[3]->setText(ui::ToVisibleText(ListBox1->GetSelectedDir()));
}

void TMDIChild::ClearItemStatus() {
    for (QLabel* panel : StatusPanels)
        panel->clear();
    FSeveralShown = false;
}

void TMDIChild::SelectionChanged() {
    FSelectionStatusQueued = false;
    // One hit has its status from the click or key that chose it.
    const int count = ListBox1->SelectedCount();
    if (count > 1)
        ShowItemStatus();
    else if (count == 0 && FSeveralShown)
        ClearItemStatus();
}

void TMDIChild::HeaderControl1SectionClick(int section) {
    ClearItemStatus();
    if (section == 0)
        ShowMessageBox(this, TMessageKind::Plain,
                       tr("クリックは、右の項目から選択して下さい。\r\n"
                          "\r\n"
                          "(選択可能項目)\r\n"
                          "\r\n"
                          " Directory : ディレクトリーでソート\r\n"
                          " Name      : 名前でソート\r\n"
                          " Ext       : 拡張子でソート\r\n"
                          " Size      : ファイルサイズでソート\r\n"
                          " Time      : 更新日時でソート\r\n"
                          "\r\n"
                          "続けて同じ項目をクリックすると、昇順・降順表示が切り替わります。"),
                       ui::mbOK);
    else if (section >= 1 && section <= hitview::kSortChoiceCount)
        SortBy(ListBox1, hitview::SortChoices()[static_cast<std::size_t>(section - 1)].Order);
    ShowSortStatus();
    ShowSortChecks();
}

void TMDIChild::DetailsView1SectionClick(int section) {
    ClearItemStatus();
    SortBy(ListBox1, hitview::SortOrderOfColumn(section));
    ShowSortStatus();
    ShowSortChecks();
}

void TMDIChild::SortMenuClick(TSortOrder order) {
    ClearItemStatus();
    // The order chosen again keeps its way round; reversing has its own command.
    if (order != ListBox1->SortOrder())
        SortBy(ListBox1, order);
    ShowSortStatus();
    ShowSortChecks();
}

void TMDIChild::Reverse1Click() {
    ClearItemStatus();
    {
        ui::TWaitCursor wait;
        ListBox1->SetSortDirection(ListBox1->SortDirection() == TSortDirection::sdUpword
                                       ? TSortDirection::sdDownword
                                       : TSortDirection::sdUpword);
    }
    ShowSortStatus();
    ShowSortChecks();
}

void TMDIChild::ShowSortChecks() {
    for (int i = 0; i < hitview::kSortChoiceCount; ++i)
        SortBy1[i]->setChecked(hitview::SortChoices()[static_cast<std::size_t>(i)].Order ==
                               ListBox1->SortOrder());
    Reverse1->setChecked(ListBox1->SortDirection() == TSortDirection::sdDownword);
    DetailsView1->ShowSortOrder();
}

void TMDIChild::SortBy(TFileListBoxS* list, TSortOrder order) {
    ui::TWaitCursor wait;
    // Another column starts in its own direction, smallest first.
    if (order != list->SortOrder()) {
        list->SetSortDirection(TSortDirection::sdUpword);
        list->SetSortOrder(order);
    } else
        list->SetSortDirection(list->SortDirection() == TSortDirection::sdUpword ? TSortDirection::sdDownword
                                                                                 : TSortDirection::sdUpword);
}

void TMDIChild::GyouSetClick(QAction* sender) {
    if (!sender)
        return;
    ListBox1->SetGyou(sender->data().toInt());
    FGyouCount = ListBox1->Gyou();
    RememberGrid();
}

void TMDIChild::RetsuSetClick(QAction* sender) {
    if (!sender)
        return;
    ListBox1->SetColumns(sender->data().toInt());
    FRetsuCount = ListBox1->Columns();
    RememberGrid();
}

void TMDIChild::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The pictures view's grid is not a choice of rows and columns.
    if (!FPictures->Shown()) {
        FGyouCount = ListBox1->Gyou();
        FRetsuCount = ListBox1->Columns();
    }
}

void TMDIChild::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ApplyGrid();
}

void TMDIChild::ApplyGrid() {
    // The pictures fill rows and scroll down, as a file manager's do.
    ListBox1->SetRowsFirst(FPictures->Shown());
    if (!FPictures->Shown()) {
        ListBox1->SetGyou(FGyouCount);
        ListBox1->SetColumns(FRetsuCount);
        return;
    }
    const TPictureGrid grid = PictureGrid(ListBox1->ColumnsWidth(), ListBox1->contentsRect().height(),
                                          FPictures->PictureSide(), QFontMetrics(ListBox1->font()).height());
    ListBox1->SetItemHeight(grid.ItemHeight);
    ListBox1->SetColumns(grid.Columns);
}

void TMDIChild::PictureSizeClick(int side) {
    FPictures->SetPictureSide(side);
    UpdateGridCommands();
    ApplyGrid();
    RememberGrid();
}

void TMDIChild::UpdateGridCommands() {
    // Rows and columns are the default view's, the pictures' size the
    // pictures view's: each set of commands only where it acts.
    const bool pictures = FPictures->Shown();
    N4->menuAction()->setEnabled(!pictures);
    N5->menuAction()->setEnabled(!pictures);
    const int side = FPictures->PictureSide();
    for (int i = 0; i < 3; ++i) {
        PictureSizes1[i]->setEnabled(pictures);
        PictureSizes1[i]->setChecked(settings::kPictureSizes[i] == side);
    }
    PictureLarger1->setEnabled(pictures && StepPictureSize(side, 1) != side);
    PictureSmaller1->setEnabled(pictures && StepPictureSize(side, -1) != side);
}

void TMDIChild::RememberGrid() {
    ChangeView([this](settings::TViewChoices& view) {
        view.Grid = {FGyouCount, FRetsuCount, FPictures->PictureSide()};
    });
}

QString TMDIChild::StatusText() const {
    QStringList panels;
    for (const QLabel* panel : StatusPanels)
        panels << panel->text();
    return panels.join(QStringLiteral(" | "));
}

void TMDIChild::ListBox1Click() {
    const int index = ListBox1->ItemIndex();
    if (index < 0)
        return;
    FItemNo = std::to_string(index + 1);
    ShowItemStatus();
    FHost.SetStatusText(QStringLiteral(" ") + ui::ToVisibleText(ListBox1->GetFilePath(index)));
}

void TMDIChild::ListBox1KeyUp() {
    const int index = ListBox1->ItemIndex();
    if (index < 0)
        return;
    FItemNo = std::to_string(index + 1);
    ShowItemStatus();
}

bool TMDIChild::ListBox1KeyDown(int key) {
    if (key != Qt::Key_F12 || ListBox1->ItemIndex() < 0)
        return false;
    OpenSelected(5);
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
        OpenSelected(1);
        return true;
    }
    if (key->matches(QKeySequence::Copy)) {
        CopyPath1Click();
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

void TMDIChild::OpenSelected(int showCmd) {
    const std::vector<std::string> paths = SelectedPaths(*ListBox1);
    if (paths.empty())
        return;
    if (paths.size() > kOpenWithoutAsking &&
        ShowMessageBox(
            this, TMessageKind::Confirmation,
            tr("選択した %1 個のファイルを、それぞれのプログラムで開きます。\r\n\r\nよろしいですか ?")
                .arg(ui::ToText(
                    search::SizeToText(static_cast<std::int64_t>(paths.size()), ListBox1->Formats()))),
            ui::mbYes | ui::mbNo) != ui::TMessageResult::mrYes)
        return;
    std::vector<platform::TOpenRequest> requests;
    requests.reserve(paths.size());
    for (const std::string& path : paths)
        requests.push_back({path, "", "", showCmd});
    // All within the one wait a single file has.
    platform::ExecuteFiles(requests);
}

void TMDIChild::ListBox1MouseMove(const QPoint& pos) {
    if (ListBox1->ItemIndex() >= 0)
        return;
    const int index = ListBox1->ItemAtPos(pos);
    FHost.SetStatusText(index >= 0 ? QStringLiteral(" ") + ui::ToVisibleText(ListBox1->GetFilePath(index))
                                   : QString());
}

void TMDIChild::ListBox1DblClick() {
    if (ListBox1->ItemIndex() < 0)
        return;
    OpenSelected(1);
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
            FZoomAngle += static_cast<QWheelEvent*>(e)->angleDelta().y();
            if (std::abs(FZoomAngle) >= 120) {
                PictureSizeClick(StepPictureSize(FPictures->PictureSide(), FZoomAngle > 0 ? 1 : -1));
                FZoomAngle = 0;
            }
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

void TMDIChild::PictureView1Click() {
    FPictures->SetShown(PictureView1->isChecked());
    DetailsView1->SetPicturesShown(FPictures->Shown());
    ChangeView([this](settings::TViewChoices& view) { view.Pictures = FPictures->Shown(); });
    UpdateGridCommands();
    ApplyGrid();
}

bool TMDIChild::DetailsShown() const {
    return Details1->isChecked();
}

QAbstractItemView* TMDIChild::CurrentView() const {
    return DetailsShown() ? static_cast<QAbstractItemView*>(DetailsView1) : ListBox1;
}

void TMDIChild::Details1Click() {
    SetDetailsShown(Details1->isChecked());
    ChangeView([this](settings::TViewChoices& view) { view.Details = DetailsShown(); });
}

void TMDIChild::SetDetailsShown(bool shown) {
    // The command has checked itself already: the view shown tells.
    QAbstractItemView* before =
        DetailsView1->isHidden() ? static_cast<QAbstractItemView*>(ListBox1) : DetailsView1;
    const bool focused = before->hasFocus();
    Details1->setChecked(shown);
    HeaderControl1->setVisible(!shown);
    ListBox1->setVisible(!shown);
    DetailsView1->setVisible(shown);
    QAbstractItemView* now = CurrentView();
    if (now != before && now == ListBox1) {
        // The grid was not laid out while hidden: its rows fit the height now.
        layout()->activate();
        ApplyGrid();
    }
    const QModelIndex current = ListBox1->selectionModel()->currentIndex();
    if (current.isValid())
        now->scrollTo(now->model()->index(current.row(), 0));
    if (focused)
        now->setFocus();
}

void TMDIChild::SaveColumnWidths() {
    ChangeView([this](settings::TViewChoices& view) { view.ColumnWidths = DetailsView1->ChosenWidths(); });
}

void TMDIChild::ChangeView(const std::function<void(settings::TViewChoices&)>& edit) {
    settings::TViewChoices view = FHost.ViewChoices();
    edit(view);
    FHost.SetViewChoices(view);
}

void TMDIChild::PageThumbnails1Click() {
    ChangeView([this](settings::TViewChoices& view) { view.PageThumbnails = PageThumbnails1->isChecked(); });
}

void TMDIChild::BuildHitActions() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // The actions belong to the window, so their hints reach the frame's
    // status bar as those of the window's menus do.
    auto add = [this](const TCommand& command, void (TMDIChild::*handler)()) {
        auto* action = new QAction(ui::CommandText(command.Caption), this);
        ApplyHint(action, ui::CommandText(command.Hint));
        // Shown beside the item; the views take these keys themselves.
        if (command.Shortcut.key() != Qt::Key_unknown) {
            action->setShortcut(command.Shortcut);
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(action, &QAction::triggered, this, handler);
        PopupMenu1->addAction(action);
        return action;
    };
    Open1 = add(kOpen1, &TMDIChild::ListBox1DblClick);
    OpenFolder1 = add(kOpenFolder1, &TMDIChild::OpenFolder1Click);
    PopupMenu1->addSeparator();
    CopyPath1 = add(kCopyPath1, &TMDIChild::CopyPath1Click);
    CopyName1 = add(kCopyName1, &TMDIChild::CopyName1Click);

    ListBox1->OnStartDrag = [this](int index) { return ListBox1StartDrag(index); };
    ListBox1->OnContextPopup = [this](int index, const QPoint& globalPos) {
        ListBox1ContextPopup(index, globalPos);
    };
    DetailsView1->OnStartDrag = ListBox1->OnStartDrag;
    DetailsView1->OnContextPopup = ListBox1->OnContextPopup;
}

QMimeData* TMDIChild::ListBox1StartDrag(int index) {
    // The press has selected the hit: the status bar follows, as for a click.
    ListBox1Click();
    if (index < 0)
        return nullptr;
    return SelectedHitsMimeData(*ListBox1);
}

void TMDIChild::ListBox1ContextPopup(int index, const QPoint& globalPos) {
    // A hit of the selection keeps it: the menu acts on every selected hit.
    QItemSelectionModel* selection = ListBox1->selectionModel();
    const QModelIndex item = ListBox1->model()->index(index, 0);
    if (selection->isSelected(item))
        selection->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
    else
        ListBox1->SetItemIndex(index);
    ListBox1Click();
    PopupMenu1->popup(globalPos);
}

void TMDIChild::OpenFolder1Click() {
    if (ListBox1->ItemIndex() >= 0)
        ShowInFolder(ListBox1->GetSelectedPath(), this);
}

void TMDIChild::CopyPath1Click() {
    if (ListBox1->ItemIndex() >= 0)
        CopyToClipboard(SelectedHitsMimeData(*ListBox1));
}

void TMDIChild::CopyName1Click() {
    QStringList names;
    for (const auto& [from, to] : ListBox1->SelectedRanges())
        for (int i = from; i <= to; ++i)
            names << ui::ToText(ListBox1->Items().Strings(i));
    if (!names.isEmpty())
        CopyToClipboard(names.join(QLatin1Char('\n')));
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
    QPointer<TMDIChild> self(this);
    const bool closeNow = FPageSaver->Save(
        {&ListBox1->FileItems(), FQuery.BaseDir, FQuery.Key, FHitSize, PageThumbnails1->isChecked()});
    if (self && closeNow)
        QMetaObject::invokeMethod(
            this, [this] { CloseWindow(); }, Qt::QueuedConnection);
}

} // namespace tavolix::results
