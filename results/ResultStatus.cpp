#include "results/ResultStatus.h"

#include "hitview/FLBoxS.h"
#include "platform/LocaleFormats.h"
#include "search/FieldText.h"
#include "search/WalkReport.h"
#include "ui/Hints.h"
#include "ui/NameText.h"
#include "ui/ReadableColours.h"
#include "ui/ScreenMetrics.h"
#include "ui/UiFonts.h"
#include "words/WalkWords.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QStringList>
#include <QToolButton>

namespace tavolix::results {

using hitview::TFileListBoxS;
using search::TSortDirection;
using ui::ApplyHint;

namespace {

// The status bar's count and bytes at the least, and the room beside their texts.
constexpr int kCountPanelWidth = 90;
constexpr int kBytesPanelWidth = 150;
constexpr int kPanelMargins = 8;
// The sort line's directions on the screen; the page and tavolix-page keep
// the words of the list box.
const char* const kDirectionWords[] = {QT_TRANSLATE_NOOP("tavolix::results::TMDIChild", "Upword"),
                                       QT_TRANSLATE_NOOP("tavolix::results::TMDIChild", "Down")};

// The texts are the window's: they keep its translation context.
QString Words(const char* source) {
    return QCoreApplication::translate("tavolix::results::TMDIChild", source);
}

QString SelectedText(std::int64_t count, const search::TLocaleFormats& formats) {
    return QCoreApplication::translate("tavolix::results::TMDIChild", "%1 個選択")
        .arg(ui::ToText(search::SizeToText(count, formats)));
}

QFont PGothic15() {
    return ui::UiFont(ui::kPGothic, 15);
}

} // namespace

TResultStatus::TResultStatus(QWidget& window) : FWindow(window) {
}

QWidget* TResultStatus::BuildSortPanel() {
    Panel1 = new QFrame(&FWindow);
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

QWidget* TResultStatus::BuildStatusBar(hitview::TFileListBoxS& list) {
    FList = &list;
    StatusBar1 = new QStatusBar(&FWindow);
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

QLayout* TResultStatus::BuildWalkLine() {
    // One line below the panels: folders not read (a loss, in red) and
    // folders the walk's choices left out.
    auto* walkLine = new QHBoxLayout;
    walkLine->setContentsMargins(0, 0, 0, 0);
    walkLine->setSpacing(0);
    // While the walk runs, the folder it reads and its Stop take the line.
    StopButton = new QToolButton(&FWindow);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setText(QCoreApplication::translate("tavolix::results::TMDIChild", "中止"));
    StopButton->setFocusPolicy(Qt::NoFocus);
    ApplyHint(StopButton, QCoreApplication::translate(
                              "tavolix::results::TMDIChild",
                              "検索を中止します （ Esc ） | 見つかったファイルは、そのまま表示します。"));
    StopButton->hide();
    QObject::connect(StopButton, &QToolButton::clicked, StopButton, [list = FList] { list->StopSearch(); });
    walkLine->addWidget(StopButton);
    WalkPanel = new QLabel(&FWindow);
    WalkPanel->setObjectName(QStringLiteral("WalkPanel"));
    WalkPanel->setTextFormat(Qt::PlainText);
    WalkPanel->setContentsMargins(4, 1, 4, 1);
    // A deep path must not widen the window.
    WalkPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    WalkPanel->hide();
    walkLine->addWidget(WalkPanel, 100);
    UnreadPanel = new QLabel(&FWindow);
    UnreadPanel->setObjectName(QStringLiteral("UnreadPanel"));
    UnreadPanel->setTextFormat(Qt::PlainText);
    UnreadPanel->setContentsMargins(4, 1, 4, 1);
    ui::SetFixedTextColour(UnreadPanel, QPalette::WindowText, Qt::red, QPalette::Window);
    UnreadPanel->hide();
    walkLine->addWidget(UnreadPanel);
    NotSearchedPanel = new QLabel(&FWindow);
    NotSearchedPanel->setObjectName(QStringLiteral("NotSearchedPanel"));
    NotSearchedPanel->setTextFormat(Qt::PlainText);
    NotSearchedPanel->setContentsMargins(4, 1, 4, 1);
    NotSearchedPanel->setToolTip(QCoreApplication::translate(
        "tavolix::results::TMDIChild",
        "フレームの「検索ｵﾌﾟｼｮﾝ (&S)」メニューで、検索するフォルダの範囲を変更できます。"));
    NotSearchedPanel->hide();
    walkLine->addWidget(NotSearchedPanel);
    walkLine->addStretch(1);
    return walkLine;
}

void TResultStatus::FitCountPanels() {
    // The widest texts for this many hits: "2818066 / 2818066", "2,818,066 個選択",
    // and the bytes of them all.
    const QFontMetrics metrics(StatusPanels[0]->font());
    const QString count = QString::number(FHitCount);
    const int counter = std::max(ui::WidestNumberWidth(count + QStringLiteral(" / ") + count, metrics),
                                 ui::WidestNumberWidth(SelectedText(FHitCount, FList->Formats()), metrics));
    const int bytes = ui::WidestNumberWidth(
        ui::ToText(search::SizeToText(FHitSize, FList->Formats())) + QStringLiteral(" Bytes"), metrics);
    StatusPanels[0]->setFixedWidth(std::max(kCountPanelWidth, counter + kPanelMargins));
    StatusPanels[1]->setFixedWidth(std::max(kBytesPanelWidth, bytes + kPanelMargins));
}

void TResultStatus::ShowWalkStatus() {
    FHitCount = FList->GetFileCount();
    FHitSize = FList->GetTotalSize();
    FitCountPanels();
    // No order yet: the hits come as found.
    PanelLabel->setText(QCoreApplication::translate("tavolix::results::TMDIChild",
                                                    " 検索中 … ; Total Files = %1 ; Size = %2 Bytes")
                            .arg(ui::ToText(search::SizeToText(FHitCount, FList->Formats())),
                                 ui::ToText(search::SizeToText(FHitSize, FList->Formats()))));
    PanelLabel->adjustSize();
    WalkPanel->setText(QCoreApplication::translate("tavolix::results::TMDIChild", "検索中 ： %1")
                           .arg(ui::ToVisibleText(FList->SearchPath())));
    if (!FItemNo.empty() && !FSeveralShown)
        StatusPanels[0]->setText(QString::fromStdString(FItemNo) + QStringLiteral(" / ") +
                                 QString::number(FHitCount));
}

void TResultStatus::ShowSortStatus() {
    const std::string stopped =
        FList->SearchStopped()
            ? ui::ToBytes(QCoreApplication::translate("tavolix::results::TMDIChild", "（中断）"))
            : std::string();
    const std::string text = search::SortStatusText(
        FList->GetSortOrderName(),
        ui::ToBytes(Words(kDirectionWords[FList->SortDirection() == TSortDirection::sdDownword])), FHitCount,
        FHitSize, FList->Formats(), stopped);
    PanelLabel->setText(ui::ToText(text));
    PanelLabel->adjustSize();
    ApplyHint(PanelLabel, PanelLabelHint());
}

void TResultStatus::ShowUnreadStatus() {
    const search::TWalkStats& stats = FList->FileItems().Files().Stats();
    const QString text = ui::ToText(words::UnreadFoldersText(stats));
    UnreadPanel->setText(text);
    UnreadPanel->setVisible(!text.isEmpty());
    // The folders themselves, as many as a tip can hold.
    constexpr std::size_t kListed = 20;
    QStringList lines;
    for (std::size_t i = 0; i < stats.UnreadDirs.size() && i < kListed; ++i)
        lines << ui::ToText(words::UnreadFolderText(stats.UnreadDirs[i]));
    if (stats.UnreadDirs.size() > kListed)
        lines << QCoreApplication::translate("tavolix::results::TMDIChild", "ほか %1 フォルダ")
                     .arg(stats.UnreadDirs.size() - kListed);
    UnreadPanel->setToolTip(lines.join(QLatin1Char('\n')));
    const QString notSearched = ui::ToText(words::NotSearchedText(stats));
    NotSearchedPanel->setText(notSearched);
    NotSearchedPanel->setVisible(!notSearched.isEmpty());
}

void TResultStatus::ShowItemStatus() {
    // Several hits: how many, their bytes, and their folder when they share one.
    if (FList->SelectedCount() > 1) {
        const TFileListBoxS::TSelectionTotals totals = FList->SelectionTotals();
        StatusPanels[0]->setText(SelectedText(totals.Count, FList->Formats()));
        StatusPanels[1]->setText(ui::ToText(search::SizeToText(totals.Bytes, FList->Formats())) +
                                 QStringLiteral(" Bytes"));
        StatusPanels[2]->clear();
        StatusPanels[3]->setText(ui::ToVisibleText(totals.Folder));
        FSeveralShown = true;
        return;
    }
    FSeveralShown = false;
    StatusPanels[0]->setText(QString::fromStdString(FItemNo) + QStringLiteral(" / ") +
                             QString::number(FHitCount));
    StatusPanels[1]->setText(ui::ToText(FList->GetSelectedSizeText()) + QStringLiteral(" Bytes"));
    StatusPanels[2]->setText(ui::ToText(FList->GetScreenTimeText(FList->ItemIndex())));
    StatusPanels[3]->setText(ui::ToVisibleText(FList->GetSelectedDir()));
}

void TResultStatus::ClearItemStatus() {
    for (QLabel* panel : StatusPanels)
        panel->clear();
    FSeveralShown = false;
}

QString TResultStatus::StatusText() const {
    QStringList panels;
    for (const QLabel* panel : StatusPanels)
        panels << panel->text();
    return panels.join(QStringLiteral(" | "));
}

QString TResultStatus::PanelLabelHint() const {
    return QCoreApplication::translate("tavolix::results::TMDIChild", "使用されたソート方法と検索数 |") +
           PanelLabel->text();
}

void TResultStatus::WalkStarting() {
    ClearItemStatus();
    FItemNo.clear();
    FHitCount = 0;
    FHitSize = 0;
    UnreadPanel->hide();
    NotSearchedPanel->hide();
}

void TResultStatus::WalkRunning() {
    StopButton->show();
    WalkPanel->show();
}

void TResultStatus::WalkFinished() {
    FHitSize = FList->GetTotalSize();
    FHitCount = FList->GetFileCount();
    FitCountPanels();
    StopButton->hide();
    WalkPanel->hide();
}

void TResultStatus::SetItem(int index) {
    FItemNo = std::to_string(index + 1);
}

void TResultStatus::ApplyPanelHint() {
    ApplyHint(PanelLabel, PanelLabelHint());
}

} // namespace tavolix::results
