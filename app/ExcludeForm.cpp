#include "app/ExcludeForm.h"

#include "platform/Profile.h"
#include "settings/SearchSettings.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "ui/UiFonts.h"

#include <algorithm>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tavolix::app {

TExcludeForm::TExcludeForm(const std::vector<std::string>& patterns, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ExcludeForm"));
    setWindowTitle(tr("除外するフォルダ"));
    setFont(ui::UiFont(ui::kPGothic, 12));

    Label1 = new QLabel(tr("検索しないフォルダを、１行に１つずつ入力して下さい。\n"
                           "フォルダ名（ 例 ＝ node_modules ）、または「 / 」を含む\n"
                           "検索ディレクトリからのパス（ 例 ＝ */cache ）を、\n"
                           "指定キーと同じワイルドカード「 ＊ 」「 ？ 」で指定します。"),
                        this);
    // The Japanese fit as laid out; more lines of another language make the
    // box taller.
    const int more = std::max(
        0,
        Label1->fontMetrics().boundingRect(QRect(0, 0, 336, 0), Qt::AlignLeft, Label1->text()).height() - 64);
    setFixedSize(360, 300 + more);
    Label1->setGeometry(12, 8, 336, 64 + more);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(12, 78 + more, 336, 166);
    Memo1->setFont(ui::UiFont(ui::kFixedSys, 15));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setTabChangesFocus(true);
    QString text;
    for (const std::string& p : patterns)
        text += ui::ToText(p) + QLatin1Char('\n');
    Memo1->setPlainText(text);

    OKButton = new QPushButton(ui::ButtonText(ui::mbOK), this);
    OKButton->setGeometry(360 / 2 - 64 - 8, 256 + more, 64, 33);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TExcludeForm::OKButtonClick);
    CancelButton = new QPushButton(ui::ButtonText(ui::mbCancel), this);
    CancelButton->setGeometry(360 / 2 + 8, 256 + more, 64, 33);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    Memo1->setFocus();
}

std::vector<std::string> TExcludeForm::Patterns() const {
    std::vector<std::string> patterns;
    for (const QString& line : Memo1->toPlainText().split(QLatin1Char('\n')))
        if (const QString p = line.trimmed(); !p.isEmpty())
            patterns.push_back(ui::ToBytes(p));
    return patterns;
}

void TExcludeForm::OKButtonClick() {
    if (const auto why = settings::WhyExcludeListNotStorable(Patterns())) {
        QString text;
        switch (why->Kind) {
        case settings::TExcludeRefusal::Semicolon:
            text = tr("\"%1\" は「;」を含むため、保存できません。").arg(ui::ToText(why->Pattern));
            break;
        case settings::TExcludeRefusal::LineBreak:
            text = tr("改行を含むパターンがあるため、保存できません。");
            break;
        case settings::TExcludeRefusal::TooLong:
            text = tr("全体が %1 バイトより長いため、保存できません。").arg(platform::kMaxProfileValue);
            break;
        }
        ui::ShowMessageBox(this, ui::TMessageKind::Warning, text, ui::mbOK);
        return;
    }
    accept();
}

} // namespace tavolix::app
