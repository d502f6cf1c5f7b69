#include "app/SearchBar.h"

#include "app/HelpFile.h"
#include "settings/SearchMemory.h"
#include "thumbs/FileKinds.h"
#include "ui/Commands.h"
#include "ui/Hints.h"
#include "ui/NameText.h"
#include "ui/ReadableColours.h"
#include "ui/UiFonts.h"
#include "words/CoreWords.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace tavolix::app {

namespace {

struct TQuickKey {
    const char* Name;
    const char* Caption;
    const char* Hint; // in the context "Commands"
    bool SeparatorAfter;
};

const TQuickKey kQuickKeys[] = {
    {"all", "*.*", QT_TRANSLATE_NOOP("Commands", "全てのファイルを対象"), false},
    {"exe", "*.exe", QT_TRANSLATE_NOOP("Commands", "プログラム・ファイルを対象"), false},
    {"txt", "*.txt", QT_TRANSLATE_NOOP("Commands", "テキスト・ファイルを対象"), false},
    {"ini", "*.ini", QT_TRANSLATE_NOOP("Commands", "ＩＮＩ ファイルを対象"), false},
    {"hlp", "*.hlp", QT_TRANSLATE_NOOP("Commands", "ヘルプ・ファイルを対象"), true},
    {"bmp", "*.bmp", QT_TRANSLATE_NOOP("Commands", "ビットマップ・ファイルを対象"), false},
    {"wmf1", "*.wmf", QT_TRANSLATE_NOOP("Commands", "メタ・ファイルを対象"), false},
    {"ico", "*.ico", QT_TRANSLATE_NOOP("Commands", "アイコン・ファイルを対象"), false},
    {"scr", "*.scr", QT_TRANSLATE_NOOP("Commands", "スクリーン・セーバー・ファイルを対象"), false},
    {"cur", "*.cur", QT_TRANSLATE_NOOP("Commands", "カーソル・ファイルを対象"), true},
    {"htm1", "*.htm",
     QT_TRANSLATE_NOOP("Commands", "（インターネット関係）  ＨＴＭ ドキュメント・ファイルを対象"), false},
    {"html1", "*.html",
     QT_TRANSLATE_NOOP("Commands", "（インターネット関係）  ＨＴＭＬ ドキュメント・ファイルを対象"), false},
    {"gif", "*.gif", QT_TRANSLATE_NOOP("Commands", "（インターネット関係）  ＧＩＦ イメージ・ファイルを対象"),
     false},
    {"jpg", "*.jpg", QT_TRANSLATE_NOOP("Commands", "（インターネット関係）  ＪＰＧ イメージ・ファイルを対象"),
     false},
    {"jpeg1", "*.jpeg",
     QT_TRANSLATE_NOOP("Commands", "（インターネット関係）  ＪＰＥＧ イメージ・ファイルを対象"), true},
    {"wav1", "*.wav", QT_TRANSLATE_NOOP("Commands", "ＷＡＶＥ サウンド・ファイルを対象"), false},
    {"au1", "*.au", QT_TRANSLATE_NOOP("Commands", "ＡＵ サウンドクリップ・ファイルを対象"), false},
    {"mid1", "*.mid", QT_TRANSLATE_NOOP("Commands", "ＭＩＤＩ シーケンス・ファイルを対象"), false},
};

// Today's formats, after the list's own: their hints name the kind the
// table of file kinds gives them.
constexpr const char* kTodayKeys[] = {"*.jpg", "*.png", "*.webp", "*.heic", "*.svg", "*.pdf", "*.mp4"};

constexpr ui::TCommand kQuickKeysMenu = {
    QT_TRANSLATE_NOOP("Commands", "簡易検索キー (&K)"),
    QT_TRANSLATE_NOOP("Commands",
                      "指定キー入力エリア用の「簡易検索キー」を選択後、直ぐに検索処理を開始します。"),
    {},
    kHelpSearch};

QIcon Glyph(const QString& name) {
    QIcon icon;
    icon.addFile(QStringLiteral(":/bar/%1.png").arg(name), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/bar/%1-disabled.png").arg(name), QSize(), QIcon::Disabled);
    return icon;
}

} // namespace

// The key box, the search and save buttons and the base directory label.
QFrame* TSearchBar::BuildPanel(QWidget* parent) {
    Panel = new QFrame(parent);
    Panel->setFrameShape(QFrame::Panel);
    Panel->setFrameShadow(QFrame::Sunken);
    Panel->setFixedHeight(35);
    KeyBox = new QComboBox(Panel);
    KeyBox->setObjectName(QStringLiteral("KeyWordEditCB"));
    KeyBox->setEditable(true);
    KeyBox->setInsertPolicy(QComboBox::NoInsert);
    // The key searched is what was typed: no completion from the history.
    KeyBox->setCompleter(nullptr);
    KeyBox->setGeometry(2, 5, 198, 25);
    KeyBox->setEditText(QStringLiteral("*.gif"));
    KeyBox->setFont(ui::UiFont(ui::kFixedSys, 19));
    ui::SetFixedTextColour(KeyBox, QPalette::Text, Qt::blue, QPalette::Base);
    // Keys reach the combo box, which hands them to its line edit directly.
    KeyBox->installEventFilter(this);
    FKeyLine = KeyBox->lineEdit();
    FKeyLine->installEventFilter(this);

    FindButton = new QToolButton(Panel);
    FindButton->setAutoRaise(true);
    FindButton->setGeometry(208, 5, 25, 25);
    FindButton->setIcon(Glyph(QStringLiteral("search")));
    FindButton->setIconSize(QSize(20, 20));
    // Shown as a picture alone: screen readers say the command.
    FindButton->setAccessibleName(ui::CommandText(ui::kFindCommand.Caption));
    connect(FindButton, &QToolButton::clicked, this, &TSearchBar::FindAsked);

    SaveButton = new QToolButton(Panel);
    SaveButton->setAutoRaise(true);
    SaveButton->setGeometry(240, 5, 25, 25);
    SaveButton->setIcon(Glyph(QStringLiteral("save")));
    SaveButton->setIconSize(QSize(20, 20));
    SaveButton->setAccessibleName(ui::CommandText(ui::kWritePageCommand.Caption));
    connect(SaveButton, &QToolButton::clicked, this, &TSearchBar::SaveAsked);

    DirLabel = new QLabel(Panel);
    DirLabel->setFont(ui::UiFont(ui::kPGothic, 15));
    DirLabel->setTextFormat(Qt::PlainText);
    ui::SetFixedTextColour(DirLabel, QPalette::WindowText, Qt::blue, QPalette::Window);
    DirLabel->move(272, 10);
    DirLabel->setMinimumWidth(400);

    return Panel;
}

QMenu* TSearchBar::BuildQuickKeysMenu(QWidget* parent) {
    QuickKeysMenu = ui::MakeMenu(kQuickKeysMenu, parent);
    for (const TQuickKey& key : kQuickKeys) {
        QAction* item = QuickKeysMenu->addAction(ui::ToText(key.Caption));
        item->setObjectName(ui::ToText(key.Name));
        ui::ApplyHint(item, ui::CommandText(key.Hint));
        connect(item, &QAction::triggered, this, [this, item] { emit QuickKeyChosen(item); });
        QuickKeys.push_back(item);
        if (key.SeparatorAfter)
            QuickKeysMenu->addSeparator();
    }
    QuickKeysMenu->addSeparator();
    // In the frame's context, where they were translated first.
    for (const char* key : kTodayKeys) {
        QAction* item = QuickKeysMenu->addAction(ui::ToText(key));
        item->setObjectName(QStringLiteral("today_") + ui::ToText(key + 2));
        const thumbs::TKindGroup group = thumbs::FileKindOf(key).Group;
        ui::ApplyHint(
            item, group == thumbs::TKindGroup::None
                      ? QCoreApplication::translate("tavolix::app::TMDIForm", "%1 ファイルを対象")
                            .arg(ui::ToText(key))
                      : QCoreApplication::translate("tavolix::app::TMDIForm", "%1 ファイル （ %2 ） を対象")
                            .arg(ui::ToText(words::KindWord(thumbs::KindGroupName(group))), ui::ToText(key)));
        connect(item, &QAction::triggered, this, [this, item] { emit QuickKeyChosen(item); });
        QuickKeys.push_back(item);
    }
    return QuickKeysMenu;
}

std::string TSearchBar::KeyText() const {
    return KeyBox->currentText().toStdString();
}

void TSearchBar::SetHistory(const std::vector<std::string>& history) {
    // Filling the list would replace the typed text.
    const QString typed = KeyBox->currentText();
    KeyBox->clear();
    for (const std::string& key : history)
        KeyBox->addItem(QString::fromStdString(key));
    KeyBox->setEditText(typed);
}

std::vector<std::string> TSearchBar::HistoryWith(std::vector<std::string> history,
                                                 const std::string& key) const {
    for (int i = 0; i < KeyBox->count(); ++i)
        if (KeyBox->itemText(i).toStdString() != key)
            history.push_back(KeyBox->itemText(i).toStdString());
    history.push_back(key);
    if (history.size() > static_cast<std::size_t>(settings::kHistoryLength))
        history.erase(history.begin(), history.end() - settings::kHistoryLength);
    return history;
}

bool TSearchBar::eventFilter(QObject* watched, QEvent* event) {
    // Compared, never called: the filter sees the box as it is destroyed.
    const bool keyBox = watched != nullptr && (watched == KeyBox || watched == FKeyLine);
    if (keyBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit FindAsked();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            KeyBox->clearEditText();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tavolix::app
