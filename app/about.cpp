#include "app/about.h"

#include "ui/MessageBoxes.h"
#include "ui/ProgramIcon.h"
#include "ui/UiFonts.h"

#include <algorithm>

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#ifndef TAVOLIX_VERSION_TEXT
#define TAVOLIX_VERSION_TEXT "0"
#endif

namespace tavolix::app {

using ui::ApplicationTitle;
using ui::kPGothic;
using ui::ProgramIcon;
using ui::UiFont;

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(UiFont(kPGothic, 12));

    FPanel1 = new QFrame(this);
    FPanel1->setObjectName(QStringLiteral("Panel1"));
    FPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FPanel1->setGeometry(8, 8, 272, 161);

    FProgramIcon = new QLabel(FPanel1);
    FProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    FProgramIcon->setGeometry(12, 12, 48, 48);
    FProgramIcon->setPixmap(ProgramIcon().pixmap(48, 48));

    FProductName = new QLabel(ApplicationTitle(), FPanel1);
    FProductName->setObjectName(QStringLiteral("ProductName"));
    FProductName->setFont(UiFont(kPGothic, 18));
    FProductName->setGeometry(76, 14, 188, 24);

    FVersion = new QLabel(tr("バージョン %1").arg(QStringLiteral(TAVOLIX_VERSION_TEXT)), FPanel1);
    FVersion->setObjectName(QStringLiteral("Version"));
    FVersion->setGeometry(76, 42, 188, 18);

    FComments = new QLabel(tr("指定キーに合うファイルを、ディレクトリ\n"
                              "とその下のサブ・ディレクトリから探し、\n"
                              "検索結果をＨＴＭＬ形式で作成・保存して、\n"
                              "ＷＷＷブラウザで閲覧できるようにします。"),
                           FPanel1);
    FComments->setObjectName(QStringLiteral("Comments"));
    FComments->setWordWrap(true);
    FComments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    FSandbox = new QLabel(FPanel1);
    FSandbox->setObjectName(QStringLiteral("Sandbox"));
    FSandbox->setWordWrap(true);
    FSandbox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FSandbox->hide();

    FOKButton = new QPushButton(ui::ButtonText(ui::mbOK), this);
    FOKButton->setObjectName(QStringLiteral("OKButton"));
    FOKButton->setDefault(true);
    FOKButton->setFocus();
    connect(FOKButton, &QPushButton::clicked, this, &QDialog::accept);
    LayOut();
}

void TAboutBox::LayOut() {
    // The Japanese fit the box as laid out; longer words of another language,
    // and the sandbox's line, make it taller.
    const int more = std::max(0, FComments->heightForWidth(248) - 80);
    const int line = FSandbox->isVisibleTo(this) ? FSandbox->heightForWidth(248) + 6 : 0;
    setFixedSize(288, 230 + more + line);
    FPanel1->resize(272, 161 + more + line);
    FComments->setGeometry(12, 72, 248, 80 + more);
    FSandbox->setGeometry(12, 152 + more, 248, line);
    FOKButton->setGeometry((288 - 64) / 2, 183 + more + line, 64, 33);
}

void TAboutBox::ShowSandbox(const thumbs::TSandboxState& sandbox) {
    QString text;
    if (!sandbox.FileSystem && !sandbox.Calls)
        text =
            tr("画像ヘルパーはサンドボックスなしで動いています（このカーネルにはその仕組みがありません）。");
    else if (!sandbox.FileSystem)
        text =
            tr("画像ヘルパーはファイルを閉ざせずに動いています（このカーネルには Landlock がありません）。");
    else if (!sandbox.Calls)
        text = tr(
            "画像ヘルパーはシステムコールを絞れずに動いています（このカーネルには seccomp がありません）。");
    FSandbox->setText(text);
    FSandbox->setVisible(!text.isEmpty());
    LayOut();
}

QString TAboutBox::SandboxText() const {
    return FSandbox->isVisibleTo(this) ? FSandbox->text() : QString();
}

void TAboutBox::showEvent(QShowEvent* event) {
    CenterOnScreen();
    FOKButton->setFocus();
    QDialog::showEvent(event);
}

void TAboutBox::CenterOnScreen() {
    QScreen* where = screen();
    if (!where) {
        return;
    }
    QRect area = where->geometry();
    QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

} // namespace tavolix::app
